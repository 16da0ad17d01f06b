// LibreOffice reads a captured right-to-left page as right-to-left paragraphs: the page is
// rendered, selected whole and captured, its RTF converted to flat ODT by soffice, and the
// paragraphs' styles are looked up as LibreOffice wrote them.
#include "pagecapture.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QXmlStreamReader>

namespace {

struct OdtParagraph {
    QString text;
    bool rightToLeft = false;
};

struct Odt {
    QList<OdtParagraph> paragraphs;
    int rightToLeftTables = 0;
};

// Paragraphs (text:p, text:h) with whether their style writes right to left (rl-tb), and the
// tables whose style does.
Odt parseFlatOdt(const QByteArray &xml)
{
    const QString style = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
    const QString text = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
    const QString table = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
    QSet<QString> rightToLeft;
    QString styleName;
    Odt odt;
    QList<int> open; // indexes of the paragraphs being read, innermost last
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const auto attributes = reader.attributes();
            if (reader.namespaceUri() == style && reader.name() == u"style") {
                styleName = attributes.value(style, QStringLiteral("name")).toString();
            } else if (reader.namespaceUri() == style &&
                       (reader.name() == u"paragraph-properties" ||
                        reader.name() == u"table-properties")) {
                const auto mode = attributes.value(style, QStringLiteral("writing-mode"));
                if (mode == u"rl-tb" || mode == u"rl")
                    rightToLeft.insert(styleName);
            } else if (reader.namespaceUri() == text &&
                       (reader.name() == u"p" || reader.name() == u"h")) {
                OdtParagraph p;
                p.rightToLeft = rightToLeft.contains(
                    attributes.value(text, QStringLiteral("style-name")).toString());
                odt.paragraphs << p;
                open << int(odt.paragraphs.size() - 1);
            } else if (reader.namespaceUri() == table && reader.name() == u"table") {
                if (rightToLeft.contains(
                        attributes.value(table, QStringLiteral("style-name")).toString()))
                    ++odt.rightToLeftTables;
            }
        } else if (reader.isEndElement()) {
            if (reader.namespaceUri() == text && (reader.name() == u"p" || reader.name() == u"h"))
                open.removeLast();
        } else if (reader.isCharacters() && !open.isEmpty()) {
            odt.paragraphs[open.last()].text += reader.text();
        }
    }
    return odt;
}

int arabicLetters(const QString &s)
{
    return int(std::count_if(s.begin(), s.end(),
                             [](QChar c) { return c.unicode() >= 0x600 && c.unicode() <= 0x6ff; }));
}

} // namespace

class tst_CaptureLibreOffice : public QObject {
    Q_OBJECT

private slots:
    void rightToLeftPage();
};

void tst_CaptureLibreOffice::rightToLeftPage()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    const QString page = QFINDTESTDATA("data/rtl.html");
    QVERIFY(!page.isEmpty());
    QTemporaryDir directory;
    QVERIFY(directory.isValid());

    QWebEngineProfile profile;
    QWebEnginePage web(&profile);
    bool loaded = false;
    connect(&web, &QWebEnginePage::loadFinished, this, [&](bool ok) { loaded = ok; });
    web.load(QUrl::fromLocalFile(page));
    QTRY_VERIFY_WITH_TIMEOUT(loaded, 20000);
    bool selected = false;
    web.runJavaScript(QStringLiteral("window.getSelection().selectAllChildren(document.body)"),
                      QWebEngineScript::MainWorld, [&](const QVariant &) { selected = true; });
    QTRY_VERIFY_WITH_TIMEOUT(selected, 10000);
    CapturedSelection captured;
    bool done = false;
    PageCapture::captureSelection(&web, [&](CapturedSelection r) {
        captured = std::move(r);
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
    QVERIFY2(captured.ok, qPrintable(captured.error));

    QFile rtf(directory.filePath(QStringLiteral("rtl.rtf")));
    QVERIFY(rtf.open(QIODevice::WriteOnly));
    rtf.write(captured.rtf);
    rtf.close();
    QProcess process;
    process.setProgram(soffice);
    process.setArguments({QStringLiteral("--headless"), QStringLiteral("--norestore"),
                          QStringLiteral("-env:UserInstallation=file://") +
                              directory.filePath(QStringLiteral("profile")),
                          QStringLiteral("--convert-to"), QStringLiteral("fodt"),
                          QStringLiteral("--outdir"), directory.path(), rtf.fileName()});
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    QVERIFY(process.waitForFinished(180000));
    QFile fodt(directory.filePath(QStringLiteral("rtl.fodt")));
    QVERIFY2(fodt.open(QIODevice::ReadOnly), process.readAll().constData());
    const Odt odt = parseFlatOdt(fodt.readAll());

    int persian = 0;
    for (const OdtParagraph &p : odt.paragraphs) {
        if (arabicLetters(p.text) >= 5) {
            ++persian;
            QVERIFY2(p.rightToLeft, qPrintable(p.text));
        }
        if (p.text.contains(QStringLiteral("A paragraph written left to right")))
            QVERIFY(!p.rightToLeft);
    }
    // the heading, four paragraphs, four cells (three of them Persian), two items
    QCOMPARE(persian, 10);
    QCOMPARE(odt.rightToLeftTables, 1);
}

QTEST_MAIN(tst_CaptureLibreOffice)
#include "tst_capturelibreoffice.moc"
