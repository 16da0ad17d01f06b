#pragma once

// The RTF reader's parts share what is declared here. The reader follows the way an RTF
// import commonly divides its work: the read loop with text, paragraphs and formats
// (rtfreader.cpp), and one part for each kind of control word: flags and toggles
// (rtfreader_flags.cpp), values (rtfreader_values.cpp), symbols (rtfreader_symbols.cpp) and
// destinations with their tables of fonts, colours, lists and fields
// (rtfreader_destinations.cpp); then the table model (rtfreader_tables.cpp), pictures
// (rtfreader_pictures.cpp) and code pages (rtfreader_codepages.cpp). What the read loop runs
// for every piece of text stays in rtfreader.cpp, where the compiler can inline it.

#include "rtfcontrolwords.h"
#include "rtfreader.h"
#include "rtftokenizer.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextFormat>
#include <QTextList>
#include <QTextOption>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace RtfImport {

// Deeper groups than this are still balanced, but share their parent's state.
inline constexpr int kMaxStateDepth = 4096;
inline constexpr int kMaxTableDepth = 32;
inline constexpr int kMaxCellsPerRow = 256;
inline constexpr int kMaxListItems = 256;
// Qt 6.4 numbers a list's items from 1 whatever its start, so the later parts of a split numbered
// list would show 1 again; numbered lists are split only far beyond where bullets are.
inline constexpr int kMaxNumberedListItems = 2048;
inline constexpr qreal kTwipsPerPixel = 15.0; // 1440 twips an inch, 96 pixels an inch
// Cell boundaries beyond this (about 1.7 km) are taken as this, so sums of them cannot overflow.
inline constexpr int kMaxTwips = 100000000;
// The longest bookmark name, place key or link address kept; the rest is dropped.
inline constexpr qsizetype kMaxNameLength = 16384;
// The most places one paragraph keeps.
inline constexpr size_t kMaxPlacesPerParagraph = 65536;

enum class Dest : quint8 {
    Normal,
    Skip,
    FontTable,
    ColorTable,
    FieldInstruction,
    Picture,
    ListTable,
    List,
    ListLevel,
    LevelText,
    ListOverrideTable,
    ListOverride,
    PnText,
    Pn,
    PnTextBefore,
    NestTableProps,
    Upr,
    BookmarkName, // \bkmkstart
    PlaceKey,     // {\*\folvaneplace KEY}: the key of the place of the bookmark just before
    LinkAddress,  // {\*\folvanelink ADDRESS} in a field instruction: the link's own address
    StyleSheet,
};

// The character formatting of a group as plain values: groups copy it for nothing, runs
// compare it cheaply, and the QTextCharFormat for it is made once (Builder::charFormat).
// Each member is a property of that format, absent when it holds its default.
struct CharStyle {
    qint32 foreground = -1; // 0xRRGGBB
    qint32 background = -1;
    qint32 family = -1; // index in Builder::m_families
    qint32 href = -1;   // index in Builder::m_hrefs; the text is a link
    quint16 halfPoints = 0;
    quint8 underline = 0; // QTextCharFormat::UnderlineStyle
    quint8 vAlign = 0;    // QTextCharFormat::VerticalAlignment
    quint8 caps = 0;      // QFont::Capitalization
    bool bold = false;
    bool italic = false;
    bool strike = false;

    // Compared for every piece of text: as bytes, which the compiler does in three loads.
    friend bool operator==(const CharStyle &a, const CharStyle &b)
    {
        return std::memcmp(&a, &b, sizeof(CharStyle)) == 0;
    }
    friend size_t qHash(const CharStyle &c, size_t seed = 0)
    {
        return qHashBits(&c, sizeof(CharStyle), seed);
    }
};
static_assert(std::has_unique_object_representations_v<CharStyle>, "no padding in CharStyle");

// The paragraph formatting of a group, the same way (Builder::blockFormat()).
struct BlockStyle {
    static constexpr qint32 None = INT_MIN; // no parameter reads as this
    qint32 left = None;                     // margins and first-line indent in twips
    qint32 right = None;
    qint32 indent = None;
    qint32 top = None;
    qint32 bottom = None;
    qint32 background = -1; // 0xRRGGBB
    quint16 alignment = 0;  // Qt::Alignment
    quint8 headingLevel = 0;
    bool rightToLeft = false;
    bool pageBreakBefore = false;
    bool nonBreakable = false;
    quint8 unused[2] = {};

    friend bool operator==(const BlockStyle &a, const BlockStyle &b)
    {
        return std::memcmp(&a, &b, sizeof(BlockStyle)) == 0;
    }
    friend size_t qHash(const BlockStyle &b, size_t seed = 0)
    {
        return qHashBits(&b, sizeof(BlockStyle), seed);
    }
};
static_assert(std::has_unique_object_representations_v<BlockStyle>, "no padding in BlockStyle");

// Everything a group inherits from its parent and loses at its end.
struct State {
    CharStyle chr;
    BlockStyle blk;
    QList<QTextOption::Tab> tabs; // of the paragraph; usually none, so free to copy
    Dest dest = Dest::Normal;
    int uc = 1;
    int font = -1; // -1: the document's default font
    int lineSpacing = 0;
    bool lineMultiple = false;
    int ls = 0;
    int ilvl = 0;
    int itap = 0; // table nesting of the paragraph; 0 outside tables
    QTextOption::TabType tabType = QTextOption::LeftTab;
    QTextListFormat::Style pnStyle = QTextListFormat::ListStyleUndefined;
    int pnLevel = 1;
    int pnStart = 1;
    int field = -1;
    bool hidden = false;
};

struct Run {
    qsizetype start;
    qsizetype length;
    CharStyle style;
    int image = -1; // index in Builder::m_images, for the one character of a picture
};

// A place (a bookmark, or a key) on the character at an offset of a paragraph's text; at the
// paragraph's end, on its last character, or on the paragraph's own format when it is empty.
struct ParagraphPlace {
    qsizetype offset;
    QString name;
};

struct Paragraph {
    std::u16string text;
    std::vector<Run> runs;
    std::vector<ParagraphPlace> places;
    QTextBlockFormat format;
    quint64 listKey = 0;
    QTextListFormat listFormat;
    bool isEmpty() const { return text.empty(); }
};

struct CellDef {
    int right = 0;
    bool mergeFirst = false;
    bool merge = false;
    bool vMergeFirst = false;
    bool vMerge = false;
    QColor background;
    int border = -1; // twips, -1 when the cell names no border
    QTextFrameFormat::BorderStyle borderStyle = QTextFrameFormat::BorderStyle_Solid;
    QColor borderColor;
    QTextCharFormat::VerticalAlignment vAlign = QTextCharFormat::AlignNormal;
};

struct RowDef {
    std::vector<CellDef> cells;
    CellDef pending;
    bool header = false;
    int left = 0;
    int padding = -1;
    int gap = -1;
    int spacing = -1;
    Qt::Alignment alignment;
    bool rightToLeft = false; // its cells run from right to left
    int border = -1;
    QTextFrameFormat::BorderStyle borderStyle = QTextFrameFormat::BorderStyle_Solid;
    QColor borderColor;
};

struct TableModel;

struct Item {
    Paragraph paragraph;
    std::unique_ptr<TableModel> table;
};

struct CellModel {
    std::vector<Item> items;
};

struct RowModel {
    std::vector<CellModel> cells;
    RowDef def;
};

struct TableModel {
    std::vector<RowModel> rows;
};

struct OpenTable {
    std::unique_ptr<TableModel> model = std::make_unique<TableModel>();
    std::vector<CellModel> rowCells;
    CellModel cell;
};

struct FontDef {
    QString name;
    int family = -1; // index in Builder::m_families
    int charset = -1;
    int codePage = 0;
};

struct ListLevelDef {
    int nfc = 0;
    int start = 1;
    QString text;
};

struct ListDef {
    int id = 0;
    std::vector<ListLevelDef> levels;
};

struct Field {
    QString instruction;
    QString href;
    QString address; // from {\*\folvanelink}: where an internal link pointed in its own page
};

struct Picture {
    enum class Kind { None, Png, Jpeg, Metafile, Other } kind = Kind::None;
    QByteArray data;
    int nibble = -1;
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    bool badHex = false;
};

// ---- helpers of more than one part ----

// The list style of a list level's number format (\levelnfc) and text (rtfreader_destinations.cpp).
QTextListFormat::Style styleForNfc(int nfc, QStringView levelText);

inline qint32 rgbOf(const QColor &c)
{
    return c.isValid() ? qint32(c.rgb() & 0xffffff) : -1;
}

// Characters that QTextDocument gives a structural meaning are not plain text here.
inline char16_t plainCharacter(char16_t c)
{
    if ((c < 0x20 && c != u'\t') || c == 0x7f)
        return u' ';
    if (c == QChar::ParagraphSeparator)
        return QChar::LineSeparator;
    if (c == QChar::ObjectReplacementCharacter || c == 0xFDD0 || c == 0xFDD1)
        return QChar::ReplacementCharacter;
    return c;
}

// The layer above the tokenizer: keeps the stack of group states, collects paragraphs and
// tables, and puts them into the document through the cursor.
class Builder final {
public:
    Builder(QTextCursor &cursor, QList<RtfError> &errors) : m_cursor(cursor), m_errors(errors)
    {
        m_states.reserve(64);
        m_states.emplace_back();
        // Appending to a document that ends with text starts a new paragraph.
        m_needBlock = m_cursor.atEnd() && !m_cursor.atBlockStart();
    }

    template <typename Char> void run(const Char *data, qsizetype size, qsizetype start);

private:
    State &state() { return m_states.back(); }
    void endState(const State &ended);
    const QTextBlockFormat &blockFormat(const BlockStyle &style);
    void error(RtfError::Code code) { m_errors.append(RtfError{code, m_offset}); }

    void groupStart();
    void groupEnd();
    void endDestination(const State &ended);
    void controlWord(const RtfControlWord &w, const RtfToken &t);
    void controlSymbol(int c);
    void destination(RtfWord w);
    void flag(RtfWord w);
    void toggle(RtfWord w, bool on);
    void value(RtfWord w, int v, bool hasValue);
    void symbol(RtfWord w);
    void unicode(int v);

    void textBytes(QByteArrayView bytes, bool ascii);
    void textChars(QStringView chars);
    void flushBytes();
    void text(QStringView s);
    Run &runFor(const CharStyle &style);
    void appendToParagraph(QStringView s, const CharStyle &style);
    void appendAsciiToParagraph(QByteArrayView ascii, const CharStyle &style);
    bool asciiDecodesAsLatin1();
    const QTextCharFormat &charFormat(const CharStyle &style);
    static int intern(std::vector<QString> &strings, QHash<QString, int> &index, const QString &s);
    void pictureHex(QStringView s);
    void pictureHex(QByteArrayView s);
    void finishPicture();
    QStringDecoder *decoder(int codePage);
    int currentCodePage();
    QColor color(int index) const;

    void endParagraph(size_t depth);
    void endCell(size_t depth);
    void endRow(size_t depth);
    void closeTablesDeeperThan(size_t depth);
    void page();
    RowDef &rowDef();
    CellDef *borderTarget();
    void finish();
    void finishContent();
    void commitFont();

    void emitParagraph(QTextCursor &c, Paragraph &p, int container, bool newBlock);
    void emitPlaces(QTextCursor &c, const Paragraph &p, int start);
    void endPlaceName(Dest dest);
    void endStyle();
    void emitItems(QTextCursor &c, std::vector<Item> &items, int container);
    void emitTable(QTextCursor &c, TableModel &table);
    void emitTableSegment(QTextCursor &c, TableModel &table, size_t begin, size_t end,
                          bool useGrid);

    QTextCursor &m_cursor;
    QList<RtfError> &m_errors;
    std::vector<State> m_states;
    int m_overflowDepth = 0;
    qsizetype m_offset = 0;
    bool m_done = false;
    bool m_star = false;
    int m_skip = 0; // characters still to skip after \u

    QByteArray m_bytes; // bytes waiting to be decoded in the current code page
    std::unordered_map<int, std::unique_ptr<QStringDecoder>> m_decoders;
    int m_documentCodePage = 1252;
    int m_defaultFont = -1;

    QHash<int, FontDef> m_fonts;
    FontDef m_fontEntry;
    int m_fontNumber = -1;
    std::vector<QColor> m_colors;
    int m_red = -1, m_green = -1, m_blue = -1;

    std::vector<ListDef> m_lists;
    int m_overrideList = 0, m_overrideLs = 0;
    QHash<int, int> m_overrides; // \ls number -> index in m_lists
    QString m_levelText;
    QString m_pnText;
    QString m_pnBullet;

    std::vector<Field> m_fields;
    QString m_destinationText; // of a bookmark, a place's key or a link's address
    // The bookmark that a {\*\folvaneplace} right after it names the key of: its index in
    // m_paragraph.places, or -1.
    qsizetype m_lastBookmark = -1;
    QHash<int, int> m_styleLevels; // paragraph style (\sN) -> heading level
    QString m_styleName;           // of the style sheet's entry being read
    int m_styleNumber = 0;
    QHash<QString, QString> m_hrefCache; // field instruction -> hyperlinkTarget()
    Picture m_picture;

    Paragraph m_paragraph;
    QHash<BlockStyle, QTextBlockFormat> m_blockFormats;
    std::vector<QString> m_families;
    QHash<QString, int> m_familyIndex;
    std::vector<QString> m_hrefs;
    QHash<QString, int> m_hrefIndex;
    QHash<CharStyle, QTextCharFormat> m_charFormats;
    std::vector<QTextCharFormat> m_images;
    int m_asciiFont = INT_MIN; // the font asciiDecodesAsLatin1() last answered for
    bool m_asciiIsLatin1 = true;
    bool m_pageBreakPending = false;
    bool m_needBlock = false; // the last paragraph at the top level ended with \par
    std::vector<OpenTable> m_tables;
    std::vector<RowDef> m_rowDefs;
    size_t m_rowDefDepth = 1;
    enum class BorderTarget { None, Cell, Row } m_borderTarget = BorderTarget::None;

    QHash<QPair<int, quint64>, QTextList *> m_textLists;
    int m_containers = 0;
};

// The paragraph's run for text of a style: its last run when that has the style. The read loop
// runs these for nearly every character (\u included, which it takes before the table of
// control words and so before rtfreader_values.cpp). Defined here, so that its calls inline.
Q_ALWAYS_INLINE Run &Builder::runFor(const CharStyle &style)
{
    Paragraph &p = m_paragraph;
    if (p.runs.empty() || p.runs.back().image >= 0 || p.runs.back().style != style)
        p.runs.push_back(Run{qsizetype(p.text.size()), 0, style});
    return p.runs.back();
}

Q_ALWAYS_INLINE void Builder::unicode(int v)
{
    if (!m_bytes.isEmpty())
        flushBytes();
    State &s = state();
    const char16_t c = char16_t(v < 0 ? v + 65536 : v);
    if (s.dest == Dest::Normal) {
        if (!s.hidden) {
            Run &run = runFor(s.chr);
            m_paragraph.text.push_back(plainCharacter(c));
            ++run.length;
        }
    } else {
        text(QStringView(&c, 1));
    }
    m_skip = s.uc;
}

} // namespace RtfImport
