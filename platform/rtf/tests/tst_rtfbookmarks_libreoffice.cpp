// LibreOffice reads the writer's bookmarks, internal links, heading styles, table of contents
// and page breaks: the RTF is converted to flat ODT, and LibreOffice's own RTF of it is read
// back, written and read again.

#include "rtfplaces.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QXmlStreamReader>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString pageA = u"file:///docs/guide/index.html"_s;
const QString pageB = u"file:///docs/guide/install.html"_s;

// Two pages joined: headings of several levels, places with ids, links into the pages, to a
// page's start and outside.
std::unique_ptr<QTextDocument> joinedPages()
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    const auto paragraph = [&](const QString &text, int heading, const QString &place,
                               const QString &href) {
        QTextBlockFormat block;
        block.setHeadingLevel(heading);
        if (document->isEmpty())
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block, QTextCharFormat());
        QTextCharFormat look;
        if (heading)
            look.setFontPointSize(20 - heading);
        QTextCharFormat first = look;
        if (!place.isEmpty())
            RtfPlaces::addName(first, place);
        if (!href.isEmpty()) {
            first.setAnchor(true);
            first.setAnchorHref(href);
            look.setAnchor(true);
            look.setAnchorHref(href);
        }
        cursor.insertText(text.left(1), first);
        cursor.insertText(text.mid(1), look);
    };
    paragraph(u"Guide"_s, 1, pageA, {});
    paragraph(u"Read the install page"_s, 0, {}, pageB);
    paragraph(u"Concepts"_s, 2, pageA + u"#concepts"_s, {});
    paragraph(u"Jump to setup"_s, 0, {}, pageB + u"#setup"_s);
    paragraph(u"See the project site"_s, 0, {}, u"https://example.org/"_s);
    paragraph(u"Install"_s, 1, pageB, {});
    paragraph(u"Setup"_s, 2, pageB + u"#setup"_s, {});
    paragraph(u"Details"_s, 3, {}, {});
    paragraph(u"Fine print"_s, 6, {}, {});
    paragraph(u"Back to concepts"_s, 0, {}, pageA + u"#concepts"_s);
    return document;
}

// What the checks need of a flat ODT.
struct Odt {
    QStringList bookmarks;
    QStringList hrefs;
    QStringList headings;   // "level style" of each text:h, the style by its display name
    int tables = 0;         // text:table-of-content
    int tocEntries = 0;     // paragraphs inside it
    int breaksBefore = 0;   // paragraphs whose style breaks the page before them
    QStringList firstTexts; // the text of the first paragraphs after each page break

    static Odt parse(const QByteArray &xml)
    {
        Odt odt;
        QMap<QString, QString> parents, displayNames;
        QSet<QString> breaking;
        QList<std::pair<int, QString>> headingsByStyle;
        QXmlStreamReader reader(xml);
        QString style;
        int tocDepth = 0;
        int breakingDepth = 0; // inside a paragraph that starts a page: its element depth
        while (!reader.atEnd()) {
            reader.readNext();
            if (breakingDepth > 0) {
                if (reader.isCharacters())
                    odt.firstTexts.last() += reader.text();
                else if (reader.isStartElement())
                    ++breakingDepth;
                else if (reader.isEndElement())
                    --breakingDepth;
            }
            if (reader.isEndElement() && reader.qualifiedName() == u"text:table-of-content")
                --tocDepth;
            if (!reader.isStartElement())
                continue;
            const QStringView name = reader.qualifiedName();
            const auto attributes = reader.attributes();
            if (name == u"style:style") {
                style = attributes.value(QLatin1StringView("style:name")).toString();
                parents.insert(
                    style,
                    attributes.value(QLatin1StringView("style:parent-style-name")).toString());
                if (attributes.hasAttribute(QLatin1StringView("style:display-name")))
                    displayNames.insert(
                        style,
                        attributes.value(QLatin1StringView("style:display-name")).toString());
            } else if (name == u"style:paragraph-properties") {
                if (attributes.value(QLatin1StringView("fo:break-before")) == u"page")
                    breaking.insert(style);
            } else if (name == u"text:bookmark" || name == u"text:bookmark-start") {
                odt.bookmarks << attributes.value(QLatin1StringView("text:name")).toString();
            } else if (name == u"text:a") {
                odt.hrefs << attributes.value(QLatin1StringView("xlink:href")).toString();
            } else if (name == u"text:table-of-content") {
                ++odt.tables;
                ++tocDepth;
            } else if (name == u"text:h" || name == u"text:p") {
                const QString paragraphStyle =
                    attributes.value(QLatin1StringView("text:style-name")).toString();
                if (tocDepth > 0 && name == u"text:p")
                    ++odt.tocEntries;
                if (name == u"text:h")
                    headingsByStyle.append(
                        {attributes.value(QLatin1StringView("text:outline-level")).toInt(),
                         paragraphStyle});
                if (breaking.contains(paragraphStyle)) {
                    ++odt.breaksBefore;
                    odt.firstTexts << QString();
                    breakingDepth = 1;
                }
            }
        }
        // A heading's style is an automatic style on top of the named one.
        for (const auto &[level, paragraphStyle] : headingsByStyle) {
            QString named = paragraphStyle;
            for (int i = 0; i < 4 && !displayNames.contains(named) && parents.contains(named); ++i)
                named = parents.value(named);
            odt.headings << u"%1 %2"_s.arg(level).arg(displayNames.value(named, named));
        }
        return odt;
    }
};

bool convert(const QTemporaryDir &directory, const QString &format, const QStringList &files,
             const QString &out)
{
    QProcess process;
    process.setProgram(QStandardPaths::findExecutable(u"soffice"_s));
    process.setArguments(
        QStringList{u"--headless"_s, u"--norestore"_s,
                    u"-env:UserInstallation=file://"_s + directory.filePath(u"profile"_s),
                    u"--convert-to"_s, format, u"--outdir"_s, directory.filePath(out)} +
        files);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    return process.waitForFinished(180000) && process.exitCode() == 0;
}

QStringList placesOf(const QTextDocument &document)
{
    QStringList all;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            all += it.fragment().charFormat().anchorNames();
    }
    all.sort();
    return all;
}

QStringList linksOf(const QTextDocument &document)
{
    QStringList all;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString href = it.fragment().charFormat().anchorHref();
            if (!href.isEmpty() && (all.isEmpty() || all.last() != href))
                all << href;
        }
    }
    return all;
}

std::unique_ptr<QTextDocument> read(const QByteArray &rtf)
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    RtfReader::insert(cursor, rtf);
    return document;
}

} // namespace

class tst_RtfBookmarksLibreOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void odt_data();
    void odt();
    void libreOfficeRtf();

private:
    QTemporaryDir m_directory;
    QMap<QString, Odt> m_odt;
    QByteArray m_libreOfficeRtf;
};

void tst_RtfBookmarksLibreOffice::initTestCase()
{
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    QVERIFY(m_directory.isValid());
    const auto document = joinedPages();
    RtfWriteOptions all;
    all.tableOfContents = true;
    all.pageBreaks = true;
    const std::pair<QString, QByteArray> files[] = {
        {u"default"_s, RtfWriter::write(*document)},
        {u"contents"_s, RtfWriter::write(*document, all)}};
    QStringList paths;
    for (const auto &[name, rtf] : files) {
        QFile file(m_directory.filePath(name + u".rtf"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(rtf);
        paths << file.fileName();
    }
    QVERIFY(convert(m_directory, u"fodt"_s, paths, u"odt"_s));
    for (const auto &[name, rtf] : files) {
        QFile file(m_directory.filePath(u"odt/"_s + name + u".fodt"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        m_odt.insert(name, Odt::parse(file.readAll()));
    }
    // LibreOffice's own RTF of the document, from its ODT.
    QVERIFY(
        convert(m_directory, u"rtf"_s, {m_directory.filePath(u"odt/default.fodt"_s)}, u"rtf"_s));
    QFile file(m_directory.filePath(u"rtf/default.rtf"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    m_libreOfficeRtf = file.readAll();
}

void tst_RtfBookmarksLibreOffice::odt_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tables");
    QTest::addColumn<int>("breaks");
    QTest::newRow("default") << u"default"_s << 0 << 0;
    QTest::newRow("contents and breaks") << u"contents"_s << 1 << 1;
}

void tst_RtfBookmarksLibreOffice::odt()
{
    QFETCH(QString, name);
    QFETCH(int, tables);
    QFETCH(int, breaks);
    const Odt odt = m_odt.value(name);
    // A bookmark for each internal link's name, and the links to them.
    for (const QString &bookmark :
         {u"guide_index"_s, u"guide_install"_s, u"concepts"_s, u"setup"_s})
        QVERIFY2(odt.bookmarks.contains(bookmark), qPrintable(odt.bookmarks.join(u' ')));
    QStringList links = odt.hrefs;
    if (tables) {
        // The table of contents' entries come first.
        QVERIFY(links.size() >= 4);
        links = links.mid(links.size() - 4);
    }
    QCOMPARE(links, (QStringList{u"#guide_install"_s, u"#setup"_s, u"https://example.org/"_s,
                                 u"#concepts"_s}));
    QCOMPARE(odt.headings, (QStringList{u"1 Heading 1"_s, u"2 Heading 2"_s, u"1 Heading 1"_s,
                                        u"2 Heading 2"_s, u"3 Heading 3"_s, u"6 Heading 6"_s}));
    QCOMPARE(odt.tables, tables);
    QCOMPARE(odt.breaksBefore, breaks);
    if (breaks)
        QCOMPARE(odt.firstTexts, QStringList{u"Install"_s});
    if (tables)
        QCOMPARE(odt.tocEntries, 5); // the headings of levels 1 to 3
}

// LibreOffice's RTF keeps the bookmarks and internal links; read, written and read again they
// stay.
void tst_RtfBookmarksLibreOffice::libreOfficeRtf()
{
    QVERIFY(m_libreOfficeRtf.contains("bkmkstart"));
    const auto document = read(m_libreOfficeRtf);
    const QStringList places = placesOf(*document);
    for (const QString &bookmark :
         {u"guide_index"_s, u"guide_install"_s, u"concepts"_s, u"setup"_s})
        QVERIFY2(places.contains(bookmark), qPrintable(places.join(u' ')));
    const QStringList links = linksOf(*document);
    QCOMPARE(links, (QStringList{u"#guide_install"_s, u"#setup"_s, u"https://example.org/"_s,
                                 u"#concepts"_s}));
    const QByteArray written = RtfWriter::write(*document);
    const auto again = read(written);
    QCOMPARE(placesOf(*again), places);
    QCOMPARE(linksOf(*again), links);
    QCOMPARE(RtfWriter::write(*again), written);
}

QTEST_MAIN(tst_RtfBookmarksLibreOffice)
#include "tst_rtfbookmarks_libreoffice.moc"
