#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

class QTextCursor;

// A problem found while reading RTF; reading always goes on and gives a best-effort document.
struct RtfError {
    enum class Code {
        UnbalancedBraces,
        UnexpectedEnd,
        ControlWordTooLong,
        NumberOutOfRange,
        BadHexEscape,
        BadBinary,
        BadPicture,
        NestingTooDeep,
    };
    Code code;
    qsizetype offset; // byte (or character) offset in the input where it was found
};

struct RtfReadResult {
    QList<RtfError> errors;
    bool isRtf = true; // false when the input was taken as plain text
};

// Reads RTF into a QTextDocument at a cursor.
class RtfReader final {
public:
    // Replaces the cursor's selection with the content of rtf and leaves the cursor just after
    // it. Raw bytes >= 0x80 are decoded in the document's (or current font's) code page.
    static RtfReadResult insert(QTextCursor &cursor, QByteArrayView rtf);
    // The same for RTF held in a string; characters >= 0x80 are taken as themselves.
    static RtfReadResult insert(QTextCursor &cursor, QStringView rtf);
};
