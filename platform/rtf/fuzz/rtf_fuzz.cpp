// libFuzzer target: any input is read as RTF into a document, which is written, read and
// written again; the two writes must be the same, and the second read must hold the text of
// the first.

#include "rtfreader.h"
#include "rtfwriter.h"

#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>

namespace {

QByteArray readAndWrite(QByteArrayView input, QString &text)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    RtfReader::insert(cursor, input);
    text = document.toPlainText();
    return RtfWriter::write(document);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "rtf_fuzz";
    static char *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal");
    static QGuiApplication app(argc, argv);

    QString firstText, secondText;
    const QByteArray first = readAndWrite(QByteArrayView(data, qsizetype(size)), firstText);
    const QByteArray second = readAndWrite(first, secondText);
    if (firstText != secondText) {
        std::fprintf(stderr, "the second read lost text\n--- first\n%s\n--- second\n%s\n",
                     qPrintable(firstText), qPrintable(secondText));
        std::abort();
    }
    if (first != second) {
        std::fprintf(stderr, "write-read-write is not stable\n--- first\n%s\n--- second\n%s\n",
                     first.constData(), second.constData());
        std::abort();
    }
    return 0;
}
