// Places, bookmarks, internal links, heading styles, the table of contents and page breaks:
// what the writer writes for them and what the reader makes of it, on real documents.

#include "rtfplaces.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A paragraph of a test document: its text, a heading level, the places on its first
// character, and a link over its last word.
struct Para {
    QString text;
    int heading = 0;
    QStringList places;
    QString href;
};
using Paras = QList<Para>;

// Documents with the default size that RTF assumes (12 points), whatever the platform's.
std::unique_ptr<QTextDocument> emptyDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QFont font = document->defaultFont();
    font.setPointSize(12);
    document->setDefaultFont(font);
    return document;
}

std::unique_ptr<QTextDocument> makeDocument(const Paras &paras)
{
    auto document = emptyDocument();
    QTextCursor cursor(document.get());
    bool first = true;
    for (const Para &para : paras) {
        QTextBlockFormat block;
        if (para.heading)
            block.setHeadingLevel(para.heading);
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block, QTextCharFormat());
        first = false;
        QTextCharFormat look;
        if (para.heading) {
            look.setFontPointSize(24 - 2 * para.heading);
            look.setFontWeight(QFont::Bold);
        }
        QString text = para.text;
        QString linked;
        if (!para.href.isEmpty()) {
            const qsizetype space = text.lastIndexOf(u' ');
            linked = text.mid(space + 1);
            text.truncate(space + 1);
        }
        if (!para.places.isEmpty()) {
            QTextCharFormat place = look;
            for (const QString &name : para.places)
                RtfPlaces::addName(place, name);
            if (text.isEmpty() && linked.isEmpty()) {
                cursor.mergeBlockCharFormat(place);
            } else if (text.isEmpty()) {
                place.setAnchorHref(para.href);
                cursor.insertText(linked.left(1), place);
                linked.remove(0, 1);
            } else {
                cursor.insertText(text.left(1), place);
                text.remove(0, 1);
            }
        }
        cursor.insertText(text, look);
        if (!linked.isEmpty()) {
            QTextCharFormat link = look;
            link.setAnchor(true);
            link.setAnchorHref(para.href);
            cursor.insertText(linked, link);
        }
    }
    return document;
}

std::unique_ptr<QTextDocument> read(const QByteArray &rtf)
{
    auto document = emptyDocument();
    QTextCursor cursor(document.get());
    RtfReader::insert(cursor, rtf);
    return document;
}

QStringList matches(const QByteArray &rtf, const QString &pattern)
{
    QStringList found;
    const QRegularExpression expression(pattern);
    auto it = expression.globalMatch(QString::fromLatin1(rtf));
    while (it.hasNext())
        found << it.next().captured(1);
    return found;
}

QStringList bookmarks(const QByteArray &rtf)
{
    return matches(rtf, uR"(\{\\\*\\bkmkstart ([^}]*)\})"_s);
}

QStringList internalLinks(const QByteArray &rtf)
{
    return matches(rtf, uR"re(HYPERLINK \\\\l "([^"]*)")re"_s);
}

QStringList addressLinks(const QByteArray &rtf)
{
    return matches(rtf, uR"re(HYPERLINK "([^"]*)")re"_s);
}

// Every place name of a document with its position, and every link with its position.
QStringList placesOf(const QTextDocument &document)
{
    QStringList all;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (const QString &name : block.charFormat().anchorNames())
            all << u"%1 %2"_s.arg(block.position()).arg(name);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            for (const QString &name : format.anchorNames())
                all << u"%1 %2"_s.arg(it.fragment().position()).arg(name);
        }
    }
    // The names on one character come in no particular order.
    all.sort();
    return all;
}

QStringList linksOf(const QTextDocument &document)
{
    QStringList all;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.anchorHref().isEmpty())
                all << u"%1 %2"_s.arg(it.fragment().position()).arg(format.anchorHref());
        }
    }
    return all;
}

QList<int> headingLevels(const QTextDocument &document)
{
    QList<int> levels;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        levels << block.blockFormat().headingLevel();
    return levels;
}

const QString pageA = u"file:///docs/tutorial/index.html"_s;
const QString pageB = u"file:///docs/tutorial/install.html"_s;

RtfWriteOptions options(bool resolve, bool toc, bool breaks, bool copy)
{
    RtfWriteOptions result;
    result.resolveLinks = resolve;
    result.tableOfContents = toc;
    result.pageBreaks = breaks;
    result.forCopy = copy;
    return result;
}

} // namespace

Q_DECLARE_METATYPE(Paras)

class tst_RtfBookmarks : public QObject {
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void linkTargets_data();
    void linkTargets();
    void copyKeepsKeysAndAddresses();
    void copyOfRange();
    void roundTrip_data();
    void roundTrip();
    void headingStyles();
    void tableOfContents();
    void pageBreaks_data();
    void pageBreaks();
    void foreignRtf_data();
    void foreignRtf();
    void hostileNames_data();
    void hostileNames();
};

// The bookmarks written for places that links reach, named from the id, in document order.
void tst_RtfBookmarks::names_data()
{
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("readable") << QStringList{u"installing-python"_s}
                              << QStringList{u"installing_python"_s};
    QTest::newRow("digit first") << QStringList{u"2nd"_s} << QStringList{u"id_2nd"_s};
    QTest::newRow("accents") << QStringList{u"%C3%BCn%C3%AFcode"_s} << QStringList{u"unicode"_s};
    QTest::newRow("not latin") << QStringList{u"%E6%97%A5%E6%9C%AC"_s} << QStringList{u"place"_s};
    QTest::newRow("sixty characters")
        << QStringList{QString(60, u'a')} << QStringList{QString(40, u'a')};
    QTest::newRow("collision") << QStringList{u"intro"_s, u"Intro"_s, u"intro-"_s}
                               << QStringList{u"intro"_s, u"Intro_2"_s, u"intro_3"_s};
    QTest::newRow("collides with the page")
        << QStringList{u"tutorial_index"_s} << QStringList{u"tutorial_index_2"_s};
}

void tst_RtfBookmarks::names()
{
    QFETCH(QStringList, ids);
    QFETCH(QStringList, expected);
    Paras paras{{u"Start"_s, 0, {pageA}, {}}};
    for (const QString &id : ids) {
        const QString key = RtfPlaces::key(QUrl(pageA + u'#' + id));
        paras.append({u"Section"_s, 2, {key}, {}});
        paras.append({u"see there"_s, 0, {}, key});
    }
    const QByteArray rtf = RtfWriter::write(*makeDocument(paras));
    QCOMPARE(bookmarks(rtf), QStringList{u"tutorial_index"_s} + expected);
    QCOMPARE(internalLinks(rtf), expected);
    for (const QString &name : bookmarks(rtf))
        QVERIFY2(RtfPlaces::isValidBookmarkName(name), qPrintable(name));
}

// Where each link goes, and which places are written: with links resolved, a link into the
// document names its bookmark and other links keep their address.
void tst_RtfBookmarks::linkTargets_data()
{
    QTest::addColumn<bool>("resolve");
    QTest::addColumn<QString>("href");
    QTest::addColumn<QStringList>("bookmarks");
    QTest::addColumn<QStringList>("internal");
    QTest::addColumn<QStringList>("addresses");
    const QStringList pages{u"tutorial_index"_s, u"tutorial_install"_s};
    QTest::newRow("place") << true << pageB + u"#setup"_s << pages + QStringList{u"setup"_s}
                           << QStringList{u"setup"_s} << QStringList();
    QTest::newRow("encoded fragment")
        << true << pageB + u"#set%75p"_s << pages + QStringList{u"setup"_s}
        << QStringList{u"setup"_s} << QStringList();
    QTest::newRow("page") << true << pageB << pages << QStringList{u"tutorial_install"_s}
                          << QStringList();
    QTest::newRow("dot segments") << true << u"file:///docs/x/../tutorial/install.html"_s << pages
                                  << QStringList{u"tutorial_install"_s} << QStringList();
    QTest::newRow("missing place: the page") << true << pageB + u"#nowhere"_s << pages
                                             << QStringList{u"tutorial_install"_s} << QStringList();
    QTest::newRow("outside") << true << u"https://example.org/x#setup"_s << pages << QStringList()
                             << QStringList{u"https://example.org/x#setup"_s};
    QTest::newRow("kept address") << false << pageB + u"#setup"_s << pages << QStringList()
                                  << QStringList{pageB + u"#setup"_s};
}

void tst_RtfBookmarks::linkTargets()
{
    QFETCH(bool, resolve);
    QFETCH(QString, href);
    QFETCH(QStringList, bookmarks);
    QFETCH(QStringList, internal);
    QFETCH(QStringList, addresses);
    const Paras paras{{u"First page"_s, 1, {pageA}, {}},
                      {u"go to it"_s, 0, {}, href},
                      {u"Second page"_s, 1, {pageB}, {}},
                      {u"Setup"_s, 2, {pageB + u"#setup"_s}, {}},
                      {u"Unlinked"_s, 2, {pageB + u"#unlinked"_s}, {}}};
    const QByteArray rtf =
        RtfWriter::write(*makeDocument(paras), options(resolve, false, false, false));
    QCOMPARE(::bookmarks(rtf), bookmarks);
    QCOMPARE(internalLinks(rtf), internal);
    QCOMPARE(addressLinks(rtf), addresses);
    QVERIFY(!rtf.contains("folvane"));
}

// A copy carries every key and each resolved link's address; reading it back gives the same
// places and links, and writing that again the same bytes.
void tst_RtfBookmarks::copyKeepsKeysAndAddresses()
{
    const QString setup = pageB + u"#setup"_s;
    const Paras paras{{u"First page"_s, 1, {pageA, u"_Toc1"_s}, {}},
                      {u"go to setup"_s, 0, {}, setup},
                      {u"and away"_s, 0, {}, u"https://example.org/"_s},
                      {u"Second page"_s, 1, {pageB}, {}},
                      {u"Setup"_s, 2, {setup, pageB + u"#unlinked"_s}, {}},
                      {QString(), 0, {pageB + u"#empty"_s}, {}},
                      {u"back to top"_s, 0, {}, u"#_Toc1"_s}};
    const auto document = makeDocument(paras);
    const QByteArray rtf = RtfWriter::write(*document, options(true, false, false, true));
    QCOMPARE(matches(rtf, uR"(\{\\\*\\folvaneplace ([^}]*)\})"_s),
             (QStringList{pageA, pageB, pageB + u"#unlinked"_s, setup, pageB + u"#empty"_s}));
    QCOMPARE(matches(rtf, uR"(\{\\\*\\folvanelink ([^}]*)\})"_s), QStringList{setup});
    QCOMPARE(internalLinks(rtf), (QStringList{u"setup"_s, u"_Toc1"_s}));

    const auto back = read(rtf);
    QCOMPARE(placesOf(*back), placesOf(*document));
    QCOMPARE(linksOf(*back), linksOf(*document));
    QCOMPARE(RtfWriter::write(*back, options(true, false, false, true)), rtf);
    // Read into the pane and saved, the copy is the document itself.
    QCOMPARE(RtfWriter::write(*back), RtfWriter::write(*document));
}

// A copy of part of a document: only the places inside it are written, and a link to a place
// outside keeps its address.
void tst_RtfBookmarks::copyOfRange()
{
    const Paras paras{{u"First page"_s, 1, {pageA}, {}},
                      {u"Second page"_s, 1, {pageB}, {}},
                      {u"to the first"_s, 0, {}, pageA},
                      {u"to the second"_s, 0, {}, pageB}};
    const auto document = makeDocument(paras);
    const int from = document->findBlockByNumber(1).position();
    const QByteArray rtf = RtfWriter::write(*document, from, document->characterCount(),
                                            options(true, false, true, true));
    QCOMPARE(matches(rtf, uR"(\{\\\*\\folvaneplace ([^}]*)\})"_s), QStringList{pageB});
    QCOMPARE(bookmarks(rtf), QStringList{u"tutorial_install"_s});
    QCOMPARE(addressLinks(rtf), QStringList{pageA});
    QCOMPARE(internalLinks(rtf), QStringList{u"tutorial_install"_s});
    // The copy starts with the page: no break before it.
    QVERIFY(!rtf.contains("\\pagebb"));
}

void tst_RtfBookmarks::roundTrip_data()
{
    QTest::addColumn<Paras>("paras");
    QTest::addColumn<bool>("toc");
    QTest::addColumn<bool>("breaks");
    QTest::addColumn<bool>("copy");
    const Paras pages{{u"First page"_s, 1, {pageA}, {}},
                      {u"see the setup"_s, 0, {}, pageB + u"#setup"_s},
                      {u"Details"_s, 2, {}, {}},
                      {u"Second page"_s, 1, {pageB}, {}},
                      {u"Setup"_s, 2, {pageB + u"#setup"_s, u"own"_s}, {}},
                      {QString(), 0, {u"empty"_s}, {}},
                      {u"Deep"_s, 5, {}, {}},
                      {u"back to own"_s, 0, {}, u"#own"_s}};
    QTest::newRow("plain") << pages << false << false << false;
    QTest::newRow("copy") << pages << false << false << true;
    QTest::newRow("table of contents") << pages << true << false << false;
    QTest::newRow("page breaks") << pages << false << true << false;
    QTest::newRow("everything") << pages << true << true << true;
}

// What is written reads back as a document that writes the same bytes; a table of contents is
// then text of the document (its links and bookmarks kept), written the same on every save.
void tst_RtfBookmarks::roundTrip()
{
    QFETCH(Paras, paras);
    QFETCH(bool, toc);
    QFETCH(bool, breaks);
    QFETCH(bool, copy);
    const RtfWriteOptions chosen = options(true, toc, breaks, copy);
    const QByteArray first = RtfWriter::write(*makeDocument(paras), chosen);
    const auto once = read(first);
    const RtfWriteOptions again = options(true, false, false, copy);
    const QByteArray second = RtfWriter::write(*once, again);
    if (!toc && !breaks)
        QCOMPARE(second, first);
    const auto twice = read(second);
    QCOMPARE(RtfWriter::write(*twice, again), second);
    QCOMPARE(placesOf(*twice), placesOf(*once));
    QCOMPARE(linksOf(*twice), linksOf(*once));
    QCOMPARE(headingLevels(*twice), headingLevels(*once));
}

// Heading paragraphs name the style of their level, keep their look as direct formatting and
// read back at their level; the style sheet has the six heading styles.
void tst_RtfBookmarks::headingStyles()
{
    const Paras paras{{u"Title"_s, 1, {}, {}},
                      {u"text"_s, 0, {}, {}},
                      {u"Part"_s, 2, {}, {}},
                      {u"Level six"_s, 6, {}, {}},
                      {u"Level seven"_s, 7, {}, {}}};
    const QByteArray rtf = RtfWriter::write(*makeDocument(paras));
    for (int level = 1; level <= 6; ++level)
        QVERIFY(rtf.contains(u"{\\s%1\\outlinelevel%2\\sbasedon0\\snext0 heading %1;}"_s.arg(level)
                                 .arg(level - 1)
                                 .toLatin1()));
    QVERIFY(rtf.contains("\\pard\\plain\\s1\\outlinelevel0 {\\fs44\\b Title}"));
    QVERIFY(rtf.contains("\\pard\\plain\\s2\\outlinelevel1 {\\fs40\\b Part}"));
    QVERIFY(rtf.contains("\\pard\\plain\\outlinelevel6 "));
    QCOMPARE(headingLevels(*read(rtf)), (QList<int>{1, 0, 2, 6, 7}));
}

void tst_RtfBookmarks::tableOfContents()
{
    const Paras paras{
        {u"Guide"_s, 1, {pageA}, {}}, {u"Install  it"_s, 2, {pageA + u"#install"_s}, {}},
        {u"text"_s, 0, {}, {}},       {u"Fine print"_s, 4, {}, {}},
        {u"Use it"_s, 3, {}, {}},     {u"Use it"_s, 3, {}, {}}};
    const auto document = makeDocument(paras);
    const QByteArray rtf = RtfWriter::write(*document, options(true, true, false, false));
    QVERIFY(rtf.contains("{\\field{\\*\\fldinst{TOC \\\\o \"1-3\" \\\\h}}{\\fldrslt{"));
    // The entries link to the headings' bookmarks: the page's and the id's where the heading
    // has one, else one named from its text.
    QCOMPARE(internalLinks(rtf),
             (QStringList{u"tutorial_index"_s, u"install"_s, u"Use_it"_s, u"Use_it_2"_s}));
    QCOMPARE(bookmarks(rtf),
             (QStringList{u"tutorial_index"_s, u"install"_s, u"Use_it"_s, u"Use_it_2"_s}));
    const auto back = read(rtf);
    QCOMPARE(back->begin().text(), u"Guide"_s);
    QCOMPARE(back->findBlockByNumber(1).text(), u"Install it"_s);
    QCOMPARE(back->findBlockByNumber(4).text(), u"Guide"_s);
    // Without the option nothing of it is written.
    QVERIFY(!RtfWriter::write(*document).contains("TOC"));
    // A page joined twice: its start is one bookmark, and the second heading has its own.
    const Paras twice{{u"Guide"_s, 1, {pageA}, {}}, {u"Guide"_s, 1, {pageA}, {}}};
    const QByteArray again =
        RtfWriter::write(*makeDocument(twice), options(true, true, false, false));
    QCOMPARE(internalLinks(again), (QStringList{u"tutorial_index"_s, u"Guide"_s}));
    QCOMPARE(bookmarks(again), (QStringList{u"tutorial_index"_s, u"Guide"_s}));
    // Nor is a table of contents without headings.
    const QTextDocument empty;
    QVERIFY(!RtfWriter::write(empty, options(true, true, false, false)).contains("TOC"));
}

void tst_RtfBookmarks::pageBreaks_data()
{
    QTest::addColumn<bool>("breaks");
    QTest::addColumn<int>("expected");
    QTest::newRow("asked") << true << 2;
    QTest::newRow("not asked") << false << 0;
}

// A page break before each page but the first.
void tst_RtfBookmarks::pageBreaks()
{
    QFETCH(bool, breaks);
    QFETCH(int, expected);
    const Paras paras{{u"One"_s, 1, {pageA}, {}},
                      {u"text"_s, 0, {pageA + u"#x"_s}, {}},
                      {u"Two"_s, 1, {pageB}, {}},
                      {u"Three"_s, 1, {u"file:///c.html"_s}, {}}};
    const QByteArray rtf =
        RtfWriter::write(*makeDocument(paras), options(true, false, breaks, false));
    QCOMPARE(rtf.count("\\pagebb"), expected);
    if (breaks) {
        QVERIFY(rtf.contains("\\pagebb {\\*\\bkmkstart tutorial_install}"));
        const auto back = read(rtf);
        QCOMPARE(back->findBlockByNumber(2).blockFormat().pageBreakPolicy(),
                 QTextFormat::PageBreak_AlwaysBefore);
        QCOMPARE(back->begin().blockFormat().pageBreakPolicy(), QTextFormat::PageBreak_Auto);
    }
}

// RTF from elsewhere: its bookmarks become places named as they were, HYPERLINK \l links to
// "#name", and its heading styles (whatever their case, or by outline level) heading levels.
void tst_RtfBookmarks::foreignRtf_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QStringList>("places");
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QList<int>>("levels");
    const QByteArray sheet = "{\\stylesheet{\\ql Normal;}{\\s1\\ql\\b\\fs32 Heading 1;}"
                             "{\\s2 heading 2;}{\\s3\\outlinelevel2 Chapter;}{\\s4 Body;}}";
    QTest::newRow("word")
        << QByteArray("{\\rtf1\\ansi" + sheet +
                      "\\pard\\s1 {\\*\\bkmkstart _Toc1}Title{\\*\\bkmkend _Toc1}\\par"
                      "\\pard\\s4 See {\\field{\\*\\fldinst HYPERLINK \\\\l \"_Toc1\"}"
                      "{\\fldrslt the title}}\\par"
                      "\\pard\\s2 Sub\\par\\pard\\s3 Chap\\par\\pard\\s9 odd{\\*\\bkmkstart end}"
                      "\\par}")
        << QStringList{u"0 _Toc1"_s, u"31 end"_s} << QStringList{u"10 #_Toc1"_s}
        << QList<int>{1, 0, 2, 3, 0};
    QTest::newRow("empty paragraph")
        << QByteArray("{\\rtf1\\ansi a\\par{\\*\\bkmkstart here}{\\*\\bkmkend here}\\par b\\par}")
        << QStringList{u"2 here"_s} << QStringList() << QList<int>{0, 0, 0};
    QTest::newRow("key without bookmark")
        << QByteArray("{\\rtf1\\ansi {\\*\\folvaneplace file:///a.html}a"
                      "{\\*\\bkmkstart b}b{\\*\\folvaneplace file:///a.html#c}\\par}")
        << QStringList{u"0 file:///a.html"_s, u"1 b"_s, u"1 file:///a.html#c"_s} << QStringList()
        << QList<int>{0};
}

void tst_RtfBookmarks::foreignRtf()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QStringList, places);
    QFETCH(QStringList, links);
    QFETCH(QList<int>, levels);
    const auto document = read(rtf);
    QStringList found = placesOf(*document);
    found.sort();
    places.sort();
    QCOMPARE(found, places);
    QCOMPARE(linksOf(*document), links);
    QCOMPARE(headingLevels(*document), levels);
    // Written and read again, they stay.
    const QByteArray written = RtfWriter::write(*document);
    const auto again = read(written);
    QCOMPARE(linksOf(*again), linksOf(*document));
    QCOMPARE(RtfWriter::write(*again), written);
}

// Names no one can use as they are: made valid and unique, and links follow them.
void tst_RtfBookmarks::hostileNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("huge") << QByteArray(1'000'000, 'x');
    QTest::newRow("spaces and quotes") << QByteArray("a \\'22b\\'22 c");
    QTest::newRow("braces") << QByteArray("\\{x\\}");
    QTest::newRow("control characters") << QByteArray("\\'01\\'02");
    QTest::newRow("unicode") << QByteArray("\\u1234?\\u-2?");
    QTest::newRow("nested group") << QByteArray("{\\b x}{\\*\\bkmkstart y}");
    QTest::newRow("unbalanced") << QByteArray("{{{{");
}

void tst_RtfBookmarks::hostileNames()
{
    QFETCH(QByteArray, name);
    const QByteArray rtf = "{\\rtf1\\ansi {\\*\\bkmkstart " + name +
                           "}A\\par "
                           "{\\field{\\*\\fldinst HYPERLINK \\\\l \"" +
                           name + "\"}{\\fldrslt link}}{\\*\\bkmkstart " + name + "}\\par}";
    const auto document = read(rtf);
    const QByteArray written = RtfWriter::write(*document);
    for (const QString &bookmark : bookmarks(written))
        QVERIFY2(RtfPlaces::isValidBookmarkName(bookmark) || bookmark.startsWith(u'_'),
                 qPrintable(bookmark.left(80)));
    const QStringList names = bookmarks(written);
    QCOMPARE(names.size(), QSet<QString>(names.cbegin(), names.cend()).size());
    const auto again = read(written);
    QCOMPARE(RtfWriter::write(*again), written);
}

QTEST_MAIN(tst_RtfBookmarks)
#include "tst_rtfbookmarks.moc"
