#include "capturedocumentbuilder.h"
#include "captureimages.h"
#include "pagecapture.h"
#include "rtfformat.h"
#include "rtfplaces.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextList>
#include <QTextTable>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <optional>

namespace {

QString dataPath(const QString &name)
{
    return QFINDTESTDATA(QStringLiteral("data/") + name);
}

// Every fragment of text in the document with the format it is shown in, tables included.
struct Fragment {
    QString text;
    QTextCharFormat format;
    QTextBlock block;
};

// A format as it shows: without the names of the places on it, which make a fragment of their
// own (the reader puts a place read from RTF on its first character) but show nothing.
QTextCharFormat shownFormat(QTextCharFormat format)
{
    format.clearProperty(QTextFormat::AnchorName);
    if (format.anchorHref().isEmpty())
        format.clearProperty(QTextFormat::IsAnchor);
    return format;
}

QList<Fragment> fragments(const QTextDocument &doc)
{
    QList<Fragment> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QTextCharFormat last;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat shown = shownFormat(it.fragment().charFormat());
            if (it != b.begin() && shown == last && !shown.isImageFormat())
                out.last().text += it.fragment().text();
            else
                out << Fragment{it.fragment().text(), it.fragment().charFormat(), b};
            last = shown;
        }
    }
    return out;
}

std::optional<Fragment> fragmentWith(const QTextDocument &doc, const QString &text)
{
    for (const Fragment &f : fragments(doc)) {
        if (f.text.contains(text))
            return f;
    }
    return std::nullopt;
}

QTextBlock blockWith(const QTextDocument &doc, const QString &text)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b.text().contains(text))
            return b;
    }
    return {};
}

QList<QTextTable *> tables(const QTextDocument &doc)
{
    QList<QTextTable *> out;
    QList<QTextFrame *> todo{doc.rootFrame()};
    while (!todo.isEmpty()) {
        QTextFrame *f = todo.takeFirst();
        if (auto *t = qobject_cast<QTextTable *>(f))
            out << t;
        todo << f->childFrames();
    }
    return out;
}

// Where a place lands: the text from the first character that carries its key to the end of
// that paragraph, and how many fragments carry the key (a place on an empty paragraph's own
// format counts as none).
struct Landing {
    QString text;
    int fragments = 0;
    int paragraphs = 0; // paragraphs holding it
};

Landing landing(const QTextDocument &doc, const QString &key)
{
    Landing found;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        bool here = false;
        if (b.charFormat().anchorNames().contains(key)) {
            here = true;
            found.text = b.text();
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.charFormat().anchorNames().contains(key))
                continue;
            if (found.fragments == 0)
                found.text = b.text().mid(f.position() - b.position());
            ++found.fragments;
            here = true;
        }
        found.paragraphs += here ? 1 : 0;
    }
    return found;
}

QString placeKey(const QString &page, const QString &id)
{
    QUrl address = QUrl::fromLocalFile(page);
    if (!id.isEmpty())
        address.setFragment(id, QUrl::DecodedMode);
    return RtfPlaces::key(address);
}

QList<QTextImageFormat> images(const QTextDocument &doc)
{
    QList<QTextImageFormat> out;
    for (const Fragment &f : fragments(doc)) {
        if (f.format.isImageFormat())
            out << f.format.toImageFormat();
    }
    return out;
}

} // namespace

class tst_PageCapture : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void cleanupTestCase();

    void visibleTextInOrder();
    void hiddenContentLeftOut_data();
    void hiddenContentLeftOut();
    void characterFormats_data();
    void characterFormats();
    void fontFamilies();
    void stylesFromAttributes();
    void stylesFromPlacesClassesAndIds_data();
    void stylesFromPlacesClassesAndIds();
    void blocksAndSpacing();
    void preformattedAndBreaks();
    void lists_data();
    void lists();
    void listItemParagraphs();
    void definitionList();
    void tables();
    void tableParts();
    void tablesFollowTheirParagraph();
    void imagesEmbedded_data();
    void imagesEmbedded();
    void missingImagesKeepAlt();
    void linksAbsolute();
    void formControls();
    void partialSelection_data();
    void partialSelection();
    void strictContentSecurityPolicy();
    void selectionHtmlAndText();
    void deletedPageStillAnswers();
    void navigationDuringCapture();
    void browserSelectAll();
    void longSelectionInParts();
    void pageChangingDuringTheCopy();
    void oddDescriptions_data();
    void oddDescriptions();
    void emptySelection();
    void imageConversion();
    void generatedContent_data();
    void generatedContent();
    void generatedContentFormats();
    void listsWithoutMarkers_data();
    void listsWithoutMarkers();
    void itemsInRows_data();
    void itemsInRows();
    void frames();
    void itemsHoldingBlocks();
    void rightToLeft_data();
    void rightToLeft();
    void rightToLeftInRtf();
    void linksAsShown();
    void placesLandOnTheirText_data();
    void placesLandOnTheirText();
    void linksAndPlacesThroughSymbolicLinks_data();
    void linksAndPlacesThroughSymbolicLinks();
    void longNumberedList();
    void scriptUnitsStandAlone_data();
    void scriptUnitsStandAlone();

private:
    // Loads a test page, selects as the script says (all by default) and captures the selection.
    CapturedSelection capture(const QString &page,
                              const QString &select = QStringLiteral(
                                  "window.getSelection().selectAllChildren(document.body)"));
    CapturedSelection captureDirect(const QString &page, const QString &select);
    void load(const QString &page);
    void runMain(const QString &script);

    QWebEngineProfile *m_profile = nullptr;
    QWebEngineView *m_view = nullptr;
    QWebEnginePage *m_page = nullptr;
    QString m_loaded;
    QHash<QString, CapturedSelection> m_cache;
};

// Every check runs on the captured document and again on that document written as RTF and
// read back, which is what reaches the clipboard and the result pane.
void tst_PageCapture::initTestCase_data()
{
    QTest::addColumn<bool>("viaRtf");
    QTest::newRow("captured") << false;
    QTest::newRow("through RTF") << true;
}

void tst_PageCapture::initTestCase()
{
    m_profile = new QWebEngineProfile(this);
    m_view = new QWebEngineView;
    m_page = new QWebEnginePage(m_profile, m_view);
    m_view->setPage(m_page);
    m_view->resize(1000, 800);
    m_view->show();
}

void tst_PageCapture::cleanupTestCase()
{
    delete m_view;
}

void tst_PageCapture::load(const QString &page)
{
    const QString path = QFileInfo(page).isAbsolute() ? page : dataPath(page);
    QVERIFY2(!path.isEmpty(), qPrintable(page));
    bool finished = false;
    bool ok = false;
    auto c = connect(m_page, &QWebEnginePage::loadFinished, this, [&](bool success) {
        finished = true;
        ok = success;
    });
    m_page->load(QUrl::fromLocalFile(path));
    QTRY_VERIFY_WITH_TIMEOUT(finished, 20000);
    disconnect(c);
    QVERIFY(ok);
    m_loaded = page;
}

void tst_PageCapture::runMain(const QString &script)
{
    bool done = false;
    m_page->runJavaScript(script, QWebEngineScript::MainWorld,
                          [&](const QVariant &) { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
}

CapturedSelection tst_PageCapture::captureDirect(const QString &page, const QString &select)
{
    const QString key = page + QLatin1Char('\n') + select;
    if (m_cache.contains(key))
        return m_cache.value(key);
    CapturedSelection result;
    load(page);
    if (QTest::currentTestFailed())
        return result;
    runMain(select);
    int calls = 0;
    PageCapture::captureSelection(m_page, [&](CapturedSelection r) {
        ++calls;
        result = std::move(r);
    });
    if (!QTest::qWaitFor([&] { return calls > 0; }, 30000))
        return result;
    QTest::qWait(50);
    if (calls != 1)
        result.error = QStringLiteral("done called %1 times").arg(calls);
    if (result.ok)
        m_cache.insert(key, result);
    return result;
}

CapturedSelection tst_PageCapture::capture(const QString &page, const QString &select)
{
    QFETCH_GLOBAL(bool, viaRtf);
    CapturedSelection result = captureDirect(page, select);
    if (!viaRtf || !result.ok || !result.document)
        return result;
    const QByteArray &rtf = result.rtf;
    auto readBack = std::make_shared<QTextDocument>();
    QTextCursor cursor(readBack.get());
    const RtfReadResult read = RtfReader::insert(cursor, QByteArrayView(rtf));
    if (!read.isRtf || !read.errors.isEmpty()) {
        result.ok = false;
        result.error = QStringLiteral("the RTF did not read back cleanly");
    }
    result.document = std::move(readBack);
    return result;
}

#define CAPTURE(var, ...)                                                                          \
    const CapturedSelection var = capture(__VA_ARGS__);                                            \
    QVERIFY2(var.ok, qPrintable(var.error));                                                       \
    QVERIFY(var.document);

void tst_PageCapture::visibleTextInOrder()
{
    CAPTURE(c, QStringLiteral("text.html"));
    const QString text = c.document->toPlainText();
    const QStringList expected{"Alpha first line", "Bravo second",       "Charlie third",
                               "Delta summary",    "Scripted paragraph", "Echo heading",
                               "Foxtrot article",  "Golf nav",           "Hotel header",
                               "India footer",     "Juliet main",        "Kilo aside",
                               "Lima caption",     "Mike visible child"};
    qsizetype at = 0;
    for (const QString &s : expected) {
        const qsizetype found = text.indexOf(s, at);
        QVERIFY2(found >= 0, qPrintable(s + QLatin1String(" not in order in:\n") + text));
        at = found + s.size();
    }
    // every block-level element is its own paragraph
    for (const QString &s : expected)
        QCOMPARE(blockWith(*c.document, s).text().trimmed(), s);
}

void tst_PageCapture::hiddenContentLeftOut_data()
{
    QTest::addColumn<QString>("hidden");
    QTest::newRow("display none") << "Hidden by display";
    QTest::newRow("visibility hidden") << "invisible words";
    QTest::newRow("clipped") << "Screen reader only";
    QTest::newRow("off screen") << "Offscreen text";
    QTest::newRow("head") << "Head title";
    QTest::newRow("template") << "Template content";
    QTest::newRow("noscript") << "Noscript content";
    QTest::newRow("hidden attribute") << "Hidden attribute";
    QTest::newRow("closed details") << "Closed details body";
    QTest::newRow("hidden parent") << "Hidden parent";
    QTest::newRow("style") << ".gone";
    QTest::newRow("script") << "createElement";
}

void tst_PageCapture::hiddenContentLeftOut()
{
    QFETCH(QString, hidden);
    CAPTURE(c, QStringLiteral("text.html"));
    QVERIFY2(!c.document->toPlainText().contains(hidden), qPrintable(c.document->toPlainText()));
}

void tst_PageCapture::characterFormats_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("property");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("bold") << "bold" << int(QTextFormat::FontWeight) << QVariant(700);
    QTest::newRow("light") << "light" << int(QTextFormat::FontWeight) << QVariant(300);
    QTest::newRow("italic") << "italic" << int(QTextFormat::FontItalic) << QVariant(true);
    QTest::newRow("colour") << "red" << int(QTextFormat::ForegroundBrush)
                            << QVariant(QBrush(QColor(255, 0, 0)));
    QTest::newRow("size") << "big" << int(QTextFormat::FontPointSize) << QVariant(24.0);
    QTest::newRow("body size") << "italic" << int(QTextFormat::FontPointSize) << QVariant(12.0);
    QTest::newRow("underline") << "under" << int(QTextFormat::TextUnderlineStyle)
                               << QVariant(int(QTextCharFormat::SingleUnderline));
    QTest::newRow("inherited underline") << "inherited" << int(QTextFormat::TextUnderlineStyle)
                                         << QVariant(int(QTextCharFormat::SingleUnderline));
    QTest::newRow("strike") << "strike" << int(QTextFormat::FontStrikeOut) << QVariant(true);
    QTest::newRow("superscript") << "sup" << int(QTextFormat::TextVerticalAlignment)
                                 << QVariant(int(QTextCharFormat::AlignSuperScript));
    QTest::newRow("subscript") << "sub" << int(QTextFormat::TextVerticalAlignment)
                               << QVariant(int(QTextCharFormat::AlignSubScript));
    QTest::newRow("uppercase") << "upper" << int(QTextFormat::FontCapitalization)
                               << QVariant(int(QFont::AllUppercase));
    QTest::newRow("small caps") << "smallcaps" << int(QTextFormat::FontCapitalization)
                                << QVariant(int(QFont::SmallCaps));
    QTest::newRow("background") << "marked" << int(QTextFormat::BackgroundBrush)
                                << QVariant(QBrush(QColor(255, 255, 0)));
}

void tst_PageCapture::characterFormats()
{
    QFETCH(QString, word);
    QFETCH(int, property);
    QFETCH(QVariant, expected);
    CAPTURE(c, QStringLiteral("formats.html"));
    const auto f = fragmentWith(*c.document, word);
    QVERIFY2(f, qPrintable(word));
    const QVariant actual = f->format.property(property);
    QFETCH_GLOBAL(bool, viaRtf);
    if (viaRtf && property == int(QTextFormat::FontWeight) && expected.toInt() < 600) {
        // RTF knows bold and not bold only
        QVERIFY(f->format.fontWeight() < 600);
        return;
    }
    if (expected.typeId() == QMetaType::QBrush)
        QCOMPARE(actual.value<QBrush>().color(), expected.value<QBrush>().color());
    else if (expected.typeId() == QMetaType::Double)
        QCOMPARE(actual.toDouble(), expected.toDouble());
    else
        QCOMPARE(actual.toInt(), expected.toInt());
    // the plain words around stay plain
    const auto plain = fragmentWith(*c.document, QStringLiteral("x"));
    QVERIFY(plain);
    if (property != int(QTextFormat::FontPointSize))
        QVERIFY(plain->format.property(property) != actual ||
                property == int(QTextFormat::ForegroundBrush));
}

// Elements alike but for their attributes: the page's rules about an attribute's value, and the
// browser's own about an attribute being there, reach just the elements they name; each link
// keeps its own target.
void tst_PageCapture::stylesFromAttributes()
{
    CAPTURE(c, QStringLiteral("attributes.html"));
    const auto format = [&](const QString &word) {
        const auto f = fragmentWith(*c.document, word);
        return f ? f->format : QTextCharFormat();
    };
    QVERIFY(format(QStringLiteral("pdf two")).fontWeight() >= 600);
    QVERIFY(format(QStringLiteral("plain one")).fontWeight() < 600);
    QVERIFY(format(QStringLiteral("plain three")).fontWeight() < 600);
    QCOMPARE(format(QStringLiteral("warned four")).foreground().color(), QColor(255, 0, 0));
    QVERIFY(format(QStringLiteral("calm five")).foreground().color() != QColor(255, 0, 0));
    QVERIFY(format(QStringLiteral("HTML")).fontUnderline());
    QVERIFY(!format(QStringLiteral("CSS")).fontUnderline());
    const QStringList targets{QStringLiteral("one.html"), QStringLiteral("two.pdf"),
                              QStringLiteral("three.html"), QStringLiteral("four.html"),
                              QStringLiteral("five.html")};
    const QStringList words{QStringLiteral("plain one"), QStringLiteral("pdf two"),
                            QStringLiteral("plain three"), QStringLiteral("warned four"),
                            QStringLiteral("calm five")};
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString href = format(words[i]).anchorHref();
        QVERIFY2(href.endsWith(QLatin1Char('/') + targets[i]), qPrintable(href));
    }
}

void tst_PageCapture::fontFamilies()
{
    CAPTURE(c, QStringLiteral("formats.html"));
    auto family = [&](const QString &word) {
        const auto f = fragmentWith(*c.document, word);
        return f ? f->format.fontFamilies().toStringList().value(0) : QString();
    };
    // An uninstalled family falls through to the installed generic one of the stack.
    const QString serif = family(QStringLiteral("italic"));
    const QString mono = family(QStringLiteral("mono"));
    QVERIFY(!serif.isEmpty());
    QVERIFY(!mono.isEmpty());
    QVERIFY(serif != mono);
    QVERIFY(QFontDatabase::hasFamily(serif));
    QVERIFY(QFontDatabase::hasFamily(mono));
    QVERIFY(QFontInfo(QFont(mono)).fixedPitch());
    if (QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans Mono")))
        QCOMPARE(family(QStringLiteral("dejavu")), QStringLiteral("DejaVu Sans Mono"));
}

// Elements alike but for their place among their siblings, a class or an id: each keeps the
// style and the generated content that the page's rules give it, in standards and quirks mode.
void tst_PageCapture::stylesFromPlacesClassesAndIds_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("look");
    QTest::addColumn<bool>("has");
    const QString places = QStringLiteral("places.html");
    const QString quirks = QStringLiteral("quirks.html");
    QTest::newRow("not last child") << places << "box two"
                                    << "red" << false;
    QTest::newRow("last child") << places << "box last"
                                << "red" << true;
    QTest::newRow("next sibling") << places << "after heading"
                                  << "italic" << true;
    QTest::newRow("not next sibling") << places << "later paragraph"
                                      << "italic" << false;
    QTest::newRow("before a sibling") << places << "before mark"
                                      << "underline" << false;
    QTest::newRow("after a sibling") << places << "after mark two"
                                     << "underline" << true;
    QTest::newRow("not last of type") << places << "span one"
                                      << "bold" << false;
    QTest::newRow("last of type") << places << "span last"
                                  << "bold" << true;
    QTest::newRow("nth child") << places << "nth two"
                               << "blue" << true;
    QTest::newRow("not nth child") << places << "nth three"
                                   << "blue" << false;
    QTest::newRow("named id") << places << "chosen id"
                              << "bold" << true;
    QTest::newRow("other id") << places << "third id"
                              << "bold" << false;
    QTest::newRow("class as attribute") << places << "flagged class"
                                        << "italic" << true;
    QTest::newRow("class as attribute, other value") << places << "quiet class"
                                                     << "italic" << false;
    QTest::newRow("quirks class") << quirks << "loud word"
                                  << "red" << true;
    QTest::newRow("quirks other class") << quirks << "soft word"
                                        << "red" << false;
    QTest::newRow("quirks id") << quirks << "big word"
                               << "bold" << true;
    QTest::newRow("quirks other id") << quirks << "small word"
                                     << "bold" << false;
}

void tst_PageCapture::stylesFromPlacesClassesAndIds()
{
    QFETCH(QString, page);
    QFETCH(QString, word);
    QFETCH(QString, look);
    QFETCH(bool, has);
    CAPTURE(c, page);
    const auto f = fragmentWith(*c.document, word);
    QVERIFY2(f, qPrintable(word));
    const QTextCharFormat &format = f->format;
    const QHash<QString, bool> looks{
        {QStringLiteral("red"), format.foreground().color() == QColor(255, 0, 0)},
        {QStringLiteral("blue"), format.foreground().color() == QColor(0, 0, 255)},
        {QStringLiteral("italic"), format.fontItalic()},
        {QStringLiteral("bold"), format.fontWeight() >= 600},
        {QStringLiteral("underline"), format.fontUnderline()},
    };
    QVERIFY(looks.contains(look));
    QCOMPARE(looks.value(look), has);
    if (page == QLatin1String("places.html")) {
        const QString text = c.document->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("[void]")), qPrintable(text));
        QCOMPARE(text.count(QStringLiteral("(tagged)")), 1);
        QVERIFY2(text.contains(QStringLiteral("tagged u2 (tagged)")), qPrintable(text));
    }
}

void tst_PageCapture::blocksAndSpacing()
{
    CAPTURE(c, QStringLiteral("blocks.html"));
    const QTextBlock spaced = blockWith(*c.document, QStringLiteral("spaced"));
    const QTextBlock centred = blockWith(*c.document, QStringLiteral("centred"));
    QVERIFY(spaced.isValid() && centred.isValid());
    QCOMPARE(spaced.blockFormat().topMargin(), 20.0);
    // collapsed margins: the larger one of the two neighbours
    QCOMPARE(spaced.blockFormat().bottomMargin() + centred.blockFormat().topMargin(), 30.0);
    QCOMPARE(centred.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(blockWith(*c.document, QStringLiteral("righted")).blockFormat().alignment() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    QCOMPARE(blockWith(*c.document, QStringLiteral("indented")).blockFormat().leftMargin(), 40.0);
    QCOMPARE(blockWith(*c.document, QStringLiteral("quoted")).blockFormat().leftMargin(), 40.0);
    QCOMPARE(spaced.blockFormat().leftMargin(), 0.0);
    // a column moved aside by the page's layout is no indent
    QCOMPARE(blockWith(*c.document, QStringLiteral("column")).blockFormat().leftMargin(), 0.0);
    QCOMPARE(blockWith(*c.document, QStringLiteral("middle")).blockFormat().leftMargin(), 0.0);
    // display decides, not the tag
    QCOMPARE(blockWith(*c.document, QStringLiteral("block span")).text(),
             QStringLiteral("block span"));
    QCOMPARE(blockWith(*c.document, QStringLiteral("inline div")).text(),
             QStringLiteral("inline div tail"));
}

void tst_PageCapture::preformattedAndBreaks()
{
    CAPTURE(c, QStringLiteral("pre.html"));
    const QTextBlock pre = blockWith(*c.document, QStringLiteral("line one"));
    QVERIFY(pre.isValid());
    QCOMPARE(pre.text(), QStringLiteral("line one\u2028    indented   two\u2028last"));
    QVERIFY(pre.blockFormat().nonBreakableLines());
    const auto mono = fragmentWith(*c.document, QStringLiteral("line one"));
    QVERIFY(QFontInfo(QFont(mono->format.fontFamilies().toStringList().value(0))).fixedPitch());
    QCOMPARE(blockWith(*c.document, QStringLiteral("before")).text(),
             QStringLiteral("before\u2028after break"));
    QVERIFY(!blockWith(*c.document, QStringLiteral("before")).blockFormat().nonBreakableLines());
    QCOMPARE(blockWith(*c.document, QStringLiteral("kept")).text(),
             QStringLiteral("kept\u2028lines collapsed"));
}

void tst_PageCapture::lists_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::newRow("disc") << "disc two" << int(QTextListFormat::ListDisc) << 1 << 1 << 2;
    QTest::newRow("nested") << "circle nested" << int(QTextListFormat::ListCircle) << 2 << 1 << 1;
    QTest::newRow("start") << "four" << int(QTextListFormat::ListDecimal) << 1 << 3 << 2;
    QTest::newRow("roman") << "roman" << int(QTextListFormat::ListLowerRoman) << 1 << 1 << 1;
    QTest::newRow("alpha") << "alpha" << int(QTextListFormat::ListUpperAlpha) << 1 << 1 << 1;
    QTest::newRow("square") << "square" << int(QTextListFormat::ListSquare) << 1 << 1 << 1;
    // items made of paragraphs: the first paragraph of each carries the marker
    QTest::newRow("paragraph items")
        << "para item two" << int(QTextListFormat::ListDisc) << 1 << 1 << 2;
}

void tst_PageCapture::lists()
{
    QFETCH(QString, item);
    QFETCH(int, style);
    QFETCH(int, level);
    QFETCH(int, start);
    QFETCH(int, count);
    CAPTURE(c, QStringLiteral("lists.html"));
    const QTextBlock b = blockWith(*c.document, item);
    QVERIFY(b.isValid());
    QCOMPARE(b.text(), item);
    QTextList *list = b.textList();
    QVERIFY(list);
    QCOMPARE(int(list->format().style()), style);
    QCOMPARE(list->format().indent(), level);
    const QVariant first = list->format().property(RtfFormat::ListStart);
    QCOMPARE(first.isValid() ? first.toInt() : 1, start);
    QCOMPARE(list->count(), count);
}

void tst_PageCapture::listItemParagraphs()
{
    CAPTURE(c, QStringLiteral("lists.html"));
    const QTextBlock first = blockWith(*c.document, QStringLiteral("para item one"));
    const QTextBlock second = blockWith(*c.document, QStringLiteral("second paragraph"));
    QVERIFY(first.textList());
    QVERIFY(!second.textList());
    // the item's later paragraphs stand where its text does, past the marker
    QVERIFY(second.blockFormat().leftMargin() >= 30);
}

void tst_PageCapture::definitionList()
{
    CAPTURE(c, QStringLiteral("lists.html"));
    const QTextBlock term = blockWith(*c.document, QStringLiteral("Term"));
    const QTextBlock def = blockWith(*c.document, QStringLiteral("Definition"));
    QVERIFY(term.isValid() && def.isValid());
    QVERIFY(!term.textList() && !def.textList());
    QCOMPARE(def.blockFormat().leftMargin() - term.blockFormat().leftMargin(), 40.0);
}

void tst_PageCapture::tables()
{
    CAPTURE(c, QStringLiteral("tables.html"));
    const QList<QTextTable *> all = ::tables(*c.document);
    QCOMPARE(all.size(), 3);
    QTextTable *outer = all[0];
    QCOMPARE(outer->rows(), 3);
    QCOMPARE(outer->columns(), 3);
    QCOMPARE(outer->format().headerRowCount(), 1);
    QVERIFY(outer->format().border() >= 1);
    QCOMPARE(outer->cellAt(0, 0).firstCursorPosition().block().text(), QStringLiteral("H1"));
    const QTextTableCell span = outer->cellAt(1, 0);
    QCOMPARE(span.columnSpan(), 2);
    QCOMPARE(span.firstCursorPosition().block().text(), QStringLiteral("span two"));
    QCOMPARE(span.format().background().color(), QColor(0, 255, 0));
    QCOMPARE(outer->cellAt(1, 2).rowSpan(), 2);
    QCOMPARE(outer->cellAt(2, 0).firstCursorPosition().block().text(), QStringLiteral("a"));
    const QList<QTextLength> widths = outer->format().columnWidthConstraints();
    QCOMPARE(widths.size(), 3);
    // as laid out: the first column twice as wide as the last, the middle one widened by its table
    QVERIFY2(qAbs(widths[0].rawValue() / widths[2].rawValue() - 2.0) < 0.2,
             qPrintable(QString::number(widths[0].rawValue())));
    QVERIFY(widths[1].rawValue() > widths[2].rawValue());
    QVERIFY(widths[0].rawValue() > 190 && widths[0].rawValue() < 230);
    QTextTable *inner = all[2]; // found after the top-level ones
    QCOMPARE(inner->parentFrame(), outer);
    QCOMPARE(outer->cellAt(inner->firstPosition()).row(), 2);
    QCOMPARE(outer->cellAt(inner->firstPosition()).column(), 1);
    QCOMPARE(inner->columns(), 2);
    QCOMPARE(inner->cellAt(0, 1).firstCursorPosition().block().text(), QStringLiteral("inner2"));
    QVERIFY(blockWith(*c.document, QStringLiteral("after table")).isValid());
    QVERIFY(
        !outer->cellAt(blockWith(*c.document, QStringLiteral("after table")).position()).isValid());
}

// Rows in the order the browser shows them, whatever their order in the source: header group
// first, footer group last, and rows a script put straight under the table; a row group's
// background behind the cells that have none of their own; the caption as a paragraph before
// its table; column widths taken from cells below a spanning one.
void tst_PageCapture::tableParts()
{
    CAPTURE(c, QStringLiteral("table-parts.html"));
    const QList<QTextTable *> all = ::tables(*c.document);
    QCOMPARE(all.size(), 3);
    const auto text = [](QTextTable *t, int row, int column) {
        return t->cellAt(row, column).firstCursorPosition().block().text();
    };

    QTextTable *grouped = all[0];
    QCOMPARE(grouped->rows(), 3);
    QCOMPARE(grouped->columns(), 2);
    QCOMPARE(text(grouped, 0, 0), QStringLiteral("head1"));
    QCOMPARE(text(grouped, 1, 0), QStringLiteral("body1"));
    QCOMPARE(text(grouped, 2, 1), QStringLiteral("foot2"));
    QCOMPARE(grouped->format().headerRowCount(), 1);
    QCOMPARE(grouped->cellAt(1, 0).format().background().color(), QColor(255, 255, 0));
    QCOMPARE(grouped->cellAt(1, 1).format().background().color(), QColor(0, 255, 255));
    QCOMPARE(grouped->cellAt(0, 0).format().background().style(), Qt::NoBrush);
    const QTextBlock caption = blockWith(*c.document, QStringLiteral("Quarterly caption"));
    QVERIFY(caption.isValid());
    QVERIFY(!grouped->cellAt(caption.position()).isValid());
    QVERIFY(caption.position() > blockWith(*c.document, QStringLiteral("before parts")).position());
    QVERIFY(caption.position() < grouped->firstPosition());

    QTextTable *spanned = all[1];
    QCOMPARE(spanned->rows(), 2);
    QCOMPARE(spanned->cellAt(0, 0).columnSpan(), 2);
    const QList<QTextLength> widths = spanned->format().columnWidthConstraints();
    QCOMPARE(widths.size(), 2);
    QVERIFY2(
        qAbs(widths[0].rawValue() / widths[1].rawValue() - 3.0) < 0.3,
        qPrintable(QStringLiteral("%1 / %2").arg(widths[0].rawValue()).arg(widths[1].rawValue())));

    QTextTable *scripted = all[2];
    QCOMPARE(scripted->rows(), 2);
    QCOMPARE(scripted->columns(), 2);
    QCOMPARE(text(scripted, 0, 0), QStringLiteral("scripted1a"));
    QCOMPARE(text(scripted, 1, 1), QStringLiteral("scripted2b"));
}

void tst_PageCapture::tablesFollowTheirParagraph()
{
    CAPTURE(c, QStringLiteral("table-after-list.html"));
    // Each table stands right after the paragraph before it: no empty paragraph, and no empty
    // item added to a list that ends there.
    QStringList before;
    QString previous;
    for (QTextBlock b = c.document->begin(); b.isValid(); b = b.next()) {
        const bool inTable = QTextCursor(b).currentTable() != nullptr;
        if (inTable && !previous.isNull())
            before << previous;
        previous = inTable ? QString() : b.text();
    }
    QCOMPARE(before, (QStringList{QStringLiteral("intro paragraph"), QStringLiteral("item two")}));
    const QTextBlock item = blockWith(*c.document, QStringLiteral("item two"));
    QVERIFY(item.textList());
    QCOMPARE(item.textList()->count(), 2);
}

void tst_PageCapture::imagesEmbedded_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QSize>("pixels"); // of the stored picture, empty when drawn from vectors
    QTest::addColumn<QColor>("centre");
    QTest::newRow("local png") << 0 << 80 << 60 << QSize(40, 30) << QColor(255, 0, 0);
    QTest::newRow("data url") << 1 << 16 << 12 << QSize(8, 6) << QColor(0, 0, 255);
    QTest::newRow("svg file") << 2 << 25 << 25 << QSize() << QColor(0, 160, 0);
    QTest::newRow("bmp") << 3 << 20 << 20 << QSize(3, 2) << QColor(0, 160, 0);
    QTest::newRow("inline svg") << 4 << 30 << 20 << QSize() << QColor(0, 0, 255);
    QTest::newRow("inline svg styled by the page")
        << 5 << 20 << 20 << QSize() << QColor(255, 128, 0);
}

void tst_PageCapture::imagesEmbedded()
{
    QFETCH(int, index);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QSize, pixels);
    QFETCH(QColor, centre);
    CAPTURE(c, QStringLiteral("images.html"));
    const QList<QTextImageFormat> all = images(*c.document);
    QCOMPARE(all.size(), 6);
    const QTextImageFormat image = all[index];
    QCOMPARE(qRound(image.width()), width);
    QCOMPARE(qRound(image.height()), height);
    const QVariant data = c.document->resource(QTextDocument::ImageResource, QUrl(image.name()));
    QCOMPARE(data.typeId(), QMetaType::QByteArray);
    const QByteArray bytes = data.toByteArray();
    QVERIFY(bytes.startsWith("\x89PNG")); // every one of these is stored as PNG
    QImage decoded;
    QVERIFY(decoded.loadFromData(bytes));
    if (!pixels.isEmpty())
        QCOMPARE(decoded.size(), pixels);
    else // drawn from vectors: at least as large as it is shown
        QVERIFY(decoded.width() >= width && decoded.height() >= height);
    const QColor pixel = decoded.pixelColor(decoded.width() / 2, decoded.height() / 2);
    QVERIFY2(qAbs(pixel.red() - centre.red()) < 8 && qAbs(pixel.green() - centre.green()) < 8 &&
                 qAbs(pixel.blue() - centre.blue()) < 8 && pixel.alpha() > 200,
             qPrintable(pixel.name()));
}

void tst_PageCapture::missingImagesKeepAlt()
{
    CAPTURE(c, QStringLiteral("images.html"));
    QCOMPARE(blockWith(*c.document, QStringLiteral("missing")).text(),
             QStringLiteral("missing Missing picture"));
    QCOMPARE(blockWith(*c.document, QStringLiteral("remote")).text(),
             QStringLiteral("remote Remote picture"));
}

void tst_PageCapture::linksAbsolute()
{
    CAPTURE(c, QStringLiteral("links.html"));
    const auto local = fragmentWith(*c.document, QStringLiteral("the target"));
    QVERIFY(local);
    QVERIFY(local->format.isAnchor());
    QCOMPARE(local->format.anchorHref(), QUrl::fromLocalFile(dataPath(QStringLiteral("links.html")))
                                             .resolved(QUrl(QStringLiteral("sub/target.html#part")))
                                             .toString());
    const auto remote = fragmentWith(*c.document, QStringLiteral("remote"));
    QCOMPARE(remote->format.anchorHref(), QStringLiteral("https://example.org/page"));
    // no link (it is an anchor all the same, as the page's start is a place)
    QVERIFY(fragmentWith(*c.document, QStringLiteral("See"))->format.anchorHref().isEmpty());
}

void tst_PageCapture::formControls()
{
    CAPTURE(c, QStringLiteral("forms.html"));
    const QString text = c.document->toPlainText();
    QCOMPARE(blockWith(*c.document, QStringLiteral("Name")).text(),
             QStringLiteral("Name Zed Mail you@host"));
    QCOMPARE(blockWith(*c.document, QStringLiteral("Second")).text(), QStringLiteral("Second"));
    QVERIFY(!text.contains(QStringLiteral("First")));
    QVERIFY(text.contains(QStringLiteral("typed text")));
    QCOMPARE(blockWith(*c.document, QStringLiteral("Press")).text(),
             QStringLiteral("Press me \u2611 yes \u2610 no"));
}

void tst_PageCapture::partialSelection_data()
{
    QTest::addColumn<QString>("start"); // node expression, offset
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("expected");
    QTest::newRow("across paragraphs") << "document.getElementById('b').firstChild,6"
                                       << "document.getElementById('c').firstChild,9"
                                       << "here and\nend there";
    QTest::newRow("inside one text") << "document.getElementById('b').firstChild,6"
                                     << "document.getElementById('b').firstChild,10"
                                     << "here";
    QTest::newRow("whole elements") << "document.body,3"
                                    << "document.body,6"
                                    << "Start here and\nend there please";
    QTest::newRow("out of bold") << "document.getElementById('bold').firstChild,4"
                                 << "document.getElementById('e').lastChild,3"
                                 << "three fo";
}

void tst_PageCapture::partialSelection()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, expected);
    CAPTURE(c, QStringLiteral("partial.html"),
            QStringLiteral("(function(){var r=document.createRange();r.setStart(%1);r.setEnd(%2);"
                           "var s=getSelection();s.removeAllRanges();s.addRange(r);})()")
                .arg(start, end));
    QCOMPARE(c.document->toPlainText(), expected);
    QCOMPARE(c.text.simplified(), QString(expected).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    if (expected.startsWith(QLatin1String("three"))) {
        QCOMPARE(fragmentWith(*c.document, QStringLiteral("three"))->format.fontWeight(), 700);
        QVERIFY(fragmentWith(*c.document, QStringLiteral("fo"))->format.fontWeight() < 600);
    }
}

void tst_PageCapture::strictContentSecurityPolicy()
{
    CAPTURE(c, QStringLiteral("csp.html"));
    QCOMPARE(c.document->toPlainText().trimmed(), QStringLiteral("Strict page text"));
}

void tst_PageCapture::selectionHtmlAndText()
{
    CAPTURE(c, QStringLiteral("links.html"));
    QVERIFY(c.text.contains(QStringLiteral("See the target and remote.")));
    QVERIFY(c.html.contains(QStringLiteral("href=\"https://example.org/page\"")));
    QVERIFY(c.html.contains(QStringLiteral("sub/target.html#part\"")));
    QVERIFY(c.html.contains(QStringLiteral("href=\"file:")));
}

void tst_PageCapture::deletedPageStillAnswers()
{
    auto *view = new QWebEngineView;
    auto *page = new QWebEnginePage(m_profile, view);
    view->setPage(page);
    bool loaded = false;
    connect(page, &QWebEnginePage::loadFinished, this, [&] { loaded = true; });
    page->load(QUrl::fromLocalFile(dataPath(QStringLiteral("text.html"))));
    QTRY_VERIFY_WITH_TIMEOUT(loaded, 20000);
    int calls = 0;
    CapturedSelection result;
    result.ok = true;
    PageCapture::captureSelection(page, [&](CapturedSelection r) {
        ++calls;
        result = std::move(r);
    });
    QCOMPARE(calls, 0); // never from inside the call
    delete view;
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 10000);
    QTest::qWait(200);
    QCOMPARE(calls, 1);
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());

    calls = 0;
    PageCapture::captureSelection(nullptr, [&](CapturedSelection r) {
        ++calls;
        result = std::move(r);
    });
    QCOMPARE(calls, 0);
    QTRY_COMPARE(calls, 1);
    QVERIFY(!result.ok);
}

void tst_PageCapture::navigationDuringCapture()
{
    load(QStringLiteral("text.html"));
    runMain(QStringLiteral("window.getSelection().selectAllChildren(document.body)"));
    int calls = 0;
    PageCapture::captureSelection(m_page, [&](CapturedSelection) { ++calls; });
    m_page->load(QUrl::fromLocalFile(dataPath(QStringLiteral("links.html"))));
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 20000);
    QTest::qWait(500);
    QCOMPARE(calls, 1);
    m_loaded.clear();
}

void tst_PageCapture::oddDescriptions_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << QByteArray("{}") << "";
    QTest::newRow("unknown format index")
        << QByteArray(R"({"blocks":[{"runs":[{"text":"a","format":99}]}]})") << "a";
    QTest::newRow("spans beyond the table")
        << QByteArray(R"({"blocks":[{"kind":"table","rows":2,"columns":2,"cells":[
               {"row":0,"column":0,"rowSpan":9,"columnSpan":9,"blocks":[{"runs":[{"text":"x"}]}]},
               {"row":5,"column":-1,"blocks":[{"runs":[{"text":"lost"}]}]}]}]})")
        << "\nx\n"; // Qt keeps a paragraph on each side of a table
    QTest::newRow("table too big for a table")
        << QByteArray(R"({"blocks":[{"kind":"table","rows":100000,"columns":100,"cells":[
               {"row":0,"column":0,"blocks":[{"runs":[{"text":"first"}]}]},
               {"row":99999,"column":99,"blocks":[{"runs":[{"text":"last"}]}]}]}]})")
        << "first\nlast";
    QTest::newRow("list without id")
        << QByteArray(R"({"blocks":[{"listItem":{"marker":"bogus"},"runs":[{"text":"item"}]}]})")
        << "item";
    QTest::newRow("image without source")
        << QByteArray(R"({"blocks":[{"runs":[{"image":{"alt":"alt text"}}]}]})") << "alt text";
}

// A long selection comes over in several parts, which join up whole and in order: no block lost
// or doubled at a seam, a list running across seams stays one list with its numbering.
void tst_PageCapture::longSelectionInParts()
{
    QFETCH_GLOBAL(bool, viaRtf);
    CAPTURE(c, QStringLiteral("long.html"));
    QVERIFY2(c.parts > 1, qPrintable(QString::number(c.parts)));
    int para = 0;
    int cell = 0;
    int item = 0;
    QTextList *firstList = nullptr;
    static const QRegularExpression number(QStringLiteral("^(para|cell|item) (\\d+)"));
    for (QTextBlock b = c.document->begin(); b.isValid(); b = b.next()) {
        const QRegularExpressionMatch m = number.match(b.text());
        if (!m.hasMatch())
            continue;
        const QString kind = m.captured(1);
        const int n = m.captured(2).toInt();
        if (kind == QLatin1String("para")) {
            QCOMPARE(n, para++);
            QCOMPARE(b.text(), QStringLiteral("para %1 with bold %1 and italic words").arg(n));
        } else if (kind == QLatin1String("cell")) {
            if (!b.text().endsWith(QLatin1Char('a')))
                continue;
            QCOMPARE(n, cell * 10 + 9);
            ++cell;
            QVERIFY(QTextCursor(b).currentTable());
        } else {
            QCOMPARE(n, item++);
            QTextList *list = b.textList();
            QVERIFY2(list, qPrintable(b.text()));
            QCOMPARE(list->format().style(), QTextListFormat::ListDecimal);
            if (!firstList) {
                firstList = list;
                QCOMPARE(list->format().property(RtfFormat::ListStart).toInt(), 5);
            }
            if (!viaRtf) // the RTF reader splits long lists into runs of items
                QCOMPARE(list, firstList);
        }
    }
    QCOMPARE(para, 3000);
    QCOMPARE(cell, 300);
    QCOMPARE(item, 3000);
    QVERIFY(blockWith(*c.document, QStringLiteral("the end")).isValid());
    if (!viaRtf)
        QCOMPARE(firstList->count(), 3000);
    // the HTML and text, asked for after the last part, are of the whole selection too
    QVERIFY(c.text.startsWith(QStringLiteral("para 0 with bold 0")));
    QVERIFY(c.text.trimmed().endsWith(QStringLiteral("the end")));
    QVERIFY(c.html.contains(QStringLiteral("<li>item 2999</li>")));
}

// A page that rewrites its content all the time while it is copied: the copy shows one state of
// the page, whole, even though page scripts run between the parts of the walk.
void tst_PageCapture::pageChangingDuringTheCopy()
{
    CAPTURE(c, QStringLiteral("changing.html"));
    static const QRegularExpression line(QStringLiteral("^generation (\\d+) paragraph (\\d+)$"));
    int generation = -1;
    int next = 0;
    for (QTextBlock b = c.document->begin(); b.isValid(); b = b.next()) {
        const QRegularExpressionMatch m = line.match(b.text());
        if (!m.hasMatch())
            continue;
        if (generation < 0)
            generation = m.captured(1).toInt();
        QCOMPARE(m.captured(1).toInt(), generation);
        QCOMPARE(m.captured(2).toInt(), next++);
    }
    QCOMPARE(next, 6000);
    QVERIFY(blockWith(*c.document, QStringLiteral("above the changes")).isValid());
    QVERIFY(blockWith(*c.document, QStringLiteral("below the changes")).isValid());
}

// The description comes from a script in someone else's page; whatever it holds gives a document.
void tst_PageCapture::oddDescriptions()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, text);
    QTextDocument document;
    CaptureDocumentBuilder builder(&document);
    const CaptureDocumentBuilder::Part part =
        builder.prepare(QJsonDocument::fromJson(json).object());
    builder.build(part, QList<QByteArray>(part.images.size()));
    builder.finish();
    QCOMPARE(document.toPlainText(), text);
}

// The browser's own Select All sets the range's ends differently from selectAllChildren; the
// capture must not depend on where exactly they stand.
void tst_PageCapture::browserSelectAll()
{
    CAPTURE(byScript, QStringLiteral("tables.html"));
    CAPTURE(byCommand, QStringLiteral("tables.html"),
            QStringLiteral("document.execCommand('selectAll')"));
    QCOMPARE(byCommand.document->toPlainText(), byScript.document->toPlainText());
    QCOMPARE(::tables(*byCommand.document).size(), 3);
}

void tst_PageCapture::emptySelection()
{
    CAPTURE(c, QStringLiteral("partial.html"), QStringLiteral("getSelection().removeAllRanges()"));
    QVERIFY(c.document->isEmpty());
    QVERIFY(c.text.isEmpty());
}

void tst_PageCapture::imageConversion()
{
    // Bytes that are no picture give nothing rather than a broken image.
    QVERIFY(CaptureImages::toPngOrJpeg(QByteArray("not an image at all"), 10, 10).isEmpty());
    QVERIFY(CaptureImages::toPngOrJpeg(QByteArray("<svg broken"), 10, 10).isEmpty());
    QCOMPARE(CaptureImages::decodeDataUrl(QStringLiteral("data:text/plain,a%20b")),
             QByteArray("a b"));
    QCOMPARE(CaptureImages::decodeDataUrl(QStringLiteral("data:;base64,aGk=")), QByteArray("hi"));
    QVERIFY(CaptureImages::decodeDataUrl(QStringLiteral("data:;base64,!!!")).isEmpty());
    QVERIFY(CaptureImages::decodeDataUrl(QStringLiteral("data:nocomma")).isEmpty());
}

// The text of ::before, ::after and ::marker, in the block where the browser shows it; list is
// the style of the block's list, or 1 for none.
void tst_PageCapture::generatedContent_data()
{
    QTest::addColumn<QString>("contains");
    QTest::addColumn<QString>("block");
    QTest::addColumn<int>("list");
    const int none = 1;
    QTest::newRow("counter") << "Intro"
                             << "1. Intro" << none;
    QTest::newRow("nested counters") << "Second"
                                     << "2.b Second" << none;
    QTest::newRow("counter reset by its parent's sibling") << "Scope"
                                                           << "1.a Scope" << none;
    QTest::newRow("label") << "Keep a copy"
                           << "Note: Keep a copy." << none;
    QTest::newRow("quotes") << "He said" << u"He said \u201chello \u2018there\u2019\u201d twice."_qs
                            << none;
    QTest::newRow("attr") << "Alpha link"
                          << "Alpha link [one] and Bravo link [two]" << none;
    QTest::newRow("icon font left out") << "Glyph text"
                                        << "Glyph text" << none;
    QTest::newRow("list marker not doubled")
        << "marked item" << u"\u00bb marked item"_qs << int(QTextListFormat::ListDisc);
    QTest::newRow("marker content")
        << "arrow item" << u"\u2192 arrow item"_qs << int(QTextListFormat::ListStyleUndefined);
    QTest::newRow("marker counting the items")
        << "fifth paren"
        << "5) fifth paren" << int(QTextListFormat::ListStyleUndefined);
    QTest::newRow("for screen readers only") << "Screen reader"
                                             << "Screen reader text" << none;
    QTest::newRow("block of its own") << "Block after"
                                      << "Block after" << none;
    QTest::newRow("block before it") << "Block text"
                                     << "Block text" << none;
}

void tst_PageCapture::generatedContent()
{
    QFETCH(QString, contains);
    QFETCH(QString, block);
    QFETCH(int, list);
    CAPTURE(c, QStringLiteral("generated.html"));
    const QTextBlock b = blockWith(*c.document, contains);
    QVERIFY2(b.isValid(), qPrintable(c.document->toPlainText()));
    QCOMPARE(b.text(), block);
    QCOMPARE(b.textList() ? int(b.textList()->format().style()) : 1, list);
}

void tst_PageCapture::generatedContentFormats()
{
    CAPTURE(c, QStringLiteral("generated.html"));
    // the pseudo-element's own format: its label is bold, the text after it is not
    const auto label = fragmentWith(*c.document, QStringLiteral("Note:"));
    const auto text = fragmentWith(*c.document, QStringLiteral("Keep a copy"));
    QVERIFY(label && text);
    QCOMPARE(label->format.fontWeight(), int(QFont::Bold));
    QCOMPARE(text->format.fontWeight(), int(QFont::Normal));
    // url() in content: the image, in front of the text
    const QTextBlock icon = blockWith(*c.document, QStringLiteral("Red icon"));
    QVERIFY(icon.isValid());
    QCOMPARE(icon.text().at(0), QChar::ObjectReplacementCharacter);
    bool image = false;
    for (auto it = icon.begin(); !it.atEnd(); ++it)
        image = image || it.fragment().charFormat().isImageFormat();
    QVERIFY(image);
}

// Lists without markers stay lists, at a level with no marker; a marker that no list level
// shows goes in front of the text.
void tst_PageCapture::listsWithoutMarkers_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("level");
    const int none = int(QTextListFormat::ListStyleUndefined);
    QTest::newRow("item") << "plain one"
                          << "plain one" << none << 1;
    QTest::newRow("nested") << "plain nested"
                            << "plain nested" << none << 2;
    QTest::newRow("after a nested list") << "plain two"
                                         << "plain two" << none << 1;
    QTest::newRow("string marker") << "dashed item"
                                   << "- dashed item" << none << 1;
    QTest::newRow("other numbers") << "greek item"
                                   << "greek item" << int(QTextListFormat::ListDecimal) << 1;
}

void tst_PageCapture::listsWithoutMarkers()
{
    QFETCH(QString, item);
    QFETCH(QString, text);
    QFETCH(int, style);
    QFETCH(int, level);
    CAPTURE(c, QStringLiteral("nomarkers.html"));
    const QTextBlock b = blockWith(*c.document, item);
    QVERIFY(b.isValid());
    QCOMPARE(b.text(), text);
    QVERIFY(b.textList());
    QCOMPARE(int(b.textList()->format().style()), style);
    QCOMPARE(b.textList()->format().indent(), level);
    QVERIFY(!blockWith(*c.document, QStringLiteral("before plain")).textList());
    QVERIFY(!blockWith(*c.document, QStringLiteral("after plain")).textList());
    // the items of one list share it
    const QTextBlock one = blockWith(*c.document, QStringLiteral("plain one"));
    const QTextBlock two = blockWith(*c.document, QStringLiteral("plain two"));
    QCOMPARE(one.textList(), two.textList());
}

// Boxes that the browser lays out side by side stay on one line, in the order they are read;
// list items stay list items, each a paragraph of its own, wherever the browser places them.
void tst_PageCapture::itemsInRows_data()
{
    QTest::addColumn<QString>("contains");
    QTest::addColumn<QString>("block");
    QTest::addColumn<bool>("item");
    QTest::newRow("inline items") << "NAV-A"
                                  << "NAV-A | NAV-B | NAV-C" << false;
    QTest::newRow("floated boxes") << "Box one"
                                   << "Box one Box two" << false;
    QTest::newRow("row of links") << "Bar one"
                                  << "Bar one Bar two" << false;
    QTest::newRow("flexible row of items") << "Flex two"
                                           << "Flex two" << true;
    QTest::newRow("reversed row of items") << "shown first"
                                           << "shown first" << true;
    QTest::newRow("floated items") << "Float two"
                                   << "Float two" << true;
    QTest::newRow("floated right") << "Right first"
                                   << "Right first" << true;
    QTest::newRow("column") << "Column one"
                            << "Column one" << true;
}

void tst_PageCapture::itemsInRows()
{
    QFETCH(QString, contains);
    QFETCH(QString, block);
    QFETCH(bool, item);
    CAPTURE(c, QStringLiteral("rows.html"));
    const QTextBlock b = blockWith(*c.document, contains);
    QVERIFY2(b.isValid(), qPrintable(c.document->toPlainText()));
    QCOMPARE(b.text(), block);
    QCOMPARE(b.textList() != nullptr, item);
}

// A frame's document in place, when the page may read it; otherwise a link to its address.
void tst_PageCapture::frames()
{
    CAPTURE(c, QStringLiteral("frames.html"));
    const QTextDocument &doc = *c.document;
    const QTextBlock before = blockWith(doc, QStringLiteral("before the frame"));
    const QTextBlock heading = blockWith(doc, QStringLiteral("Framed heading"));
    const QTextBlock between = blockWith(doc, QStringLiteral("between the frames"));
    const QTextBlock inPlace = blockWith(doc, QStringLiteral("Written in place"));
    const QTextBlock link = blockWith(doc, QStringLiteral("127.0.0.1:9/unreachable.html"));
    const QTextBlock after = blockWith(doc, QStringLiteral("after the frames"));
    QVERIFY2(heading.isValid() && inPlace.isValid() && link.isValid(),
             qPrintable(doc.toPlainText()));
    QVERIFY(before.position() < heading.position());
    QVERIFY(heading.position() < between.position());
    QVERIFY(between.position() < inPlace.position());
    QVERIFY(inPlace.position() < link.position());
    QVERIFY(link.position() < after.position());
    QCOMPARE(heading.blockFormat().headingLevel(), 2);
    const auto bold = fragmentWith(doc, QStringLiteral("bold"));
    QVERIFY(bold);
    QCOMPARE(bold->format.fontWeight(), int(QFont::Bold));
    QVERIFY(blockWith(doc, QStringLiteral("framed item")).textList());
    const auto address = fragmentWith(doc, QStringLiteral("unreachable.html"));
    QVERIFY(address);
    QCOMPARE(address->format.anchorHref(), QStringLiteral("http://127.0.0.1:9/unreachable.html"));
}

// A javadoc member list: items without markers that hold sections (a heading, paragraphs, a
// table) stay items of their list and level, each on its first paragraph of text, with its
// other blocks in place; an item that holds only a heading, or holds a list, is on the heading.
void tst_PageCapture::itemsHoldingBlocks()
{
    CAPTURE(c, QStringLiteral("memberlist.html"));
    const QTextDocument &doc = *c.document;
    const auto item = [&](const QString &text) {
        return blockWith(doc, text).textList();
    };
    const QTextBlock first = blockWith(doc, QStringLiteral("public static int firstMember()"));
    QVERIFY2(first.isValid(), qPrintable(doc.toPlainText()));
    QTextList *members = first.textList();
    QVERIFY(members);
    QCOMPARE(members->format().indent(), 2);
    QCOMPARE(item(QStringLiteral("public void secondMember")), members);
    QCOMPARE(item(QStringLiteral("onlyHeading")), members);
    QCOMPARE(members->count(), 3);
    for (const char *inItem : {"firstMember", "What the first member does", "After the first table",
                               "secondMember", "second since"}) {
        if (blockWith(doc, QLatin1String(inItem)) != first)
            QVERIFY2(!item(QLatin1String(inItem)), inItem);
    }
    QTextList *details = item(QStringLiteral("Method Details"));
    QVERIFY(details);
    QCOMPARE(details->format().indent(), 1);
    QVERIFY(details != members);
    // the table stays between the item's paragraphs
    const QList<QTextTable *> found = ::tables(doc);
    QCOMPARE(found.size(), 1);
    QVERIFY(found.first()->firstPosition() > first.position());
    QVERIFY(found.first()->lastPosition() <
            blockWith(doc, QStringLiteral("After the first table")).position());
    // a marker shown keeps its place on the heading
    QVERIFY(item(QStringLiteral("Marked heading item")));
    QVERIFY(!item(QStringLiteral("marked body")));
    QVERIFY(!item(QStringLiteral("After the lists")));
}

// The side a paragraph's lines are aligned to on the page: Qt names them by where the lines of
// a right-to-left paragraph start.
QString shownSide(const QTextBlockFormat &format)
{
    const Qt::Alignment a = format.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter)
        return QStringLiteral("center");
    if (a & Qt::AlignJustify)
        return QStringLiteral("justify");
    const bool leading = !(a & Qt::AlignRight);
    const bool rtl = format.layoutDirection() == Qt::RightToLeft;
    return leading == rtl ? QStringLiteral("right") : QStringLiteral("left");
}

void tst_PageCapture::rightToLeft_data()
{
    QTest::addColumn<QString>("contains");
    QTest::addColumn<bool>("rtl");
    QTest::addColumn<QString>("side");
    QTest::addColumn<bool>("inList");
    QTest::newRow("heading") << "راهنمای مدیر سیستم" << true << "right" << false;
    QTest::newRow("numbers and Latin words")
        << "دبیان 12 با APT و dpkg" << true << "right" << false;
    QTest::newRow("centred") << "این بند در وسط" << true << "center" << false;
    QTest::newRow("aligned left") << "به چپ چیده" << true << "left" << false;
    QTest::newRow("table cell") << "ستون نخست" << true << "right" << false;
    QTest::newRow("list item") << "مورد نخست فهرست" << true << "right" << true;
    QTest::newRow("item with a Latin word")
        << "مورد دوم فهرست با SELinux" << true << "right" << true;
    QTest::newRow("left to right inside")
        << "A paragraph written left to right" << false << "left" << false;
}

// A page written right to left: its paragraphs, table cells and list items are right-to-left
// paragraphs, aligned to the side the browser shows them on, their text in reading order.
void tst_PageCapture::rightToLeft()
{
    QFETCH(QString, contains);
    QFETCH(bool, rtl);
    QFETCH(QString, side);
    QFETCH(bool, inList);
    CAPTURE(c, QStringLiteral("rtl.html"));
    const QTextBlock b = blockWith(*c.document, contains);
    QVERIFY2(b.isValid(), qPrintable(c.document->toPlainText()));
    QCOMPARE(b.blockFormat().layoutDirection() == Qt::RightToLeft, rtl);
    QCOMPARE(shownSide(b.blockFormat()), side);
    QCOMPARE(b.textList() != nullptr, inList);
    const QList<QTextTable *> found = ::tables(*c.document);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first()->format().layoutDirection(), Qt::RightToLeft);
}

// In the RTF: right-to-left paragraphs and rows, and the runs of Persian letters marked right to
// left in a font that has them; the Latin words and numbers between them are runs of their own.
void tst_PageCapture::rightToLeftInRtf()
{
    CAPTURE(c, QStringLiteral("rtl.html"));
    const QByteArray &rtf = c.rtf;
    QVERIFY(rtf.contains("\\rtlpar"));
    QVERIFY(rtf.contains("\\rtlrow"));
    static const QRegularExpression marked(QStringLiteral("\\\\rtlch\\\\af(\\d+)\\\\afs\\d+"));
    const QRegularExpressionMatch m = marked.match(QString::fromLatin1(rtf));
    QVERIFY2(m.hasMatch(), rtf.left(2000).constData());
    // the font named for the script has its letters
    const QRegularExpression fontEntry(
        QStringLiteral("\\{\\\\f%1\\\\[^ ]* ([^;]*);").arg(m.captured(1)));
    const QRegularExpressionMatch font = fontEntry.match(QString::fromLatin1(rtf));
    QVERIFY(font.hasMatch());
    QVERIFY2(QFontDatabase::writingSystems(font.captured(1)).contains(QFontDatabase::Arabic),
             qPrintable(font.captured(1)));
    // "APT" and "dpkg" are not in a right-to-left run
    QVERIFY(!QRegularExpression(QStringLiteral("\\\\rtlch[^ {}]* [^{}]*APT"))
                 .match(QString::fromLatin1(rtf))
                 .hasMatch());
    QVERIFY(rtf.contains(" APT "));
}

// The link patterns that came out doubled: a YARD page's site index in a frame whose links open
// in the page, links with an empty address (the page's own name), and a DocBook navigation link
// whose title is broken by a block: one link for each the browser lays out, to its target.
void tst_PageCapture::linksAsShown()
{
    CAPTURE(c, QStringLiteral("linkpatterns.html"));
    const QTextDocument &doc = *c.document;
    QVERIFY2(!doc.toPlainText().contains(QStringLiteral("Index entry")),
             qPrintable(doc.toPlainText()));
    QVERIFY(!doc.toPlainText().contains(QStringLiteral("Site index")));
    const auto self = fragmentWith(doc, QStringLiteral("SelfMock"));
    QVERIFY(self);
    QVERIFY(!self->format.isAnchor());
    const auto collapse = fragmentWith(doc, QStringLiteral("collapse"));
    QVERIFY(collapse && collapse->format.isAnchor());
    const auto expectation = fragmentWith(doc, QStringLiteral("Expectation"));
    QVERIFY(expectation && expectation->format.anchorHref().endsWith(u"/Expectation.html"));
    // the navigation link: one run of one link, its title on a line of its own
    const QTextBlock prev = blockWith(doc, QStringLiteral("Prev"));
    QVERIFY(prev.isValid());
    QCOMPARE(prev.text(), QStringLiteral("Prev\u20285.5. Coexistence with Others"));
    int links = 0;
    QString open;
    for (const Fragment &f : fragments(doc)) {
        const QString href = f.format.isAnchor() ? f.format.anchorHref() : QString();
        if (!href.isEmpty() && href != open && href.endsWith(u"/prev.html"))
            ++links;
        open = href;
    }
    QCOMPARE(links, 1);
    QVERIFY(blockWith(doc, QStringLiteral("After the navigation")).isValid());
}

// A numbered list of 1,000 items shows 1 to 1,000 in the pane (the RTF read back), and the file
// saved from the pane counts to 1,000 too.
void tst_PageCapture::longNumberedList()
{
    CAPTURE(c, QStringLiteral("longlist.html"));
    const auto check = [](const QTextDocument &doc) {
        for (int n : {1, 256, 257, 512, 513, 1000}) {
            const QString text = QStringLiteral("entry %1").arg(n);
            QTextBlock b = blockWith(doc, text);
            while (b.isValid() && b.text() != text)
                b = b.next();
            if (!b.isValid() || !b.textList())
                return QStringLiteral("no list item %1").arg(n);
            const QString shown = b.textList()->itemText(b);
            if (shown != QStringLiteral("%1.").arg(n))
                return QStringLiteral("item %1 shows %2").arg(n).arg(shown);
        }
        return QString();
    };
    const QString shown = check(*c.document);
    QVERIFY2(shown.isEmpty(), qPrintable(shown));
    const QByteArray saved = RtfWriter::write(*c.document);
    QVERIFY(saved.contains("{\\pntext 1000.\\tab}"));
    QVERIFY(saved.contains("{\\pntext 257.\\tab}"));
    QTextDocument reopened;
    QTextCursor cursor(&reopened);
    QVERIFY(RtfReader::insert(cursor, QByteArrayView(saved)).isRtf);
    const QString again = check(reopened);
    QVERIFY2(again.isEmpty(), qPrintable(again));
}

void tst_PageCapture::scriptUnitsStandAlone_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("defines");
    QTest::newRow("styles") << "styles.js"
                            << "captureStyles";
    QTest::newRow("places") << "places.js"
                            << "capturePlaces";
    QTest::newRow("blocks") << "blocks.js"
                            << "captureBlocks";
    QTest::newRow("replaced") << "replaced.js"
                              << "captureReplaced";
    QTest::newRow("generated") << "generated.js"
                               << "captureGenerated";
    QTest::newRow("lists") << "lists.js"
                           << "captureLists";
    QTest::newRow("tables") << "tables.js"
                            << "captureTables";
    QTest::newRow("walk") << "walk.js"
                          << "captureWalk";
    QTest::newRow("markup") << "markup.js"
                            << "folvaneCaptureMarkup";
    // The last file runs the walk when evaluated; it only has to parse on its own.
    QTest::newRow("parts") << "parts.js"
                           << "";
}

// Each file of the capture's script is a unit of its own: it parses alone and, evaluated alone
// in a world of its own, defines its one function and nothing else.
void tst_PageCapture::scriptUnitsStandAlone()
{
    QFETCH_GLOBAL(bool, viaRtf);
    if (viaRtf)
        QSKIP("no document involved");
    QFETCH(QString, file);
    QFETCH(QString, defines);
    QFile source(QFINDTESTDATA(QStringLiteral("../script/") + file));
    QVERIFY2(source.open(QIODevice::ReadOnly), qPrintable(file));
    const QByteArray literal = QJsonDocument(QJsonArray{QString::fromUtf8(source.readAll())})
                                   .toJson(QJsonDocument::Compact);
    const QString check = defines.isEmpty() ? QStringLiteral(R"((function (source) {
        try { new Function(source); return ''; } catch (e) { return 'error: ' + e; }
    })(%1[0]))")
                                            : QStringLiteral(R"((function (source) {
        const before = new Set(Object.getOwnPropertyNames(globalThis));
        try { (0, eval)(source); } catch (e) { return 'error: ' + e; }
        return Object.getOwnPropertyNames(globalThis).filter((n) => !before.has(n)).join(',');
    })(%1[0]))");
    load(QStringLiteral("text.html"));
    QString answer = QStringLiteral("no answer");
    bool done = false;
    // A world nobody else uses, so that one row's definitions are not seen by the next.
    const quint32 world = QWebEngineScript::UserWorld + 100 + QTest::currentDataTag()[0];
    m_page->runJavaScript(check.arg(QString::fromUtf8(literal)), world,
                          [&](const QVariant &result) {
                              answer = result.toString();
                              done = true;
                          });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QCOMPARE(answer, defines);
}

void tst_PageCapture::placesLandOnTheirText_data()
{
    QTest::addColumn<QString>("id");     // empty: the page's start
    QTest::addColumn<QString>("select"); // empty: the whole page
    QTest::addColumn<QString>("lands");  // empty: not in the document
    const QString part = QStringLiteral(
        "const r = document.createRange();"
        "r.setStartBefore(document.getElementById('intro'));"
        "r.setEndAfter(document.getElementById('inline').parentNode);"
        "window.getSelection().removeAllRanges(); window.getSelection().addRange(r);");
    QTest::newRow("page start") << ""
                                << ""
                                << "Opening words of the page.";
    QTest::newRow("heading") << "intro"
                             << ""
                             << "Introduction heading";
    QTest::newRow("inline element") << "inline"
                                    << ""
                                    << "an inline place inside.";
    QTest::newRow("a name") << "old-style"
                            << ""
                            << "Named anchor text";
    QTest::newRow("empty a before a heading") << "empty"
                                              << ""
                                              << "After an empty anchor";
    QTest::newRow("empty span before a heading") << "before-heading"
                                                 << ""
                                                 << "Heading after a span";
    QTest::newRow("hidden element") << "hidden"
                                    << ""
                                    << "Shown after hidden";
    QTest::newRow("inside a hidden element") << "hidden-inner"
                                             << ""
                                             << "Shown after hidden";
    QTest::newRow("list item") << "item"
                               << ""
                               << "List item text";
    QTest::newRow("table row") << "row"
                               << ""
                               << "Cell text";
    QTest::newRow("table cell") << "cell"
                                << ""
                                << "Cell text";
    QTest::newRow("dotted id") << "2.1-intro"
                               << ""
                               << "Dotted id text";
    QTest::newRow("id not in ASCII") << "\u00fcber"
                                     << ""
                                     << "Umlaut id text";
    QTest::newRow("id of an a") << "both"
                                << ""
                                << "Id and name";
    QTest::newRow("name beside the id") << "also"
                                        << ""
                                        << "Id and name";
    QTest::newRow("first of two equal ids") << "dup"
                                            << ""
                                            << "First duplicate";
    QTest::newRow("space that shows nothing") << "trailing"
                                              << ""
                                              << "Next paragraph after trailing";
    QTest::newRow("two-unit first character") << "emoji"
                                              << ""
                                              << "\U0001F600 face first";
    QTest::newRow("last paragraph") << "last"
                                    << ""
                                    << "Final words";
    QTest::newRow("hidden, nothing after") << "at-end"
                                           << ""
                                           << "Final words";
    QTest::newRow("part: page start") << "" << part << "Introduction heading";
    QTest::newRow("part: inside") << "inline" << part << "an inline place inside.";
    QTest::newRow("part: after it") << "old-style" << part << "";
    QTest::newRow("part: hidden after it") << "hidden" << part << "";
}

// A place sits on the text it begins, from its first character, and nowhere else.
void tst_PageCapture::placesLandOnTheirText()
{
    QFETCH(QString, id);
    QFETCH(QString, select);
    QFETCH(QString, lands);
    const QString page = QStringLiteral("linktargets.html");
    CAPTURE(c, page,
            select.isEmpty()
                ? QStringLiteral("window.getSelection().selectAllChildren(document.body)")
                : select);
    const Landing at = landing(*c.document, placeKey(dataPath(page), id));
    if (lands.isEmpty()) {
        QCOMPARE(at.paragraphs, 0);
        return;
    }
    QCOMPARE(at.text, lands);
    QCOMPARE(at.fragments, 1);
    QCOMPARE(at.paragraphs, 1);
}

void tst_PageCapture::linksAndPlacesThroughSymbolicLinks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("href"); // relative to the folder of the pages
    QTest::newRow("same page") << "same page"
                               << "real.html#sec";
    QTest::newRow("through the link") << "through the link"
                                      << "real.html#sec";
    QTest::newRow("the file itself") << "the file itself"
                                     << "real.html";
    QTest::newRow("a missing file") << "a missing file"
                                    << "missing.html#x";
    QTest::newRow("a folder through the link") << "a folder through the link"
                                               << "folder/inner.html";
}

// A page read through a symbolic link, and links that name a file through one, name the file
// it leads to: its places and the links agree whichever path each took.
void tst_PageCapture::linksAndPlacesThroughSymbolicLinks()
{
    QFETCH(QString, text);
    QFETCH(QString, href);
    static QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    const QString real = root + QStringLiteral("/real.html");
    if (!QFile::exists(real)) {
        QFile page(real);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!DOCTYPE html><html><body><p id=\"sec\">Section text</p>"
                   "<p><a href=\"#sec\">same page</a></p>"
                   "<p><a href=\"alias.html#sec\">through the link</a></p>"
                   "<p><a href=\"real.html\">the file itself</a></p>"
                   "<p><a href=\"missing.html#x\">a missing file</a></p>"
                   "<p><a href=\"aliasfolder/inner.html\">a folder through the link</a></p>"
                   "</body></html>");
        page.close();
        QVERIFY(QFile::link(real, root + QStringLiteral("/alias.html")));
        QVERIFY(QDir(root).mkdir(QStringLiteral("folder")));
        QFile inner(root + QStringLiteral("/folder/inner.html"));
        QVERIFY(inner.open(QIODevice::WriteOnly));
        inner.close();
        QVERIFY(
            QFile::link(root + QStringLiteral("/folder"), root + QStringLiteral("/aliasfolder")));
    }
    CAPTURE(c, root + QStringLiteral("/alias.html"));
    const auto link = fragmentWith(*c.document, text);
    QVERIFY(link);
    QCOMPARE(link->format.anchorHref(),
             QUrl::fromLocalFile(root + QLatin1Char('/')).resolved(QUrl(href)).toString());
    QCOMPARE(landing(*c.document, placeKey(real, QString())).text, QStringLiteral("Section text"));
    QCOMPARE(landing(*c.document, placeKey(real, QStringLiteral("sec"))).text,
             QStringLiteral("Section text"));
}

QTEST_MAIN(tst_PageCapture)
#include "tst_pagecapture.moc"
