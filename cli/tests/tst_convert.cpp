// folvane-convert as scripts run it: its options, statuses, standard input and output, and its
// document against the one the window's run saves from the same pages.
#include "convertoptions.h"
#include "form1.h"
#include "headingorder.h"
#include "headlessconversion.h"
#include "hostileentries.h"
#include "pagelisthandlers.h"
#include "richtextbox.h"
#include "rtfreader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>
#include <QThread>

namespace {

const QStringList Words = {QStringLiteral("Alder"), QStringLiteral("Birch"),
                           QStringLiteral("Cedar"), QStringLiteral("Damson"),
                           QStringLiteral("Elm")};

struct Result {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

std::unique_ptr<QTextDocument> readRtf(const QByteArray &rtf)
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    RtfReader::insert(cursor, QByteArrayView(rtf));
    return document;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Everything a reader of the document sees, one line a fragment: its text and formats, where it
// is (list, table cell), its link, and for an image its size and the hash of its pixels.
QStringList describe(const QTextDocument &document)
{
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QString where = QStringLiteral("block align=%1 indent=%2 top=%3")
                            .arg(int(block.blockFormat().alignment()))
                            .arg(block.blockFormat().indent())
                            .arg(block.blockFormat().topMargin());
        if (const QTextList *list = block.textList())
            where += QStringLiteral(" list style=%1 level=%2 item=%3")
                         .arg(int(list->format().style()))
                         .arg(list->format().indent())
                         .arg(list->itemNumber(block));
        QTextCursor at(block);
        if (const QTextTable *table = at.currentTable()) {
            const QTextTableCell cell = table->cellAt(at);
            where += QStringLiteral(" table %1x%2 cell %3,%4 span %5x%6")
                         .arg(table->rows())
                         .arg(table->columns())
                         .arg(cell.row())
                         .arg(cell.column())
                         .arg(cell.rowSpan())
                         .arg(cell.columnSpan());
        }
        lines << where;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            QString line =
                QStringLiteral("  \"%1\" font=%2 %3pt w=%4 i=%5 u=%6 s=%7 fg=%8 bg=%9")
                    .arg(fragment.text(), format.fontFamilies().toStringList().join(u','))
                    .arg(format.fontPointSize())
                    .arg(format.fontWeight())
                    .arg(format.fontItalic())
                    .arg(format.fontUnderline())
                    .arg(format.fontStrikeOut())
                    .arg(format.foreground().color().name(QColor::HexArgb),
                         format.background().color().name(QColor::HexArgb));
            if (format.isAnchor())
                line += QStringLiteral(" href=") + format.anchorHref();
            if (format.isImageFormat()) {
                const QTextImageFormat image = format.toImageFormat();
                const QImage pixels =
                    document.resource(QTextDocument::ImageResource, QUrl(image.name()))
                        .value<QImage>();
                line += QStringLiteral(" image %1x%2 pixels %3x%4 %5")
                            .arg(image.width())
                            .arg(image.height())
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(QString::fromLatin1(
                                QCryptographicHash::hash(
                                    QByteArrayView(pixels.constBits(), pixels.sizeInBytes()),
                                    QCryptographicHash::Sha1)
                                    .toHex()));
            }
            lines << line;
        }
    }
    return lines;
}

} // namespace

class tst_Convert : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void sameAsWindow();
    void commandLine_data();
    void commandLine();
    void parallelSameAsSerial();
    void parallelPagesTakeTurns();
    void aPageThatStopsRespondingFails_data();
    void aPageThatStopsRespondingFails();
    void hostileEntries_data();
    void hostileEntries();
    void options_data();
    void options();
    void documentOptions_data();
    void documentOptions();
    void anyDisplay_data();
    void anyDisplay();
    void usageNamesTheProgram_data();
    void usageNamesTheProgram();

private:
    // A page named after word: a heading, formatted words, a link, a list, a table and an image.
    QString page(const QString &word);
    // environment: "NAME=value" sets a variable for the program, "NAME" removes it.
    Result convert(const QStringList &arguments, const QByteArray &input = {},
                   const QStringList &environment = {},
                   const QString &program = QStringLiteral(FOLVANE_CONVERT));

    QTemporaryDir m_dir;
};

void tst_Convert::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QImage picture(24, 12, QImage::Format_RGB32);
    picture.fill(QColor(0x33, 0x99, 0x66));
    for (int x = 0; x < 12; ++x)
        picture.setPixelColor(x, x % 12, QColor(Qt::white));
    QVERIFY(picture.save(m_dir.filePath(QStringLiteral("picture.png"))));
}

QString tst_Convert::page(const QString &word)
{
    const QString path = m_dir.filePath(word + QStringLiteral(".html"));
    if (QFile::exists(path))
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(QStringLiteral(
                   "<!DOCTYPE html><html><head><title>%1</title><style>"
                   ".note{color:#a03030;background:#fff0c0;font-family:monospace}</style></head>"
                   "<body><h1>Heading %1</h1>"
                   "<p>Plain text of %1 with <b>strong%1</b>, <i>slanted%1</i>, <u>under%1</u>"
                   " and <span class=note>note%1</span>.</p>"
                   "<p style=\"text-align:center\"><a href=\"https://example.org/%1\">link%1</a>"
                   " <img src=\"picture.png\" width=48 height=24 alt=\"\"></p>"
                   "<ul><li>first%1<ul><li>inner%1</li></ul></li><li>second%1</li></ul>"
                   "<ol><li>one%1</li><li>two%1</li></ol>"
                   "<table border=1><tr><th>head%1</th><th>more%1</th></tr>"
                   "<tr><td colspan=2>wide%1</td></tr></table>"
                   "</body></html>")
                   .arg(word)
                   .toUtf8());
    return path;
}

Result tst_Convert::convert(const QStringList &arguments, const QByteArray &input,
                            const QStringList &environment, const QString &program)
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString &variable : environment) {
        if (variable.contains(u'='))
            variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        else
            variables.remove(variable);
    }
    process.setProcessEnvironment(variables);
    process.setWorkingDirectory(m_dir.path());
    process.start(program, arguments);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(240000))
        process.kill();
    Result result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void tst_Convert::sameAsWindow()
{
    QStringList pages;
    for (const QString &word : Words.mid(0, 3))
        pages << page(word);

    // The window: the pages given as on its command line, Concatenate, and the pane's save.
    const QString saved = m_dir.filePath(QStringLiteral("window.rtf"));
    {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        PageListHandlers::open(form, pages);
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command1")),
                          Qt::LeftButton);
        auto *pane = form.findChild<RichTextBox *>(QStringLiteral("RichTextBox1"));
        pane->SaveFile(saved);
        QVERIFY(!pane->takeFailure());
    }

    const QString written = m_dir.filePath(QStringLiteral("converted.rtf"));
    const Result result =
        convert({QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("2"),
                 QStringLiteral("-o"), written, QStringLiteral("Alder.html"), pages[1], pages[2]});
    QCOMPARE(result.status, 0);
    QVERIFY2(result.err.isEmpty() || !result.err.contains("page"), result.err.constData());

    const auto window = readRtf(readFile(saved));
    const auto converted = readRtf(readFile(written));
    QCOMPARE(headingOrder(window->toPlainText(), Words), Words.mid(0, 3));
    const QStringList expected = describe(*window);
    // The pages brought what the comparison is about.
    const QString all = expected.join(u'\n');
    for (const QString &needle : {QStringLiteral(" list style="), QStringLiteral(" table 2x2"),
                                  QStringLiteral("href=https://example.org/Birch"),
                                  QStringLiteral(" image 48x24"), QStringLiteral("w=700")})
        QVERIFY2(all.contains(needle), qPrintable(needle));
    const QStringList actual = describe(*converted);
    for (qsizetype i = 0; i < std::min(expected.size(), actual.size()); ++i)
        QCOMPARE(actual[i], expected[i]);
    QCOMPARE(actual.size(), expected.size());
    // Down to the document's defaults (its font, for one), which no fragment shows.
    QVERIFY(readFile(written) == readFile(saved));
}

void tst_Convert::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("status");
    // The pages in the RTF, in order, from standard output or from the file named by -o.
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QString>("outputFile");
    QTest::addColumn<QByteArray>("stdoutHas");
    QTest::addColumn<QByteArray>("stderrHas");

    const QStringList none;
    QTest::newRow("stdout") << QStringList{"Birch.html", "Alder.html"} << QByteArray() << none << 0
                            << QStringList{"Birch", "Alder"} << QString() << QByteArray()
                            << QByteArray("page 2 of 2: Alder.html");
    QTest::newRow("-o") << QStringList{"-o", "out.rtf", "Cedar.html"} << QByteArray() << none << 0
                        << QStringList{"Cedar"} << QString("out.rtf") << QByteArray()
                        << QByteArray("page 1 of 1: Cedar.html");
    QTest::newRow("- reads stdin")
        << QStringList{"-q", "Alder.html", "-"} << QByteArray("Cedar.html\r\n\nBirch.html\n")
        << none << 0 << QStringList{"Alder", "Cedar", "Birch"} << QString() << QByteArray()
        << QByteArray();
    QTest::newRow("--") << QStringList{"-q", "--", "Birch.html"} << QByteArray() << none << 0
                        << QStringList{"Birch"} << QString() << QByteArray() << QByteArray();
    QTest::newRow("missing page") << QStringList{"-o", "some.rtf", "Alder.html", "gone.html",
                                                 "Birch.html"}
                                  << QByteArray() << none << 1 << QStringList{"Alder", "Birch"}
                                  << QString("some.rtf") << QByteArray()
                                  << QByteArray("page 2 of 3 failed: gone.html: no such file");
    QTest::newRow("-q keeps failures")
        << QStringList{"-q", "gone.html", "Alder.html"} << QByteArray() << none << 1
        << QStringList{"Alder"} << QString() << QByteArray()
        << QByteArray("page 1 of 2 failed: gone.html");
    QTest::newRow("no display") << QStringList{"-q", "Damson.html"} << QByteArray()
                                << QStringList{"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"} << 0
                                << QStringList{"Damson"} << QString() << QByteArray()
                                << QByteArray();
    QTest::newRow("unwritable -o")
        << QStringList{"-q", "-o", "no-folder/x.rtf", "Alder.html"} << QByteArray() << none << 3
        << QStringList() << QString() << QByteArray() << QByteArray("cannot write");
    QTest::newRow("--help") << QStringList{"--help"} << QByteArray() << none << 0 << QStringList()
                            << QString() << QByteArray("-j, --jobs <n>") << QByteArray();
    QTest::newRow("--help: usage")
        << QStringList{"--help"} << QByteArray() << none << 0 << QStringList() << QString()
        << QByteArray("Usage: folvane-convert [options] FILE|URL|-...\n") << QByteArray();
    QTest::newRow("-h: exit statuses")
        << QStringList{"-h"} << QByteArray() << none << 0 << QStringList() << QString()
        << QByteArray("Exit status:\n  0  every page was converted\n") << QByteArray();
    QTest::newRow("-h: status 3") << QStringList{"-h"} << QByteArray() << none << 0 << QStringList()
                                  << QString()
                                  << QByteArray("\n  3  the RTF could not be written\n")
                                  << QByteArray();
    QTest::newRow("--version") << QStringList{"--version"} << QByteArray() << none << 0
                               << QStringList() << QString()
                               << QByteArray("folvane-convert " FOLVANE_VERSION) << QByteArray();
    QTest::newRow("unknown option")
        << QStringList{"--frobnicate", "Alder.html"} << QByteArray() << none << 2 << QStringList()
        << QString() << QByteArray() << QByteArray("Unknown option 'frobnicate'");
    QTest::newRow("no entries") << QStringList{"-q"} << QByteArray() << none << 2 << QStringList()
                                << QString() << QByteArray() << QByteArray("No pages to convert.");
    QTest::newRow("bad -j") << QStringList{"-j", "0", "Alder.html"} << QByteArray() << none << 2
                            << QStringList() << QString() << QByteArray()
                            << QByteArray("-j needs a whole number");
    QTest::newRow("-o without file")
        << QStringList{"Alder.html", "-o"} << QByteArray() << none << 2 << QStringList()
        << QString() << QByteArray() << QByteArray("Missing value after '-o'");
    QTest::newRow("stdin twice") << QStringList{"-", "Alder.html", "-"}
                                 << QByteArray("Birch.html\n") << none << 2 << QStringList()
                                 << QString() << QByteArray()
                                 << QByteArray("Standard input (-) can be named only once.");
    QTest::newRow("empty -o") << QStringList{"-o", "", "Alder.html"} << QByteArray() << none << 2
                              << QStringList() << QString() << QByteArray()
                              << QByteArray("The output file name is empty.");
    // Qt's own options are not taken: none of them may change how the program starts.
    QTest::newRow("-platform") << QStringList{"-platform", "xcb", "Alder.html"} << QByteArray()
                               << none << 2 << QStringList() << QString() << QByteArray()
                               << QByteArray("Unknown options: p, l, a, t, f.");
    QTest::newRow("--help-all") << QStringList{"--help-all"} << QByteArray() << none << 2
                                << QStringList() << QString() << QByteArray()
                                << QByteArray("Unknown option 'help-all'.");
}

void tst_Convert::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QStringList, environment);
    QFETCH(int, status);
    QFETCH(QStringList, pages);
    QFETCH(QString, outputFile);
    QFETCH(QByteArray, stdoutHas);
    QFETCH(QByteArray, stderrHas);

    for (const QString &word : Words)
        page(word);
    if (!outputFile.isEmpty())
        QFile::remove(m_dir.filePath(outputFile));
    const Result result = convert(arguments, input, environment);
    QVERIFY2(
        result.status == status,
        qPrintable(
            QStringLiteral("status %1: %2").arg(result.status).arg(QString::fromUtf8(result.err))));
    QVERIFY2(result.out.contains(stdoutHas), result.out.left(400).constData());
    QVERIFY2(result.err.contains(stderrHas), result.err.constData());
    // A bad command line: one line that names the problem and one that says where the usage is,
    // as other tools do, and nothing else.
    if (status == 2) {
        const QList<QByteArray> lines = result.err.split('\n');
        QVERIFY2(lines.size() == 3 && lines[2].isEmpty(), result.err.constData());
        QVERIFY2(lines[0].startsWith("folvane-convert: ") && lines[0].contains(stderrHas),
                 lines[0].constData());
        QCOMPARE(lines[1], QByteArray("Try 'folvane-convert --help' for more information."));
        QVERIFY(result.out.isEmpty());
    }
    // Quiet and successful: standard error holds nothing at all, not even the engine's remarks.
    if (status == 0 && arguments.contains(QStringLiteral("-q")))
        QVERIFY2(result.err.isEmpty(), result.err.constData());
    if (!pages.isEmpty()) {
        const QByteArray rtf =
            outputFile.isEmpty() ? result.out : readFile(m_dir.filePath(outputFile));
        if (!outputFile.isEmpty())
            QVERIFY(result.out.isEmpty());
        QVERIFY(rtf.startsWith("{\\rtf1"));
        QCOMPARE(headingOrder(readRtf(rtf)->toPlainText(), Words), pages);
    }
}

void tst_Convert::parallelSameAsSerial()
{
    QStringList arguments{QStringLiteral("-q")};
    // Pages of different sizes finish out of order when rendered side by side.
    for (const QString &word : Words)
        arguments << page(word);
    QFile big(m_dir.filePath(QStringLiteral("big.html")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write("<h1>Heading Big</h1>");
    for (int i = 0; i < 400; ++i)
        big.write("<p>A paragraph of the big page, with <b>bold</b> text in it.</p>");
    big.close();
    arguments.insert(2, big.fileName());

    const Result serial =
        convert(QStringList{QStringLiteral("-j"), QStringLiteral("1")} + arguments);
    const Result parallel =
        convert(QStringList{QStringLiteral("-j"), QStringLiteral("3")} + arguments);
    QVERIFY2(serial.status == 0, serial.err.constData());
    QVERIFY2(parallel.status == 0, parallel.err.constData());
    QVERIFY(serial.out.startsWith("{\\rtf1"));
    QVERIFY(serial.out == parallel.out);
    QCOMPARE(headingOrder(readRtf(serial.out)->toPlainText(), Words + QStringList{"Big"}),
             (QStringList{"Alder", "Big", "Birch", "Cedar", "Damson", "Elm"}));
}

// Pages rendered side by side end their loads while another page is being captured, and wait
// their turn: each is captured once and appended in order, none is left in the queue. The
// browser's limits are set beyond the test's own, so that a page whose answers the engine held
// back would hang the test instead of passing after the browser gave it up and it was retried.
void tst_Convert::parallelPagesTakeTurns()
{
    QFile big(m_dir.filePath(QStringLiteral("long.html")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write("<h1>Heading Long</h1>");
    for (int i = 0; i < 3000; ++i)
        big.write("<p>A paragraph of the long page, with <i>italic</i> text in it.</p>");
    big.close();
    QStringList entries{big.fileName()};
    for (int round = 0; round < 3; ++round) {
        for (const QString &word : Words)
            entries << page(word);
    }

    HeadlessConversion::Settings settings;
    settings.jobs = 3;
    const int hour = 3600 * 1000;
    settings.browserTimeouts = {hour, hour, hour};
    HeadlessConversion conversion(entries, settings);
    conversion.run();

    QVERIFY(conversion.failures().isEmpty());
    const QString text = conversion.document().toPlainText();
    QCOMPARE(text.count(QStringLiteral("Heading Long")), 1);
    for (const QString &word : Words)
        QCOMPARE(text.count(QStringLiteral("Heading ") + word), 3);
}

void tst_Convert::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("jobs"); // 0: the number of cores
    QTest::addColumn<bool>("quiet");

    const int convert = int(ConvertOptions::Action::Convert);
    const int usage = int(ConvertOptions::Action::UsageError);
    QTest::newRow("defaults") << QStringList{"a.html"} << convert << QStringList{"a.html"}
                              << QString() << 0 << false;
    QTest::newRow("all options") << QStringList{"-q", "-j", "4", "-o", "x.rtf", "a", "b"} << convert
                                 << QStringList{"a", "b"} << QString("x.rtf") << 4 << true;
    QTest::newRow("long options") << QStringList{"--jobs=2", "--output=y.rtf", "--quiet", "c"}
                                  << convert << QStringList{"c"} << QString("y.rtf") << 2 << true;
    QTest::newRow("stdin in place")
        << QStringList{"a", "-", "b"} << convert << QStringList{"a", "from stdin", "b"} << QString()
        << 0 << false;
    QTest::newRow("stdin twice") << QStringList{"-", "-"} << usage << QStringList() << QString()
                                 << 0 << false;
    QTest::newRow("-j not a number")
        << QStringList{"-j", "many", "a"} << usage << QStringList() << QString() << 0 << false;
    QTest::newRow("empty -o") << QStringList{"-o", "", "a"} << usage << QStringList() << QString()
                              << 0 << false;
    QTest::newRow("-h") << QStringList{"-h"} << int(ConvertOptions::Action::Help) << QStringList()
                        << QString() << 0 << false;
}

void tst_Convert::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QStringList, entries);
    QFETCH(QString, output);
    QFETCH(int, jobs);
    QFETCH(bool, quiet);

    QTemporaryFile input;
    QVERIFY(input.open());
    input.write("from stdin\n\n");
    input.close();
    std::FILE *stream = std::fopen(QFile::encodeName(input.fileName()).constData(), "r");
    QVERIFY(stream);
    const ConvertOptions options =
        ConvertOptions::parse(QStringList{QStringLiteral("folvane-convert")} + arguments, stream);
    std::fclose(stream);
    QCOMPARE(int(options.action), action);
    if (action != int(ConvertOptions::Action::Convert)) {
        // By its name, not by the path of the program that parses (this test's).
        QVERIFY2(options.helpText.startsWith(
                     QStringLiteral("Usage: folvane-convert [options] FILE|URL|-...\n")),
                 qPrintable(options.helpText));
        QCOMPARE(options.error.isEmpty(), action != int(ConvertOptions::Action::UsageError));
        return;
    }
    QCOMPARE(options.entries, entries);
    QCOMPARE(options.output, output);
    QCOMPARE(options.jobs, jobs == 0 ? std::max(1, QThread::idealThreadCount()) : jobs);
    QCOMPARE(options.quiet, quiet);
}

void tst_Convert::documentOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("toc");
    QTest::addColumn<bool>("pageBreaks");
    QTest::addColumn<bool>("keepLinks");
    QTest::newRow("defaults") << QStringList{"a"} << false << false << false;
    QTest::newRow("--toc") << QStringList{"--toc", "a"} << true << false << false;
    QTest::newRow("--page-breaks") << QStringList{"a", "--page-breaks"} << false << true << false;
    QTest::newRow("--keep-links") << QStringList{"--keep-links", "a"} << false << false << true;
    QTest::newRow("all three") << QStringList{"--keep-links", "--page-breaks", "--toc", "a"} << true
                               << true << true;
}

void tst_Convert::documentOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, toc);
    QFETCH(bool, pageBreaks);
    QFETCH(bool, keepLinks);
    const ConvertOptions options =
        ConvertOptions::parse(QStringList{QStringLiteral("folvane-convert")} + arguments, stdin);
    QCOMPARE(int(options.action), int(ConvertOptions::Action::Convert));
    QCOMPARE(options.entries, QStringList{QStringLiteral("a")});
    QCOMPARE(options.tableOfContents, toc);
    QCOMPARE(options.pageBreaks, pageBreaks);
    QCOMPARE(options.keepLinks, keepLinks);
    for (const char *option : {"--toc", "--page-breaks", "--keep-links"})
        QVERIFY(options.helpText.contains(QLatin1String(option)));
}

QTEST_MAIN(tst_Convert)
void tst_Convert::aPageThatStopsRespondingFails_data()
{
    // Beside another page, a page that stops responding when selected is tried a last time
    // alone before it counts as failed.
    QTest::addColumn<int>("jobs");
    QTest::newRow("alone") << 1;
    QTest::newRow("beside another") << 2;
}

void tst_Convert::aPageThatStopsRespondingFails()
{
    QFETCH(int, jobs);
    // A script that never yields, and one that never yields once the page is selected: the
    // browser gives the page up and shows a page of its own, which must not pass for the
    // entry's content.
    const auto write = [&](const QString &name, const QByteArray &html) {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(html);
        return file.fileName();
    };
    const QString endless = write(QStringLiteral("endless.html"),
                                  "<!DOCTYPE html><title>Endless</title><h1>Heading Endless</h1>"
                                  "<script>for (;;) {}</script><p>Never reached.</p>");
    const QString hanging = write(
        QStringLiteral("hanging.html"),
        "<!DOCTYPE html><title>Hanging</title><h1>Heading Hanging</h1><script>"
        "document.addEventListener('selectionchange', function () { for (;;) {} });</script>");
    QVERIFY(!endless.isEmpty() && !hanging.isEmpty());

    HeadlessConversion::Settings settings;
    settings.jobs = jobs;
    settings.browserTimeouts = {8000, 3000, 6000};
    HeadlessConversion conversion(
        {page(Words[0]), endless, page(Words[1]), hanging, page(Words[2])}, settings);
    conversion.run();

    QCOMPARE(conversion.failures().size(), 2);
    QCOMPARE(conversion.failures().first().index, 1);
    QCOMPARE(conversion.failures().last().index, 3);
    for (const HeadlessConversion::PageFailure &failure : conversion.failures())
        QVERIFY2(failure.reason.contains(QStringLiteral("stopped responding")),
                 qPrintable(failure.reason));
    const QString text = conversion.document().toPlainText();
    QCOMPARE(headingOrder(text, Words + QStringList{"Endless", "Hanging"}), Words.mid(0, 3));
    QVERIFY(!text.contains(QStringLiteral("stopped responding")));
}

void tst_Convert::hostileEntries_data()
{
    // What standard error names as the entry's failure; empty for an entry that is converted.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("failure");
    for (const QString &kind : HostileEntries::kinds()) {
        QString failure;
        if (kind == QLatin1String("named pipe"))
            failure = QStringLiteral("is a named pipe");
        else if (kind == QLatin1String("socket"))
            failure = QStringLiteral("is a socket");
        else if (kind == QLatin1String("folder"))
            failure = QStringLiteral("is a folder");
        QTest::newRow(qPrintable(kind)) << kind << failure;
    }
}

// Each entry that misbehaves, between two ordinary pages: the program ends, a special file or a
// folder is refused and named, a page gives what it shows, and the page after it comes once, in
// order, complete.
void tst_Convert::hostileEntries()
{
    QFETCH(QString, kind);
    QFETCH(QString, failure);
    QTemporaryDir folder;
    const QString entry = HostileEntries::make(kind, folder.path());
    QVERIFY(!entry.isEmpty());
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    const QStringList downloadsBefore = QDir(downloads).entryList(QDir::Files);
    const QString written = m_dir.filePath(QStringLiteral("hostile.rtf"));
    QFile::remove(written);

    // One browser for every page, as the window has: a page's step back would find the page
    // before it.
    const Result result = convert({QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("-o"),
                                   written, page(Words[0]), entry, page(Words[1])});
    QCOMPARE(result.status, failure.isEmpty() ? 0 : 1);
    if (failure.isEmpty()) {
        QVERIFY2(!result.err.contains("failed"), result.err.constData());
    } else {
        const QByteArray line = "failed: " + QFile::encodeName(entry) + ": " + failure.toUtf8();
        QVERIFY2(result.err.contains(line), result.err.constData());
    }
    const QString text = readRtf(readFile(written))->toPlainText();
    QCOMPARE(headingOrder(text, Words), Words.mid(0, 2));
    const QStringList order =
        QStringList{QStringLiteral("Heading ") + Words[0]} + HostileEntries::shows(kind) +
        QStringList{QStringLiteral("Heading ") + Words[1], QStringLiteral("wide") + Words[1]};
    const QString outOfOrder = firstOutOfOrder(text, order);
    QVERIFY2(outOfOrder.isEmpty(), qPrintable(outOfOrder));
    for (const QString &marker : HostileEntries::hidden() + QStringList{"Heading Inside"})
        QVERIFY2(!text.contains(marker), qPrintable(marker));
    // A page's download is refused: nothing was written.
    QCOMPARE(QDir(downloads).entryList(QDir::Files), downloadsBefore);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(),
             kind == QLatin1String("named pipe") || kind == QLatin1String("socket") ||
                     kind == QLatin1String("folder")
                 ? 0
                 : 1);
}

void tst_Convert::anyDisplay_data()
{
    // What the environment says about a display, none of which the converter needs or heeds.
    QTest::addColumn<QStringList>("environment");
    const QString nowhere = QStringLiteral("DISPLAY=nowhere.invalid:0");
    QTest::newRow("xcb asked for, no display")
        << QStringList{"QT_QPA_PLATFORM=xcb", "DISPLAY", "WAYLAND_DISPLAY"};
    QTest::newRow("xcb asked for, a display that is not there")
        << QStringList{"QT_QPA_PLATFORM=xcb", nowhere, "WAYLAND_DISPLAY"};
    QTest::newRow("no platform asked for, a display that is not there")
        << QStringList{"QT_QPA_PLATFORM", nowhere, "WAYLAND_DISPLAY"};
    QTest::newRow("wayland asked for, a display that is not there")
        << QStringList{"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=folvane-none", "DISPLAY"};
    // GTK's theme, which Qt's packages bring, ends the program when the display is not there.
    QTest::newRow("a platform theme that needs a display")
        << QStringList{"QT_QPA_PLATFORM=offscreen", "QT_QPA_PLATFORMTHEME=gtk3", nowhere};
}

// The converter renders offscreen whatever platform and display the environment names (over SSH
// or from cron, QT_QPA_PLATFORM=xcb may be set with no display), and writes the same document as
// with the tests' own offscreen set-up.
void tst_Convert::anyDisplay()
{
    QFETCH(QStringList, environment);
    const QString entry = page(Words[3]);
    const QString reference = m_dir.filePath(QStringLiteral("offscreen.rtf"));
    if (!QFile::exists(reference)) {
        const Result result =
            convert({QStringLiteral("-q"), QStringLiteral("-o"), reference, entry});
        QVERIFY2(result.status == 0, result.err.constData());
    }
    const QString written = m_dir.filePath(QStringLiteral("display.rtf"));
    QFile::remove(written);

    const Result result =
        convert({QStringLiteral("-q"), QStringLiteral("-o"), written, entry}, {}, environment);
    QVERIFY2(
        result.status == 0,
        qPrintable(
            QStringLiteral("status %1: %2").arg(result.status).arg(QString::fromUtf8(result.err))));
    QVERIFY2(result.err.isEmpty(), result.err.constData());
    const QByteArray rtf = readFile(written);
    QVERIFY(rtf.startsWith("{\\rtf1"));
    QCOMPARE(headingOrder(readRtf(rtf)->toPlainText(), Words), QStringList{Words[3]});
    QVERIFY(rtf == readFile(reference));
}

void tst_Convert::usageNamesTheProgram_data()
{
    QTest::addColumn<QString>("link"); // empty: the program's own full path
    QTest::newRow("started by its full path") << QString();
    QTest::newRow("started through a link of another name") << QStringLiteral("to-rtf");
}

// However it was started, the program calls itself folvane-convert in its usage and its
// messages, and never shows the path it was started by.
void tst_Convert::usageNamesTheProgram()
{
    QFETCH(QString, link);
    QString program = QStringLiteral(FOLVANE_CONVERT);
    if (!link.isEmpty()) {
        program = m_dir.filePath(link);
        QFile::remove(program);
        QVERIFY(QFile::link(QStringLiteral(FOLVANE_CONVERT), program));
    }
    QVERIFY(QFileInfo(program).isAbsolute());

    const Result help = convert({QStringLiteral("--help")}, {}, {}, program);
    QCOMPARE(help.status, 0);
    QVERIFY2(help.out.startsWith("Usage: folvane-convert [options] FILE|URL|-...\n"),
             help.out.left(200).constData());
    const Result wrong = convert({QStringLiteral("--frobnicate")}, {}, {}, program);
    QCOMPARE(wrong.status, 2);
    QCOMPARE(wrong.err, QByteArray("folvane-convert: Unknown option 'frobnicate'.\n"
                                   "Try 'folvane-convert --help' for more information.\n"));
    const QByteArray path = QFile::encodeName(program);
    QVERIFY(!help.out.contains(path) && !help.err.contains(path));
    QVERIFY(!wrong.out.contains(path) && !wrong.err.contains(path));
}

#include "tst_convert.moc"
