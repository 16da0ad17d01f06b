#include "rtfformat.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

namespace {

// Blocks of the document joined by '\n', characters as they are (no nbsp folding).
QString blockText(const QTextDocument &doc)
{
    QStringList blocks;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        blocks.append(b.text());
    return blocks.join(u'\n');
}

RtfReadResult read(QTextDocument &doc, const QByteArray &rtf)
{
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    return RtfReader::insert(cursor, rtf);
}

QByteArray rtf(const QByteArray &body)
{
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss "
           "Arial;}{\\f1\\froman\\fcharset0 "
           "Times New Roman;}}{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}" +
           body + "}";
}

QTextCharFormat formatAt(QTextDocument &doc, const QString &word)
{
    const QString text = doc.toRawText();
    const qsizetype at = text.indexOf(word);
    if (at < 0)
        return {};
    QTextCursor c(&doc);
    c.setPosition(int(at) + 1);
    return c.charFormat();
}

QTextBlock blockAt(QTextDocument &doc, int index)
{
    QTextBlock b = doc.begin();
    for (int i = 0; i < index && b.isValid(); ++i)
        b = b.next();
    return b;
}

QByteArray encoded(const char *format, QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// The folder of this file, found as Qt Test finds test data: __FILE__ is relative when the
// compiler is run through a cache that rewrites paths.
QDir sourceDir()
{
    return QFileInfo(QFINDTESTDATA("tst_rtfreader.cpp")).absoluteDir();
}

bool hasError(const RtfReadResult &r, RtfError::Code code)
{
    return std::any_of(r.errors.begin(), r.errors.end(),
                       [code](const RtfError &e) { return e.code == code; });
}

} // namespace

class tst_RtfReader : public QObject {
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void characterFormat_data();
    void characterFormat();
    void paragraphFormat_data();
    void paragraphFormat();
    void lists_data();
    void lists();
    void longListKeepsNumbering();
    void tables();
    void mergedCells();
    void nestedTable();
    void pictures();
    void unsupportedPicture();
    void hyperlink();
    void wordStyleFile();
    void plainText_data();
    void plainText();
    void insertReplacesSelection();
    void insertTwiceAppends();
    void insertInsideParagraph();
    void stringInput();
    void robustness_data();
    void robustness();
    void deepNestingUsesNoStack();
    void randomGarbage();
    void fuzzRegressions();
};

void tst_RtfReader::text_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << rtf("Hello world") << "Hello world";
    QTest::newRow("paragraphs") << rtf("one\\par two\\par three") << "one\ntwo\nthree";
    QTest::newRow("escapes") << rtf("a\\\\b\\{c\\}") << "a\\b{c}";
    QTest::newRow("line ends ignored") << rtf("ab\r\ncd\nef") << "abcdef";
    QTest::newRow("line and tab") << rtf("a\\line b\\tab c") << u"a\u2028b\tc"_qs;
    QTest::newRow("special symbols")
        << rtf("\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~\\_")
        << u"\u2014\u2013\u2022\u2018\u2019\u201c\u201d\u00a0\u2011"_qs;
    QTest::newRow("cp1252 hex") << rtf("caf\\'e9 \\'80") << u"café €"_qs;
    QTest::newRow("raw high byte in code page") << rtf("caf\xe9") << u"café"_qs;
    QTest::newRow("cp1250") << QByteArray("{\\rtf1\\ansi\\ansicpg1250 \\'e8\\'9a\\'f8}")
                            << u"čšř"_qs;
    QTest::newRow("cp1251") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}")
                            << u"При"_qs;
    QTest::newRow("cp1253") << QByteArray("{\\rtf1\\ansi\\ansicpg1253 \\'e1\\'e2}") << u"αβ"_qs;
    QTest::newRow("cp1254") << QByteArray("{\\rtf1\\ansi\\ansicpg1254 \\'f0\\'fe}") << u"ğş"_qs;
    QTest::newRow("cp1255") << QByteArray("{\\rtf1\\ansi\\ansicpg1255 \\'e0}") << u"א"_qs;
    QTest::newRow("cp1256") << QByteArray("{\\rtf1\\ansi\\ansicpg1256 \\'c7}") << u"ا"_qs;
    QTest::newRow("cp1257") << QByteArray("{\\rtf1\\ansi\\ansicpg1257 \\'e0}") << u"ą"_qs;
    QTest::newRow("cp1258") << QByteArray("{\\rtf1\\ansi\\ansicpg1258 \\'e2}") << u"â"_qs;
    QTest::newRow("font charset 238 overrides ansicpg")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 Arial "
                      "CE;}}\\f1 \\'e8{\\f0 \\'e8}}")
        << u"čè"_qs;
    QTest::newRow("font charset 204")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset204 Arial;}}\\f0 \\'c4\\'e0}")
        << u"Да"_qs;
    QTest::newRow("default font charset")
        << QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fcharset161 Arial;}}\\'e1}") << u"α"_qs;
    QTest::newRow("shift-jis double byte")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 MS Mincho;}}\\f0 "
                      "\\'82\\'a0\\'93\\'fa\\'96\\'7b}")
        << u"あ日本"_qs;
    QTest::newRow("shift-jis lead byte with ascii trail")
        << QByteArray("{\\rtf1\\ansi\\ansicpg932 \\'83\\'4e}") << u"ク"_qs;
    QTest::newRow("gbk") << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset134 SimSun;}}\\f0 "
                                       "\\'c4\\'e3\\'ba\\'c3}")
                         << u"你好"_qs;
    QTest::newRow("big5") << QByteArray("{\\rtf1\\ansi\\ansicpg950 \\'a7\\'41\\'a6\\'6e}")
                          << u"你好"_qs;
    QTest::newRow("korean") << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset129 Gulim;}}\\f0 "
                                          "\\'c7\\'d1}")
                            << u"한"_qs;
    QTest::newRow("thai") << QByteArray("{\\rtf1\\ansi\\ansicpg874 \\'a1}") << u"ก"_qs;
    QTest::newRow("mac") << QByteArray("{\\rtf1\\mac \\'8e}") << u"é"_qs;
    QTest::newRow("pc") << QByteArray("{\\rtf1\\pc \\'82}") << u"é"_qs;
    QTest::newRow("unicode") << rtf("\\u8364?\\u233?") << u"€é"_qs;
    QTest::newRow("unicode negative") << rtf("\\u-3913?") << u"\uF0B7"_qs;
    QTest::newRow("unicode surrogates") << rtf("\\u-10179?\\u-8704?") << u"😀"_qs;
    QTest::newRow("uc2 skips two") << rtf("\\uc2\\u8364ab c") << u"€ c"_qs;
    QTest::newRow("uc0 skips none") << rtf("\\uc0\\u8364ab") << u"€ab"_qs;
    QTest::newRow("uc skip stops at group end") << rtf("{\\uc3\\u8364 a}bc") << u"€bc"_qs;
    QTest::newRow("uc is scoped to the group") << rtf("{\\uc2 x}\\u8364ab") << u"x€b"_qs;
    QTest::newRow("uc skip counts hex as one") << rtf("\\uc1\\u8364\\'80x") << u"€x"_qs;
    QTest::newRow("uc skip counts control word as one")
        << rtf("\\uc1\\u8364\\emdash x") << u"€x"_qs;
    QTest::newRow("stylesheet info generator skipped")
        << rtf("{\\stylesheet{\\s0 Normal;}{\\s1 Heading;}}{\\info{\\title T}{\\author "
               "A}}{\\*\\generator Gen;}body")
        << "body";
    QTest::newRow("unknown starred destination skipped")
        << rtf("a{\\*\\foobar secret {\\nested deeper}}b") << "ab";
    QTest::newRow("unknown word ignored, text kept") << rtf("a{\\foobar b}c") << "abc";
    QTest::newRow("known destinations skipped")
        << rtf("a{\\header H}{\\footnote F}{\\*\\bkmkstart x}{\\*\\bkmkend x}b") << "ab";
    QTest::newRow("bin skipped outside pictures") << rtf("a{\\*\\x \\bin3 }}}}b") << "ab";
    QTest::newRow("bin data with braces") << rtf("a{\\bin4 {\\}x}b") << "ab";
    QTest::newRow("field result shown") << rtf("{\\field{\\*\\fldinst PAGE}{\\fldrslt 7}}") << "7";
    QTest::newRow("hidden text") << rtf("a{\\v hidden}b") << "ab";
    QTest::newRow("pntext shown without list") << rtf("{\\pntext 1.\\tab}item") << "1. item";
    QTest::newRow("listtext skipped") << rtf("{\\listtext 1.\\tab}item") << "item";
    QTest::newRow("shppict kept, nonshppict skipped")
        << rtf("a{\\*\\shppict x}{\\nonshppict y}b") << "axb";
    QTest::newRow("upr keeps unicode part") << rtf("{\\upr{ansi}{\\*\\ud{uni}}}") << "uni";
    QTest::newRow("control characters") << rtf(QByteArray("a\x01"
                                                          "b",
                                                          3))
                                        << "a b";
    QTest::newRow("structural characters are not text")
        << QByteArray("{\\rtf1 a\\u65532?b\\u8233?c}") << u"a\uFFFDb\u2028c"_qs;
}

void tst_RtfReader::text()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QTextDocument doc;
    const RtfReadResult result = read(doc, input);
    QVERIFY(result.isRtf);
    QCOMPARE(blockText(doc), expected);
}

void tst_RtfReader::characterFormat_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("property");
    QTest::addColumn<QVariant>("expected"); // invalid: the property must be unset

    const int weight = QTextFormat::FontWeight;
    QTest::newRow("bold") << rtf("{\\b bold}x") << "bold" << weight << QVariant(700);
    QTest::newRow("bold off") << rtf("\\b a\\b0 off") << "off" << weight << QVariant();
    QTest::newRow("group end restores") << rtf("{\\b a}after") << "after" << weight << QVariant();
    QTest::newRow("plain resets") << rtf("\\b\\i a\\plain plain") << "plain" << weight
                                  << QVariant();
    QTest::newRow("italic") << rtf("\\i it") << "it" << int(QTextFormat::FontItalic)
                            << QVariant(true);
    QTest::newRow("underline") << rtf("\\ul u") << "u" << int(QTextFormat::TextUnderlineStyle)
                               << QVariant(int(QTextCharFormat::SingleUnderline));
    QTest::newRow("underline wave")
        << rtf("\\ulwave u") << "u" << int(QTextFormat::TextUnderlineStyle)
        << QVariant(int(QTextCharFormat::WaveUnderline));
    QTest::newRow("ulnone") << rtf("\\ul a\\ulnone none") << "none"
                            << int(QTextFormat::TextUnderlineStyle) << QVariant();
    QTest::newRow("ul0") << rtf("\\ul a\\ul0 none") << "none"
                         << int(QTextFormat::TextUnderlineStyle) << QVariant();
    QTest::newRow("strike") << rtf("\\strike s") << "s" << int(QTextFormat::FontStrikeOut)
                            << QVariant(true);
    QTest::newRow("super") << rtf("x\\super s") << "s" << int(QTextFormat::TextVerticalAlignment)
                           << QVariant(int(QTextCharFormat::AlignSuperScript));
    QTest::newRow("sub") << rtf("x\\sub s") << "s" << int(QTextFormat::TextVerticalAlignment)
                         << QVariant(int(QTextCharFormat::AlignSubScript));
    QTest::newRow("nosupersub") << rtf("\\sub x\\nosupersub n") << "n"
                                << int(QTextFormat::TextVerticalAlignment) << QVariant();
    QTest::newRow("caps") << rtf("\\caps c") << "c" << int(QTextFormat::FontCapitalization)
                          << QVariant(int(QFont::AllUppercase));
    QTest::newRow("scaps") << rtf("\\scaps c") << "c" << int(QTextFormat::FontCapitalization)
                           << QVariant(int(QFont::SmallCaps));
    QTest::newRow("font size") << rtf("\\fs36 big") << "big" << int(QTextFormat::FontPointSize)
                               << QVariant(18.0);
    QTest::newRow("font family") << rtf("\\f1 serif") << "serif" << int(QTextFormat::FontFamilies)
                                 << QVariant(QStringList{"Times New Roman"});
    QTest::newRow("foreground") << rtf("\\cf1 red") << "red" << int(QTextFormat::ForegroundBrush)
                                << QVariant(QBrush(QColor(255, 0, 0)));
    QTest::newRow("cf0 is automatic")
        << rtf("\\cf1 a\\cf0 auto") << "auto" << int(QTextFormat::ForegroundBrush) << QVariant();
    QTest::newRow("cb") << rtf("\\cb2 bg") << "bg" << int(QTextFormat::BackgroundBrush)
                        << QVariant(QBrush(QColor(0, 0, 255)));
    QTest::newRow("chcbpat") << rtf("\\chcbpat1 bg") << "bg" << int(QTextFormat::BackgroundBrush)
                             << QVariant(QBrush(QColor(255, 0, 0)));
    QTest::newRow("highlight") << rtf("\\highlight2 bg") << "bg"
                               << int(QTextFormat::BackgroundBrush)
                               << QVariant(QBrush(QColor(0, 0, 255)));
    QTest::newRow("colour index out of range")
        << rtf("\\cf99 x") << "x" << int(QTextFormat::ForegroundBrush) << QVariant();
}

void tst_RtfReader::characterFormat()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, word);
    QFETCH(int, property);
    QFETCH(QVariant, expected);
    QTextDocument doc;
    read(doc, input);
    const QTextCharFormat f = formatAt(doc, word);
    QVERIFY2(doc.toRawText().contains(word), qPrintable(doc.toRawText()));
    if (!expected.isValid())
        QVERIFY2(!f.hasProperty(property), qPrintable(f.property(property).toString()));
    else
        QCOMPARE(f.property(property), expected);
}

void tst_RtfReader::paragraphFormat_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("property");
    QTest::addColumn<QVariant>("expected");

    const int align = QTextFormat::BlockAlignment;
    QTest::newRow("center") << rtf("\\qc c\\par") << 0 << align << QVariant(int(Qt::AlignHCenter));
    QTest::newRow("right") << rtf("\\qr r\\par") << 0 << align << QVariant(int(Qt::AlignRight));
    QTest::newRow("justify") << rtf("\\qj j\\par") << 0 << align << QVariant(int(Qt::AlignJustify));
    QTest::newRow("pard resets") << rtf("\\qc c\\par\\pard n\\par") << 1 << align << QVariant();
    QTest::newRow("paragraph props carry on")
        << rtf("\\qc c\\par n\\par") << 1 << align << QVariant(int(Qt::AlignHCenter));
    QTest::newRow("format of last paragraph without mark")
        << rtf("\\qr last") << 0 << align << QVariant(int(Qt::AlignRight));
    QTest::newRow("left indent") << rtf("\\li300 x\\par") << 0 << int(QTextFormat::BlockLeftMargin)
                                 << QVariant(20.0);
    QTest::newRow("right indent") << rtf("\\ri150 x\\par") << 0
                                  << int(QTextFormat::BlockRightMargin) << QVariant(10.0);
    QTest::newRow("first indent") << rtf("\\fi-225 x\\par") << 0 << int(QTextFormat::TextIndent)
                                  << QVariant(-15.0);
    QTest::newRow("space before") << rtf("\\sb240 x\\par") << 0 << int(QTextFormat::BlockTopMargin)
                                  << QVariant(16.0);
    QTest::newRow("space after") << rtf("\\sa120 x\\par") << 0
                                 << int(QTextFormat::BlockBottomMargin) << QVariant(8.0);
    QTest::newRow("line multiple")
        << rtf("\\sl360\\slmult1 x\\par") << 0 << int(QTextFormat::LineHeight) << QVariant(150.0);
    QTest::newRow("line multiple type")
        << rtf("\\slmult1\\sl480 x\\par") << 0 << int(QTextFormat::LineHeightType)
        << QVariant(int(QTextBlockFormat::ProportionalHeight));
    QTest::newRow("line exact") << rtf("\\sl-300\\slmult0 x\\par") << 0
                                << int(QTextFormat::LineHeightType)
                                << QVariant(int(QTextBlockFormat::FixedHeight));
    QTest::newRow("line at least")
        << rtf("\\sl300\\slmult0 x\\par") << 0 << int(QTextFormat::LineHeightType)
        << QVariant(int(QTextBlockFormat::MinimumHeight));
    QTest::newRow("pagebb") << rtf("a\\par\\pagebb b\\par") << 1
                            << int(QTextFormat::PageBreakPolicy)
                            << QVariant(int(QTextFormat::PageBreak_AlwaysBefore));
    QTest::newRow("page break") << rtf("a\\par\\page b\\par") << 1
                                << int(QTextFormat::PageBreakPolicy)
                                << QVariant(int(QTextFormat::PageBreak_AlwaysBefore));
    QTest::newRow("page break inside paragraph")
        << rtf("a\\page b\\par") << 1 << int(QTextFormat::PageBreakPolicy)
        << QVariant(int(QTextFormat::PageBreak_AlwaysBefore));
    QTest::newRow("paragraph background")
        << rtf("\\cbpat2 x\\par") << 0 << int(QTextFormat::BackgroundBrush)
        << QVariant(QBrush(QColor(0, 0, 255)));
    QTest::newRow("preformatted") << rtf("\\keep x\\line  y\\par") << 0
                                  << int(QTextFormat::BlockNonBreakableLines) << QVariant(true);
    QTest::newRow("heading") << rtf("\\outlinelevel1 h\\par") << 0 << int(QTextFormat::HeadingLevel)
                             << QVariant(2);
    const QList<QTextOption::Tab> tabs{QTextOption::Tab(100, QTextOption::RightTab),
                                       QTextOption::Tab(200, QTextOption::CenterTab),
                                       QTextOption::Tab(300, QTextOption::LeftTab)};
    QTest::newRow("tabs") << rtf("\\tqr\\tx1500\\tqc\\tx3000\\tx4500 a\\tab b\\par") << 0
                          << int(QTextFormat::TabPositions) << QVariant::fromValue(tabs);
}

void tst_RtfReader::paragraphFormat()
{
    QFETCH(QByteArray, input);
    QFETCH(int, block);
    QFETCH(int, property);
    QFETCH(QVariant, expected);
    QTextDocument doc;
    read(doc, input);
    const QTextBlockFormat f = blockAt(doc, block).blockFormat();
    if (!expected.isValid()) {
        QVERIFY(!f.hasProperty(property));
    } else if (property == QTextFormat::TabPositions) {
        QCOMPARE(f.tabPositions(), expected.value<QList<QTextOption::Tab>>());
    } else if (expected.typeId() == QMetaType::Double) {
        QCOMPARE(f.doubleProperty(property), expected.toDouble());
    } else {
        QCOMPARE(f.property(property), expected);
    }
}

void tst_RtfReader::lists_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("indent");
    QTest::addColumn<int>("start");

    const QByteArray table =
        "{\\*\\listtable"
        "{\\list\\listtemplateid1{\\listlevel\\levelnfc0\\levelstartat3{\\leveltext\\'02\\'00.;}"
        "{\\levelnumbers\\'01;}\\fi-360\\li720}"
        "{\\listlevel\\levelnfc4\\levelstartat1{\\leveltext\\'02\\'01.;}}\\listid10}"
        "{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u9675 ?;}}\\listid20}"
        "{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u9642 ?;}}\\listid30}"
        "{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\'b7;}}"
        "{\\listlevel\\levelnfc2{\\leveltext\\'02\\'01.;}}{\\listlevel\\levelnfc3}\\listid40}}"
        "{\\*\\listoverridetable{\\listoverride\\listid10\\listoverridecount0\\ls1}"
        "{\\listoverride\\listid20\\ls2}{\\listoverride\\listid30\\ls3}"
        "{\\listoverride\\listid40\\ls4}}";
    const QByteArray items = "\\pard\\ls1\\li720\\fi-360{\\listtext 3.\\tab}one\\par"
                             "\\pard\\ls1\\ilvl1 {\\listtext a.\\tab}sub\\par"
                             "\\pard\\ls2 circle\\par"
                             "\\pard\\ls3 square\\par"
                             "\\pard\\ls4 disc\\par"
                             "\\pard\\ls4\\ilvl1 roman\\par"
                             "\\pard\\ls4\\ilvl2 alpha\\par"
                             "\\pard after\\par";
    const QByteArray doc = rtf(table + items);
    QTest::newRow("decimal start") << doc << 0 << int(QTextListFormat::ListDecimal) << 1 << 3;
    QTest::newRow("nested level") << doc << 1 << int(QTextListFormat::ListLowerAlpha) << 2 << 1;
    QTest::newRow("circle") << doc << 2 << int(QTextListFormat::ListCircle) << 1 << 1;
    QTest::newRow("square") << doc << 3 << int(QTextListFormat::ListSquare) << 1 << 1;
    QTest::newRow("disc") << doc << 4 << int(QTextListFormat::ListDisc) << 1 << 1;
    QTest::newRow("lower roman") << doc << 5 << int(QTextListFormat::ListLowerRoman) << 2 << 1;
    QTest::newRow("upper alpha") << doc << 6 << int(QTextListFormat::ListUpperAlpha) << 3 << 1;
    QTest::newRow("not a list") << doc << 7 << 0 << 0 << 0;

    const QByteArray pn =
        rtf("{\\pntext\\f1 \\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'b7}}"
            "\\li720\\fi-360 bullet\\par"
            "\\pard{\\pntext 5.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart5{\\pntxta "
            ".}}numbered\\par"
            "\\pard{\\*\\pn\\pnlvl2\\pnlcrm}roman\\par"
            "\\pard{\\*\\pn\\pnlvlblt{\\pntxtb o}}circle\\par");
    QTest::newRow("pn bullet") << pn << 0 << int(QTextListFormat::ListDisc) << 1 << 1;
    QTest::newRow("pn decimal start") << pn << 1 << int(QTextListFormat::ListDecimal) << 1 << 5;
    QTest::newRow("pn level") << pn << 2 << int(QTextListFormat::ListLowerRoman) << 2 << 1;
    QTest::newRow("pn circle") << pn << 3 << int(QTextListFormat::ListCircle) << 1 << 1;
}

void tst_RtfReader::lists()
{
    QFETCH(QByteArray, input);
    QFETCH(int, block);
    QFETCH(int, style);
    QFETCH(int, indent);
    QFETCH(int, start);
    QTextDocument doc;
    read(doc, input);
    const QTextBlock b = blockAt(doc, block);
    QVERIFY(b.isValid());
    // Marker text (\listtext, \pntext) is not part of a real list item.
    QVERIFY2(!b.text().contains(u'\t'), qPrintable(b.text()));
    QTextList *list = b.textList();
    if (style == 0) {
        QVERIFY(!list);
        return;
    }
    QVERIFY2(list, qPrintable(b.text()));
    QCOMPARE(int(list->format().style()), style);
    QCOMPARE(list->format().indent(), indent);
    const int actualStart = list->format().hasProperty(RtfFormat::ListStart)
                                ? list->format().intProperty(RtfFormat::ListStart)
                                : 1;
    QCOMPARE(actualStart, start);
    // The list supplies the indent; the paragraph's own \li would indent it twice.
    QCOMPARE(b.blockFormat().leftMargin(), 0.0);
}

void tst_RtfReader::longListKeepsNumbering()
{
    QByteArray body = "{\\*\\listtable{\\list{\\listlevel\\levelnfc0\\levelstartat5}\\listid7}}"
                      "{\\*\\listoverridetable{\\listoverride\\listid7\\ls1}}";
    const int items = 700;
    for (int i = 0; i < items; ++i)
        body += "\\pard\\ls1 item\\par";
    QTextDocument doc;
    read(doc, rtf(body));
    int expected = 5;
    for (QTextBlock b = doc.begin(); b.isValid() && b.textList(); b = b.next(), ++expected) {
        const QTextListFormat f = b.textList()->format();
        const int start =
            f.hasProperty(RtfFormat::ListStart) ? f.intProperty(RtfFormat::ListStart) : 1;
        QCOMPARE(start + b.textList()->itemNumber(b), expected);
        QCOMPARE(f.style(), QTextListFormat::ListDecimal);
    }
    QCOMPARE(expected, 5 + items);
}

void tst_RtfReader::tables()
{
    QTextDocument doc;
    read(doc, rtf("before\\par"
                  "\\trowd\\trgaph75\\trhdr\\clbrdrt\\brdrs\\brdrw15\\clcbpat1\\cellx1500"
                  "\\clbrdrt\\brdrs\\brdrw15\\cellx3000"
                  "\\pard\\intbl A1\\cell B1\\par second\\cell\\row"
                  "\\trowd\\cellx1500\\cellx3000\\intbl A2\\cell {\\b B2}\\cell\\row"
                  "\\pard after\\par"));
    QTextTable *table = nullptr;
    for (QTextFrame *f : doc.rootFrame()->childFrames())
        table = table ? table : qobject_cast<QTextTable *>(f);
    QVERIFY(table);
    QCOMPARE(table->rows(), 2);
    QCOMPARE(table->columns(), 2);
    auto cellText = [&](int r, int c) {
        QTextCursor a = table->cellAt(r, c).firstCursorPosition();
        a.setPosition(table->cellAt(r, c).lastPosition(), QTextCursor::KeepAnchor);
        return a.selectedText();
    };
    QCOMPARE(cellText(0, 0), "A1");
    QCOMPARE(cellText(0, 1), u"B1\u2029second"_qs);
    QCOMPARE(cellText(1, 1), "B2");
    QCOMPARE(table->cellAt(0, 0).format().background().color(), QColor(255, 0, 0));
    QCOMPARE(table->format().headerRowCount(), 1);
    QCOMPARE(table->format().cellPadding(), 5.0);
    QCOMPARE(table->format().border(), 1.0);
    QCOMPARE(table->format().columnWidthConstraints().size(), 2);
    QCOMPARE(table->format().columnWidthConstraints().at(1).rawValue(), 100.0);
    QVERIFY(formatAt(doc, "B2").fontWeight() == QFont::Bold);
    QCOMPARE(blockText(doc), u"before\nA1\nB1\nsecond\nA2\nB2\nafter"_qs);
    QCOMPARE(doc.begin().text(), "before");
    QCOMPARE(doc.lastBlock().text(), "after");
}

void tst_RtfReader::mergedCells()
{
    QTextDocument doc;
    // Row 1: a horizontally merged pair and a cell that starts a vertical merge;
    // row 2: cells of different widths (on the same grid) and the continued merge.
    read(doc, rtf("\\trowd\\clmgf\\cellx1000\\clmrg\\cellx2000\\clvmgf\\cellx3000"
                  "\\intbl wide\\cell\\cell tall\\cell\\row"
                  "\\trowd\\cellx1000\\cellx2000\\clvmrg\\cellx3000"
                  "\\intbl a\\cell b\\cell\\cell\\row"
                  "\\trowd\\cellx2000\\cellx3000\\intbl span by width\\cell c\\cell\\row\\pard"));
    QTextTable *table = qobject_cast<QTextTable *>(doc.rootFrame()->childFrames().value(0));
    QVERIFY(table);
    QCOMPARE(table->rows(), 3);
    QCOMPARE(table->columns(), 3);
    QCOMPARE(table->cellAt(0, 0).columnSpan(), 2);
    QCOMPARE(table->cellAt(0, 2).rowSpan(), 2);
    QCOMPARE(table->cellAt(1, 0).columnSpan(), 1);
    QCOMPARE(table->cellAt(2, 0).columnSpan(), 2);
    QCOMPARE(blockText(doc), u"\nwide\ntall\na\nb\nspan by width\nc\n"_qs);
}

void tst_RtfReader::nestedTable()
{
    QTextDocument doc;
    read(doc, rtf("\\trowd\\cellx2000\\cellx4000"
                  "\\pard\\intbl outer\\par"
                  "\\pard\\intbl\\itap2 "
                  "n1\\nestcell{\\nonesttables\\par}n2\\nestcell{\\nonesttables\\par}"
                  "\\pard\\intbl\\itap2{\\*\\nesttableprops\\trowd\\cellx900\\cellx1800\\nestrow}"
                  "{\\nonesttables\\par}"
                  "\\pard\\intbl\\itap2 n3\\nestcell n4\\nestcell"
                  "{\\*\\nesttableprops\\trowd\\cellx900\\cellx1800\\nestrow}"
                  "\\pard\\intbl tail\\cell\\pard\\intbl right\\cell"
                  "\\trowd\\cellx2000\\cellx4000\\row\\pard"));
    QTextTable *outer = qobject_cast<QTextTable *>(doc.rootFrame()->childFrames().value(0));
    QVERIFY(outer);
    QCOMPARE(outer->rows(), 1);
    QCOMPARE(outer->columns(), 2);
    QTextTable *inner = qobject_cast<QTextTable *>(outer->childFrames().value(0));
    QVERIFY(inner);
    QCOMPARE(inner->rows(), 2);
    QCOMPARE(inner->columns(), 2);
    QCOMPARE(inner->cellAt(1, 1).firstCursorPosition().block().text(), "n4");
    QCOMPARE(blockText(doc), u"\nouter\nn1\nn2\nn3\nn4\ntail\nright\n"_qs);
}

void tst_RtfReader::pictures()
{
    const QByteArray png = encoded("PNG", QSize(4, 3), Qt::red);
    const QByteArray jpeg = encoded("JPEG", QSize(5, 5), Qt::blue);
    QTextDocument doc;
    read(doc, rtf("a{\\pict\\pngblip\\picw4\\pich3\\picwgoal600\\pichgoal450\n" + png.toHex() +
                  "}b{\\*\\shppict{\\pict\\jpegblip\\picscalex50\\picscaley200\\picwgoal1500"
                  "\\pichgoal1500\\bin" +
                  QByteArray::number(jpeg.size()) + " " + jpeg +
                  "}}{\\nonshppict{\\pict\\wmetafile8 0102}}c"));
    QCOMPARE(doc.toRawText(), u"a\uFFFCb\uFFFCc"_qs);
    QTextCursor c(&doc);
    c.setPosition(2);
    const QTextImageFormat first = c.charFormat().toImageFormat();
    QVERIFY(first.isValid());
    QCOMPARE(first.width(), 40.0);
    QCOMPARE(first.height(), 30.0);
    QCOMPARE(doc.resource(QTextDocument::ImageResource, QUrl(first.name())).toByteArray(), png);
    c.setPosition(4);
    const QTextImageFormat second = c.charFormat().toImageFormat();
    QCOMPARE(second.width(), 50.0);
    QCOMPARE(second.height(), 200.0);
    QVERIFY(second.name() != first.name());
    QCOMPARE(doc.resource(QTextDocument::ImageResource, QUrl(second.name())).toByteArray(), jpeg);

    // A second insertion must not reuse (and so replace) the first one's images.
    QTextCursor end(&doc);
    end.movePosition(QTextCursor::End);
    const QByteArray other = encoded("PNG", QSize(2, 2), Qt::green);
    RtfReader::insert(end, rtf("{\\pict\\pngblip " + other.toHex() + "}"));
    QCOMPARE(doc.resource(QTextDocument::ImageResource, QUrl(first.name())).toByteArray(), png);
}

void tst_RtfReader::unsupportedPicture()
{
    QTextDocument doc;
    const RtfReadResult r =
        read(doc, rtf("x{\\pict\\emfblip\\picwgoal1500\\pichgoal750 0102030405}y"));
    QCOMPARE(doc.toRawText(), u"x\uFFFCy"_qs);
    QTextCursor c(&doc);
    c.setPosition(2);
    const QTextImageFormat f = c.charFormat().toImageFormat();
    QCOMPARE(f.width(), 100.0);
    QCOMPARE(f.height(), 50.0);
    const QImage shown =
        QImage::fromData(doc.resource(QTextDocument::ImageResource, QUrl(f.name())).toByteArray());
    QVERIFY(!shown.isNull());
    QVERIFY(r.errors.isEmpty());
}

void tst_RtfReader::hyperlink()
{
    QTextDocument doc;
    read(doc, rtf("see {\\field{\\*\\fldinst{HYPERLINK \"https://example.org/a?b=1\"}}"
                  "{\\fldrslt{\\ul\\cf2 the site}}} and "
                  "{\\field{\\*\\fldinst HYPERLINK \"C:\\\\\\\\dir\\\\\\\\f.html\" \\\\l \"sec\"}"
                  "{\\fldrslt{\\plain local}}} done"));
    QCOMPARE(blockText(doc), "see the site and local done");
    const QTextCharFormat link = formatAt(doc, "the site");
    QVERIFY(link.isAnchor());
    QCOMPARE(link.anchorHref(), "https://example.org/a?b=1");
    QCOMPARE(link.foreground().color(), QColor(0, 0, 255));
    const QTextCharFormat local = formatAt(doc, "local");
    QVERIFY(local.isAnchor());
    QCOMPARE(local.anchorHref(), "C:\\dir\\f.html#sec");
    QVERIFY(!formatAt(doc, "done").isAnchor());
}

void tst_RtfReader::wordStyleFile()
{
    QFile file(sourceDir().filePath("data/reader/wordstyle.rtf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTextDocument doc;
    const RtfReadResult r = read(doc, file.readAll());
    QVERIFY(r.isRtf);
    const QString text = blockText(doc);
    QVERIFY2(text.startsWith(u"Title ✓ žluťoučký"_qs), qPrintable(text));
    QVERIFY(text.contains(u"Ελληνικά"_qs));
    QVERIFY(!text.contains("Normal"));
    QVERIFY(!text.contains("Author"));
    QVERIFY(!text.contains("Microsoft"));
    QVERIFY(!text.contains(u'\t'));
    QCOMPARE(formatAt(doc, "Title").fontPointSize(), 16.0);
    QVERIFY(formatAt(doc, "Title").fontWeight() == QFont::Bold);
    QCOMPARE(formatAt(doc, u"žluťoučký"_qs).fontFamilies().toStringList(), QStringList{"Calibri"});
    const QTextBlock item = doc.findBlock(int(doc.toRawText().indexOf("First item")));
    QVERIFY(item.textList());
    QCOMPARE(item.textList()->format().style(), QTextListFormat::ListDisc);
    QCOMPARE(item.textList()->count(), 2);
}

void tst_RtfReader::plainText_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text") << QByteArray("just text") << "just text";
    QTest::newRow("utf8 lines") << QByteArray("Zürich\r\nline\rthree\nend")
                                << u"Zürich\nline\nthree\nend"_qs;
    QTest::newRow("rtf not at start") << QByteArray("x{\\rtf1 y}") << "x{\\rtf1 y}";
    QTest::newRow("brace only") << QByteArray("{\\rt") << "{\\rt";
}

void tst_RtfReader::plainText()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QTextDocument doc;
    const RtfReadResult r = read(doc, input);
    QVERIFY(!r.isRtf);
    QCOMPARE(blockText(doc), expected);
}

void tst_RtfReader::insertReplacesSelection()
{
    QTextDocument doc;
    doc.setPlainText("keep REPLACE keep");
    QTextCursor c(&doc);
    c.setPosition(5);
    c.setPosition(12, QTextCursor::KeepAnchor);
    // The caller puts CR LF in front of the RTF.
    const RtfReadResult r = RtfReader::insert(c, QByteArray("\r\n") + rtf("{\\b new}"));
    QVERIFY(r.isRtf);
    QCOMPARE(doc.toPlainText(), "keep new keep");
    QCOMPARE(c.position(), 8);
    QVERIFY(!c.hasSelection());
    QVERIFY(formatAt(doc, "new").fontWeight() == QFont::Bold);
    // One edit block: a single undo brings the old text back.
    doc.undo();
    QCOMPARE(doc.toPlainText(), "keep REPLACE keep");
}

void tst_RtfReader::insertTwiceAppends()
{
    QTextDocument doc;
    QTextCursor c(&doc);
    RtfReader::insert(c, QByteArray("\r\n") + rtf("first\\par second\\par"));
    RtfReader::insert(c, QByteArray("\r\n") + rtf("third\\par"));
    RtfReader::insert(c, rtf("fourth"));
    QCOMPARE(blockText(doc), "first\nsecond\nthird\nfourth");
    QCOMPARE(c.position(), doc.characterCount() - 1);
}

void tst_RtfReader::insertInsideParagraph()
{
    QTextDocument doc;
    doc.setPlainText("ABCD");
    QTextCursor c(&doc);
    c.setPosition(2);
    RtfReader::insert(c, rtf("x\\par y\\par"));
    QCOMPARE(blockText(doc), "ABx\ny\nCD");
    QCOMPARE(c.block().text(), "CD");
    QCOMPARE(c.positionInBlock(), 0);
}

void tst_RtfReader::stringInput()
{
    QTextDocument doc;
    QTextCursor c(&doc);
    const RtfReadResult r = RtfReader::insert(
        c, QStringView(u"{\\rtf1\\ansi\\ansicpg1250 Grüße \\'e8 €\\u8364?\\par}"));
    QVERIFY(r.isRtf);
    QCOMPARE(blockText(doc), u"Grüße č €€"_qs);
    QTextDocument plain;
    QTextCursor p(&plain);
    QVERIFY(!RtfReader::insert(p, QStringView(u"naïve")).isRtf);
    QCOMPARE(plain.toPlainText(), u"naïve"_qs);
}

void tst_RtfReader::robustness_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("contains");

    QTest::newRow("truncated") << QByteArray("{\\rtf1 {\\b partial")
                               << int(RtfError::Code::UnexpectedEnd) << "partial";
    QTest::newRow("truncated in control word")
        << QByteArray("{\\rtf1 text\\") << int(RtfError::Code::UnexpectedEnd) << "text";
    QTest::newRow("truncated hex")
        << QByteArray("{\\rtf1 a\\'4") << int(RtfError::Code::BadHexEscape) << "a";
    QTest::newRow("bad hex") << QByteArray("{\\rtf1 a\\'zzb}") << int(RtfError::Code::BadHexEscape)
                             << "zzb";
    QTest::newRow("extra closing braces")
        << QByteArray("{\\rtf1 a}}}} trailing") << int(RtfError::Code::UnbalancedBraces) << "a";
    QTest::newRow("huge number") << QByteArray(
                                        "{\\rtf1\\fs99999999999999999999 a\\li-99999999999 b}")
                                 << int(RtfError::Code::NumberOutOfRange) << "ab";
    QTest::newRow("huge unicode") << QByteArray("{\\rtf1 \\u99999999999 x}")
                                  << int(RtfError::Code::NumberOutOfRange) << "";
    QTest::newRow("long control word")
        << QByteArray("{\\rtf1 \\" + QByteArray(100000, 'b') + " text}")
        << int(RtfError::Code::ControlWordTooLong) << "text";
    QTest::newRow("bin past end") << QByteArray("{\\rtf1 a\\bin999999 xyz")
                                  << int(RtfError::Code::BadBinary) << "a";
    QTest::newRow("odd picture hex")
        << QByteArray("{\\rtf1 {\\pict\\pngblip abc}x}") << int(RtfError::Code::BadPicture) << "x";
    QTest::newRow("huge cellx and itap")
        << QByteArray("{\\rtf1\\trowd\\cellx2147483647\\cellx-2147483648\\itap2147483647\\intbl "
                      "a\\nestcell\\nestrow\\cell\\row}")
        << -1 << "a";
    QTest::newRow("many cells") << QByteArray("{\\rtf1\\trowd" +
                                              QByteArray("\\cellx1").repeated(2000) +
                                              QByteArray("z\\cell").repeated(2000) + "\\row}")
                                << -1 << "z";
    QTest::newRow("rows of varying widths") << [] {
        QByteArray s = "{\\rtf1 ";
        for (int i = 1; i < 3000; ++i)
            s += "\\trowd\\cellx" + QByteArray::number(i) + "\\intbl r\\cell\\row";
        return s + "}";
    }() << -1 << "r";
    QTest::newRow("row without cells")
        << QByteArray("{\\rtf1 \\row\\nestrow\\cell x}") << -1 << "x";
    QTest::newRow("group ends inside destination")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0 "
                      "A}{\\colortbl;\\red1;}}{\\*\\listtable{\\list{\\listlevel{\\leveltext")
        << -1 << "";
}

void tst_RtfReader::robustness()
{
    QFETCH(QByteArray, input);
    QFETCH(int, error);
    QFETCH(QString, contains);
    QTextDocument doc;
    const RtfReadResult r = read(doc, input);
    QVERIFY(r.isRtf);
    if (error >= 0) {
        QVERIFY2(hasError(r, RtfError::Code(error)), qPrintable(QString::number(r.errors.size())));
        for (const RtfError &e : r.errors)
            QVERIFY(e.offset >= 0 && e.offset <= input.size());
    }
    QVERIFY2(doc.toPlainText().contains(contains), qPrintable(doc.toPlainText().left(200)));
}

void tst_RtfReader::deepNestingUsesNoStack()
{
    // Far deeper than the C++ stack would allow if groups were handled by recursion.
    const int depth = 100000;
    QByteArray input =
        "{\\rtf1 " + QByteArray(depth, '{') + "\\b deep" + QByteArray(depth, '}') + "after}";
    QTextDocument doc;
    const RtfReadResult r = read(doc, input);
    QCOMPARE(doc.toPlainText(), "deepafter");
    QVERIFY(hasError(r, RtfError::Code::NestingTooDeep));

    QTextDocument unbalanced;
    read(unbalanced, "{\\rtf1 x" + QByteArray(depth, '{'));
    QCOMPARE(unbalanced.toPlainText(), "x");
}

void tst_RtfReader::randomGarbage()
{
    const quint32 seed = 20261208;
    QRandomGenerator random(seed);
    static const char *const pieces[] = {
        "{",         "}",           "\\",      "\\'",     "\\b",    "\\par",      "\\cell",
        "\\row",     "\\trowd",     "\\cellx", "\\intbl", "\\itap", "\\nestcell", "\\nestrow",
        "\\pict",    "\\bin",       "\\u",     "\\uc",    "\\*",    "\\field",    "\\fldrslt",
        "\\fonttbl", "\\listtable", "\\ls",    "\\pn",    "9",      "-",          " ",
        "x",         "\xff",        "\x00"};
    for (int round = 0; round < 200; ++round) {
        QByteArray input = "{\\rtf1 ";
        const int n = random.bounded(1, 400);
        for (int i = 0; i < n; ++i) {
            if (random.bounded(4) == 0)
                input += char(random.bounded(256));
            else
                input += pieces[random.bounded(int(std::size(pieces)))];
        }
        QTextDocument doc;
        QTextCursor c(&doc);
        RtfReader::insert(c, input);
        // The document must stay whole enough to be walked and edited.
        QVERIFY2(doc.characterCount() >= 1, qPrintable(QString::number(seed)));
        c.insertText("z");
        QVERIFY2(doc.toPlainText().contains(u'z'), qPrintable(QString::number(seed)));
    }
}

void tst_RtfReader::fuzzRegressions()
{
    // Inputs the fuzzer found; each once broke a crash check or write-read-write stability.
    const QDir dir(sourceDir().filePath("../fuzz/regressions"));
    const QFileInfoList files = dir.entryInfoList(QDir::Files);
    if (files.isEmpty())
        QSKIP("no regression inputs");
    const auto readAndWrite = [](const QByteArray &input) {
        QTextDocument doc;
        QTextCursor c(&doc);
        RtfReader::insert(c, input);
        return RtfWriter::write(doc);
    };
    for (const QFileInfo &info : files) {
        QFile f(info.filePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray first = readAndWrite(f.readAll());
        const QByteArray second = readAndWrite(first);
        QVERIFY2(first == second, qPrintable(info.fileName()));
    }
}

QTEST_MAIN(tst_RtfReader)
#include "tst_rtfreader.moc"
