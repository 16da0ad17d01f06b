// Checks RTF files the way the fuzz target does, one verdict a file: each is read into a
// document and written, and that write is read and written again; the two writes must be the
// same and the second read must hold the text of the first. Used on other programs' RTF
// (collect_foreign_rtf.sh) and to look at a fuzz finding without the sanitizers.
//
// usage: rtf_stability [-v] FILE...   (-v shows where the two writes part)
// Exits 0 when every file is stable, 1 otherwise.

#include "rtfreader.h"
#include "rtfwriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>

namespace {

struct Pass {
    QByteArray rtf;
    QString text;
};

Pass readAndWrite(const QByteArray &input)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    RtfReader::insert(cursor, input);
    return {RtfWriter::write(document), document.toPlainText()};
}

QByteArray around(const QByteArray &rtf, qsizetype at)
{
    const qsizetype from = std::max<qsizetype>(0, at - 160);
    return rtf.mid(from, 320).replace('\n', "\\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal");
    QGuiApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    const bool verbose = files.removeAll(QStringLiteral("-v")) > 0;
    int unstable = 0;
    for (const QString &name : files) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::printf("%s: cannot be read\n", qPrintable(name));
            ++unstable;
            continue;
        }
        const Pass first = readAndWrite(file.readAll());
        const Pass second = readAndWrite(first.rtf);
        if (first.rtf == second.rtf && first.text == second.text) {
            std::printf("%s: stable\n", qPrintable(name));
            continue;
        }
        ++unstable;
        if (first.rtf != second.rtf) {
            qsizetype at = 0;
            while (at < first.rtf.size() && at < second.rtf.size() &&
                   first.rtf.at(at) == second.rtf.at(at))
                ++at;
            std::printf("%s: UNSTABLE, the writes part at byte %lld\n", qPrintable(name),
                        static_cast<long long>(at));
            if (verbose)
                std::printf("  first:  %s\n  second: %s\n", around(first.rtf, at).constData(),
                            around(second.rtf, at).constData());
        } else {
            std::printf("%s: UNSTABLE, the second read lost text\n", qPrintable(name));
        }
    }
    std::printf("%lld files, %d unstable\n", static_cast<long long>(files.size()), unstable);
    return unstable == 0 ? 0 : 1;
}
