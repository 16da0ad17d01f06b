#pragma once

#include <QByteArray>

class QTextDocument;

// Writes a QTextDocument, whole or a range of it, as RTF 1.9 text.
class RtfWriter final {
public:
    // The whole document.
    static QByteArray write(const QTextDocument &document);
    // The characters between the document positions from and to (as QTextCursor counts them).
    static QByteArray write(const QTextDocument &document, int from, int to);
};
