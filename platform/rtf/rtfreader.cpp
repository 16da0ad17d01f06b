#include "rtfreader.h"

#include "rtfcontrolwords.h"
#include "rtfformat.h"
#include "rtftokenizer.h"

#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Deeper groups than this are still balanced, but share their parent's state.
constexpr int kMaxStateDepth = 4096;
constexpr int kMaxTableDepth = 32;
constexpr int kMaxCellsPerRow = 256;
constexpr int kMaxListItems = 256;
constexpr qreal kTwipsPerPixel = 15.0; // 1440 twips an inch, 96 pixels an inch
// Cell boundaries beyond this (about 1.7 km) are taken as this, so sums of them cannot overflow.
constexpr int kMaxTwips = 100000000;

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

struct Paragraph {
    std::u16string text;
    std::vector<Run> runs;
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
};

struct Picture {
    enum class Kind { None, Png, Jpeg, Metafile, Other } kind = Kind::None;
    QByteArray data;
    int nibble = -1;
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    bool badHex = false;
};

int codePageForCharset(int charset)
{
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 255:
        return 437;
    default:
        return 0; // the document's code page
    }
}

QStringList decoderNames(int codePage)
{
    switch (codePage) {
    case 437:
        return {"IBM437"};
    case 850:
        return {"IBM850"};
    case 866:
        return {"IBM866"};
    case 874:
        return {"windows-874", "TIS-620"};
    case 932:
        return {"Shift_JIS", "windows-31j"};
    case 936:
        return {"GBK", "GB18030"};
    case 949:
        return {"windows-949", "EUC-KR"};
    case 950:
        return {"Big5"};
    case 10000:
        return {"macintosh", "x-mac-roman"};
    case 65001:
        return {"UTF-8"};
    default:
        if (codePage >= 1250 && codePage <= 1258)
            return {QStringLiteral("windows-%1").arg(codePage)};
        return {};
    }
}

QTextListFormat::Style bulletStyle(QStringView text)
{
    for (QChar c : text) {
        switch (c.unicode()) {
        case 'o':
        case 0x25CB:
        case 0x25E6:
        case 0xF06F:
            return QTextListFormat::ListCircle;
        case 0x25AA:
        case 0x25A0:
        case 0x00A7:
        case 0xF0A7:
        case 0xF06E:
            return QTextListFormat::ListSquare;
        case 0x2022:
        case 0x00B7:
        case 0xF0B7:
            return QTextListFormat::ListDisc;
        default:
            break;
        }
    }
    return QTextListFormat::ListDisc;
}

QTextListFormat::Style styleForNfc(int nfc, QStringView levelText)
{
    switch (nfc) {
    case 1:
        return QTextListFormat::ListUpperRoman;
    case 2:
        return QTextListFormat::ListLowerRoman;
    case 3:
        return QTextListFormat::ListUpperAlpha;
    case 4:
        return QTextListFormat::ListLowerAlpha;
    case 23:
    case 255:
        return bulletStyle(levelText);
    default:
        return QTextListFormat::ListDecimal;
    }
}

// A hyperlink's target from a field instruction such as HYPERLINK "url" \l "anchor".
QString hyperlinkTarget(const QString &instruction)
{
    QStringList args;
    qsizetype i = 0;
    const qsizetype n = instruction.size();
    while (i < n) {
        while (i < n && instruction.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        QString arg;
        if (instruction.at(i) == u'"') {
            ++i;
            while (i < n && instruction.at(i) != u'"') {
                // Field arguments escape a backslash by doubling it.
                if (instruction.at(i) == u'\\' && i + 1 < n && instruction.at(i + 1) == u'\\')
                    ++i;
                arg += instruction.at(i++);
            }
            ++i;
        } else {
            while (i < n && !instruction.at(i).isSpace())
                arg += instruction.at(i++);
        }
        args.append(arg);
    }
    if (args.isEmpty() || args.first().compare(u"HYPERLINK", Qt::CaseInsensitive) != 0)
        return {};
    QString url, bookmark;
    bool hasBookmark = false;
    for (qsizetype k = 1; k < args.size(); ++k) {
        const QString &a = args.at(k);
        if (a.compare(u"\\l", Qt::CaseInsensitive) == 0 && k + 1 < args.size()) {
            // An empty bookmark is still a link: to the top of the document, "#".
            bookmark = args.at(++k);
            hasBookmark = true;
        } else if (a.startsWith(u'\\')) {
            if (k + 1 < args.size() && (a == u"\\o" || a == u"\\t" || a == u"\\m"))
                ++k;
        } else if (url.isEmpty()) {
            url = a;
        }
    }
    if (hasBookmark)
        url += u'#' + bookmark;
    url.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    return url;
}

// QTextFormat compares its properties in the order they were set, so the same formatting
// reached in two orders would make fragments that never merge. Sorted by key, it is one format.
QTextCharFormat canonical(const QTextCharFormat &format)
{
    QTextFormat sorted(format.type());
    const QMap<int, QVariant> properties = format.properties();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        sorted.setProperty(it.key(), it.value());
    return sorted.toCharFormat();
}

qint32 rgbOf(const QColor &c)
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

// ASCII (only) into UTF-16, with plainCharacter() applied.
void widenAscii(const char *in, qsizetype n, char16_t *out)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t'),
                  del = _mm_set1_epi8(0x7f);
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i control =
            _mm_or_si128(_mm_andnot_si128(_mm_cmpeq_epi8(v, tab), _mm_cmplt_epi8(v, space)),
                         _mm_cmpeq_epi8(v, del));
        v = _mm_or_si128(_mm_andnot_si128(control, v), _mm_and_si128(control, space));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(v, zero));
    }
    // The last few bytes of a longer run as one more (overlapping) block.
    if (i < n && n >= 16) {
        i = n - 16;
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i control =
            _mm_or_si128(_mm_andnot_si128(_mm_cmpeq_epi8(v, tab), _mm_cmplt_epi8(v, space)),
                         _mm_cmpeq_epi8(v, del));
        v = _mm_or_si128(_mm_andnot_si128(control, v), _mm_and_si128(control, space));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(v, zero));
        return;
    }
#endif
    for (; i < n; ++i) {
        const char16_t c = uchar(in[i]);
        out[i] = (c < 0x20 && c != u'\t') || c == 0x7f ? u' ' : c;
    }
}

const QByteArray &placeholderPng()
{
    static const QByteArray png = [] {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(QColor(0xd0, 0xd0, 0xd0));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }();
    return png;
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

template <typename Char> void Builder::run(const Char *data, qsizetype size, qsizetype start)
{
    RtfTokenizer<Char> tokenizer(data, size, start, m_errors);
    RtfToken t;
    while (!m_done) {
        tokenizer.next(t);
        if (t.type == RtfToken::Type::End)
            break;
        m_offset = t.offset;
        if (!m_bytes.isEmpty() && t.type != RtfToken::Type::Text && t.type != RtfToken::Type::Hex)
            flushBytes();
        const bool star = m_star;
        m_star = false;
        if (m_skip > 0) {
            switch (t.type) {
            case RtfToken::Type::GroupStart:
            case RtfToken::Type::GroupEnd:
                m_skip = 0;
                break;
            case RtfToken::Type::Text: {
                const qsizetype n = std::min<qsizetype>(m_skip, t.length);
                m_skip -= int(n);
                t.start += n;
                t.length -= n;
                if (t.length == 0)
                    continue;
                break;
            }
            default:
                --m_skip;
                continue;
            }
        }
        if (state().dest == Dest::Skip && t.type != RtfToken::Type::GroupStart &&
            t.type != RtfToken::Type::GroupEnd)
            continue;
        switch (t.type) {
        case RtfToken::Type::End:
            break;
        case RtfToken::Type::GroupStart:
            groupStart();
            break;
        case RtfToken::Type::GroupEnd:
            groupEnd();
            if (m_done && tokenizer.position() < size) {
                for (qsizetype i = tokenizer.position(); i < size; ++i) {
                    const char16_t c = char16_t(data[i]);
                    if (c != ' ' && c != '\r' && c != '\n' && c != '\t' && c != 0) {
                        m_offset = i;
                        error(RtfError::Code::UnbalancedBraces);
                        break;
                    }
                }
            }
            break;
        case RtfToken::Type::ControlWord: {
            // \u is by far the most frequent word in text from other programs.
            if (t.wordLength == 1 && t.wordData[0] == 'u' && !star) {
                unicode(t.parameter);
                break;
            }
            const RtfControlWord *w = rtfLookupControlWord(t.name(), t.wordHash);
            if (star && (!w || w->kind != RtfWordKind::Destination)) {
                state().dest = Dest::Skip;
                break;
            }
            if (w)
                controlWord(*w, t);
            break;
        }
        case RtfToken::Type::ControlSymbol:
            if (t.symbol == '*')
                m_star = true;
            else
                controlSymbol(t.symbol);
            break;
        case RtfToken::Type::Hex:
            if (state().dest == Dest::Picture) {
                m_picture.badHex = true;
                break;
            }
            m_bytes.append(char(t.symbol));
            break;
        case RtfToken::Type::Binary:
            if (state().dest == Dest::Picture) {
                for (qsizetype i = 0; i < t.length; ++i)
                    m_picture.data.append(char(data[t.start + i]));
            }
            break;
        case RtfToken::Type::Text:
            if constexpr (sizeof(Char) == 1)
                textBytes(QByteArrayView(data + t.start, t.length), t.ascii);
            else
                textChars(QStringView(data + t.start, t.length));
            break;
        }
    }
    flushBytes();
    if (!m_done) {
        m_offset = size;
        error(RtfError::Code::UnexpectedEnd);
    }
    finish();
}

void Builder::groupStart()
{
    if (m_states.size() >= size_t(kMaxStateDepth)) {
        if (m_overflowDepth == 0)
            error(RtfError::Code::NestingTooDeep);
        ++m_overflowDepth;
        return;
    }
    m_states.push_back(m_states.back());
}

void Builder::endState(const State &ended)
{
    if (ended.dest != state().dest || ended.dest == Dest::FontTable)
        endDestination(ended);
}

void Builder::groupEnd()
{
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return;
    }
    if (m_states.size() <= 2) {
        // The end of the {\rtf group; its state stays for the last paragraph.
        m_done = true;
        return;
    }
    // Most groups end within the destination they started in: nothing to finish, no copy.
    const State &ended = m_states.back();
    const State &parent = m_states[m_states.size() - 2];
    if (ended.dest == parent.dest && ended.dest != Dest::FontTable) {
        m_states.pop_back();
        return;
    }
    State copy = std::move(m_states.back());
    m_states.pop_back();
    endState(copy);
}

void Builder::endDestination(const State &ended)
{
    State &parent = state();
    switch (ended.dest) {
    case Dest::FontTable:
        commitFont();
        if (parent.dest != Dest::FontTable) {
            m_fontNumber = -1;
            m_fontEntry = FontDef();
        }
        break;
    case Dest::Picture:
        if (parent.dest != Dest::Picture)
            finishPicture();
        break;
    case Dest::FieldInstruction:
        if (parent.dest != Dest::FieldInstruction && ended.field >= 0) {
            // Documents tend to link the same targets many times over.
            Field &field = m_fields[size_t(ended.field)];
            auto it = m_hrefCache.constFind(field.instruction);
            if (it == m_hrefCache.constEnd() && m_hrefCache.size() < 4096)
                it = m_hrefCache.insert(field.instruction, hyperlinkTarget(field.instruction));
            field.href = it != m_hrefCache.constEnd() ? *it : hyperlinkTarget(field.instruction);
        }
        break;
    case Dest::LevelText:
        if (!m_lists.empty() && !m_lists.back().levels.empty())
            m_lists.back().levels.back().text = m_levelText;
        break;
    case Dest::ListOverride:
        if (parent.dest != Dest::ListOverride && m_overrideLs > 0) {
            for (size_t i = 0; i < m_lists.size(); ++i) {
                if (m_lists[i].id == m_overrideList)
                    m_overrides.insert(m_overrideLs, int(i));
            }
        }
        break;
    case Dest::Pn:
        if (parent.dest != Dest::Pn) {
            parent.pnStyle = ended.pnStyle;
            if (ended.pnStyle == QTextListFormat::ListDisc)
                parent.pnStyle = bulletStyle(m_pnBullet);
            parent.pnLevel = ended.pnLevel;
            parent.pnStart = ended.pnStart;
        }
        break;
    default:
        break;
    }
}

void Builder::controlWord(const RtfControlWord &w, const RtfToken &t)
{
    switch (w.kind) {
    case RtfWordKind::Destination:
        destination(w.word);
        break;
    case RtfWordKind::Flag:
        flag(w.word);
        break;
    case RtfWordKind::Toggle:
        toggle(w.word, !t.hasParameter || t.parameter != 0);
        break;
    case RtfWordKind::Value:
        value(w.word, t.parameter, t.hasParameter);
        break;
    case RtfWordKind::Symbol:
        symbol(w.word);
        break;
    }
}

void Builder::destination(RtfWord w)
{
    State &s = state();
    const Dest current = s.dest;
    switch (w) {
    case RtfWord::SkipDestination:
        s.dest = Dest::Skip;
        break;
    case RtfWord::Transparent:
        break;
    case RtfWord::FontTable:
        s.dest = Dest::FontTable;
        break;
    case RtfWord::ColorTable:
        s.dest = Dest::ColorTable;
        m_colors.clear();
        m_red = m_green = m_blue = -1;
        break;
    case RtfWord::Field:
        if (current != Dest::Normal) {
            s.dest = Dest::Skip;
            break;
        }
        m_fields.emplace_back();
        s.field = int(m_fields.size() - 1);
        break;
    case RtfWord::FieldInstruction:
        s.dest = s.field >= 0 && current == Dest::Normal ? Dest::FieldInstruction : Dest::Skip;
        break;
    case RtfWord::FieldResult:
        if (s.field >= 0 && !m_fields[size_t(s.field)].href.isEmpty())
            s.chr.href = intern(m_hrefs, m_hrefIndex, m_fields[size_t(s.field)].href);
        break;
    case RtfWord::Picture:
        s.dest = Dest::Picture;
        m_picture = Picture();
        break;
    case RtfWord::ListTable:
        s.dest = Dest::ListTable;
        break;
    case RtfWord::List:
        s.dest = current == Dest::ListTable ? Dest::List : Dest::Skip;
        if (s.dest == Dest::List)
            m_lists.emplace_back();
        break;
    case RtfWord::ListLevel:
        s.dest = current == Dest::List ? Dest::ListLevel : Dest::Skip;
        if (s.dest == Dest::ListLevel && !m_lists.empty())
            m_lists.back().levels.emplace_back();
        break;
    case RtfWord::LevelText:
        s.dest = current == Dest::ListLevel ? Dest::LevelText : Dest::Skip;
        m_levelText.clear();
        break;
    case RtfWord::ListOverrideTable:
        s.dest = Dest::ListOverrideTable;
        break;
    case RtfWord::ListOverride:
        s.dest = current == Dest::ListOverrideTable ? Dest::ListOverride : Dest::Skip;
        m_overrideList = 0;
        m_overrideLs = 0;
        break;
    case RtfWord::PnText:
        s.dest = Dest::PnText;
        m_pnText.clear();
        break;
    case RtfWord::Pn:
        s.dest = Dest::Pn;
        s.pnStyle = QTextListFormat::ListDecimal;
        s.pnLevel = 1;
        s.pnStart = 1;
        m_pnBullet.clear();
        break;
    case RtfWord::PnTextBefore:
        s.dest = current == Dest::Pn ? Dest::PnTextBefore : Dest::Skip;
        break;
    case RtfWord::NestTableProps:
        s.dest = Dest::NestTableProps;
        break;
    case RtfWord::Upr:
        s.dest = Dest::Upr;
        break;
    case RtfWord::Ud:
        if (current == Dest::Upr)
            s.dest = Dest::Normal;
        break;
    default:
        break;
    }
}

// A font without a name gives text no family: there is nothing to write back.
void Builder::commitFont()
{
    m_fontEntry.name = m_fontEntry.name.trimmed();
    if (m_fontNumber >= 0 && !m_fontEntry.name.isEmpty()) {
        m_fontEntry.family = intern(m_families, m_familyIndex, m_fontEntry.name);
        m_fonts.insert(m_fontNumber, m_fontEntry);
        m_asciiFont = INT_MIN;
    }
}

RowDef &Builder::rowDef()
{
    if (m_rowDefs.size() < m_rowDefDepth)
        m_rowDefs.resize(m_rowDefDepth);
    return m_rowDefs[m_rowDefDepth - 1];
}

// The frame border style of a border control word (\brdrs and its kin).
static QTextFrameFormat::BorderStyle borderStyleOf(RtfWord word)
{
    switch (word) {
    case RtfWord::BorderDotted:
        return QTextFrameFormat::BorderStyle_Dotted;
    case RtfWord::BorderDashed:
        return QTextFrameFormat::BorderStyle_Dashed;
    case RtfWord::BorderDouble:
        return QTextFrameFormat::BorderStyle_Double;
    case RtfWord::BorderDotDash:
        return QTextFrameFormat::BorderStyle_DotDash;
    case RtfWord::BorderDotDotDash:
        return QTextFrameFormat::BorderStyle_DotDotDash;
    case RtfWord::BorderGroove:
        return QTextFrameFormat::BorderStyle_Groove;
    case RtfWord::BorderRidge:
        return QTextFrameFormat::BorderStyle_Ridge;
    case RtfWord::BorderInset:
        return QTextFrameFormat::BorderStyle_Inset;
    case RtfWord::BorderOutset:
        return QTextFrameFormat::BorderStyle_Outset;
    default:
        return QTextFrameFormat::BorderStyle_Solid;
    }
}

CellDef *Builder::borderTarget()
{
    return m_borderTarget == BorderTarget::Cell ? &rowDef().pending : nullptr;
}

void Builder::flag(RtfWord w)
{
    State &s = state();
    switch (w) {
    case RtfWord::Plain: {
        const qint32 href = s.chr.href; // a link stays a link
        s.chr = CharStyle();
        s.chr.href = href;
        s.font = -1;
        s.hidden = false;
        break;
    }
    case RtfWord::UnderlineNone:
        s.chr.underline = 0;
        break;
    case RtfWord::Super:
        s.chr.vAlign = QTextCharFormat::AlignSuperScript;
        break;
    case RtfWord::Sub:
        s.chr.vAlign = QTextCharFormat::AlignSubScript;
        break;
    case RtfWord::NoSuperSub:
        s.chr.vAlign = 0;
        break;
    case RtfWord::Pard:
        s.blk = BlockStyle();
        s.tabs.clear();
        s.lineSpacing = 0;
        s.lineMultiple = false;
        s.ls = 0;
        s.ilvl = 0;
        s.itap = 0;
        s.tabType = QTextOption::LeftTab;
        s.pnStyle = QTextListFormat::ListStyleUndefined;
        break;
    case RtfWord::AlignLeft:
        s.blk.alignment = 0;
        break;
    case RtfWord::AlignRight:
        s.blk.alignment = Qt::AlignRight;
        break;
    case RtfWord::AlignCenter:
        s.blk.alignment = Qt::AlignHCenter;
        break;
    case RtfWord::AlignJustify:
        s.blk.alignment = Qt::AlignJustify;
        break;
    case RtfWord::TabRight:
        s.tabType = QTextOption::RightTab;
        break;
    case RtfWord::TabCenter:
        s.tabType = QTextOption::CenterTab;
        break;
    case RtfWord::TabDecimal:
        s.tabType = QTextOption::DelimiterTab;
        break;
    case RtfWord::InTable:
        s.itap = std::max(s.itap, 1);
        break;
    case RtfWord::Ansi:
        m_documentCodePage = 1252;
        m_asciiFont = INT_MIN;
        break;
    case RtfWord::Mac:
        m_documentCodePage = 10000;
        m_asciiFont = INT_MIN;
        break;
    case RtfWord::Pc:
        m_documentCodePage = 437;
        m_asciiFont = INT_MIN;
        break;
    case RtfWord::Pca:
        m_documentCodePage = 850;
        m_asciiFont = INT_MIN;
        break;
    case RtfWord::PnLevelBullet:
        s.pnStyle = QTextListFormat::ListDisc;
        break;
    case RtfWord::PnLevelBody:
    case RtfWord::PnDecimal:
        s.pnStyle = QTextListFormat::ListDecimal;
        break;
    case RtfWord::PnUpperLetter:
        s.pnStyle = QTextListFormat::ListUpperAlpha;
        break;
    case RtfWord::PnLowerLetter:
        s.pnStyle = QTextListFormat::ListLowerAlpha;
        break;
    case RtfWord::PnUpperRoman:
        s.pnStyle = QTextListFormat::ListUpperRoman;
        break;
    case RtfWord::PnLowerRoman:
        s.pnStyle = QTextListFormat::ListLowerRoman;
        break;
    case RtfWord::RowDefaults:
        m_rowDefDepth = s.dest == Dest::NestTableProps ? size_t(std::max(s.itap, 2)) : 1;
        rowDef() = RowDef();
        m_borderTarget = BorderTarget::None;
        break;
    case RtfWord::Cell:
        endCell(1);
        break;
    case RtfWord::Row:
        endRow(1);
        break;
    case RtfWord::NestCell:
        endCell(size_t(std::max(s.itap, 2)));
        break;
    case RtfWord::NestRow:
        endRow(size_t(std::max(s.itap, 2)));
        break;
    case RtfWord::CellMergeFirst:
        rowDef().pending.mergeFirst = true;
        break;
    case RtfWord::CellMerge:
        rowDef().pending.merge = true;
        break;
    case RtfWord::CellVMergeFirst:
        rowDef().pending.vMergeFirst = true;
        break;
    case RtfWord::CellVMerge:
        rowDef().pending.vMerge = true;
        break;
    case RtfWord::CellBorderTop:
    case RtfWord::CellBorderLeft:
    case RtfWord::CellBorderBottom:
    case RtfWord::CellBorderRight:
        m_borderTarget = BorderTarget::Cell;
        if (rowDef().pending.border < 0)
            rowDef().pending.border = 0;
        break;
    case RtfWord::RowBorderTop:
    case RtfWord::RowBorderLeft:
    case RtfWord::RowBorderBottom:
    case RtfWord::RowBorderRight:
    case RtfWord::RowBorderInsideH:
    case RtfWord::RowBorderInsideV:
        m_borderTarget = BorderTarget::Row;
        if (rowDef().border < 0)
            rowDef().border = 0;
        break;
    case RtfWord::BorderNone:
        if (CellDef *c = borderTarget())
            c->border = 0;
        else if (m_borderTarget == BorderTarget::Row)
            rowDef().border = 0;
        break;
    case RtfWord::BorderSingle:
    case RtfWord::BorderDotted:
    case RtfWord::BorderDashed:
    case RtfWord::BorderDouble:
    case RtfWord::BorderDotDash:
    case RtfWord::BorderDotDotDash:
    case RtfWord::BorderGroove:
    case RtfWord::BorderRidge:
    case RtfWord::BorderInset:
    case RtfWord::BorderOutset: {
        // A border style without a width still draws: one pixel, as other readers do.
        auto styled = [style = borderStyleOf(w)](auto &target) {
            target.borderStyle = style;
            if (target.border <= 0)
                target.border = 15;
        };
        if (CellDef *c = borderTarget())
            styled(*c);
        else if (m_borderTarget == BorderTarget::Row)
            styled(rowDef());
        break;
    }
    case RtfWord::CellAlignTop:
        rowDef().pending.vAlign = QTextCharFormat::AlignNormal;
        break;
    case RtfWord::CellAlignMiddle:
        rowDef().pending.vAlign = QTextCharFormat::AlignMiddle;
        break;
    case RtfWord::CellAlignBottom:
        rowDef().pending.vAlign = QTextCharFormat::AlignBottom;
        break;
    case RtfWord::RowAlignCenter:
        rowDef().alignment = Qt::AlignHCenter;
        break;
    case RtfWord::RowAlignRight:
        rowDef().alignment = Qt::AlignRight;
        break;
    case RtfWord::RightToLeft:
        s.blk.rightToLeft = true;
        break;
    case RtfWord::LeftToRight:
        s.blk.rightToLeft = false;
        break;
    case RtfWord::PngBlip:
        m_picture.kind = Picture::Kind::Png;
        break;
    case RtfWord::JpegBlip:
        m_picture.kind = Picture::Kind::Jpeg;
        break;
    case RtfWord::MetafilePicture:
        m_picture.kind = Picture::Kind::Metafile;
        break;
    case RtfWord::OtherPicture:
        m_picture.kind = Picture::Kind::Other;
        break;
    case RtfWord::FontFamilyNil:
    case RtfWord::FontFamilyRoman:
    case RtfWord::FontFamilySwiss:
    case RtfWord::FontFamilyModern:
    case RtfWord::FontFamilyScript:
    case RtfWord::FontFamilyDecor:
    case RtfWord::FontFamilyTech:
    case RtfWord::FontFamilyBidi:
        break;
    default:
        break;
    }
}

void Builder::toggle(RtfWord w, bool on)
{
    CharStyle &f = state().chr;
    switch (w) {
    case RtfWord::Bold:
        f.bold = on;
        break;
    case RtfWord::Italic:
        f.italic = on;
        break;
    case RtfWord::Underline:
    case RtfWord::UnderlineDotted:
    case RtfWord::UnderlineDash:
    case RtfWord::UnderlineDashDot:
    case RtfWord::UnderlineDashDotDot:
    case RtfWord::UnderlineWave: {
        if (!on) {
            f.underline = 0;
            break;
        }
        QTextCharFormat::UnderlineStyle style = QTextCharFormat::SingleUnderline;
        if (w == RtfWord::UnderlineDotted)
            style = QTextCharFormat::DotLine;
        else if (w == RtfWord::UnderlineDash)
            style = QTextCharFormat::DashUnderline;
        else if (w == RtfWord::UnderlineDashDot)
            style = QTextCharFormat::DashDotLine;
        else if (w == RtfWord::UnderlineDashDotDot)
            style = QTextCharFormat::DashDotDotLine;
        else if (w == RtfWord::UnderlineWave)
            style = QTextCharFormat::WaveUnderline;
        f.underline = quint8(style);
        break;
    }
    case RtfWord::Strike:
        f.strike = on;
        break;
    case RtfWord::Caps:
    case RtfWord::SmallCaps:
        f.caps = on ? quint8(w == RtfWord::Caps ? QFont::AllUppercase : QFont::SmallCaps) : 0;
        break;
    case RtfWord::Hidden:
        state().hidden = on;
        break;
    case RtfWord::PageBreakBefore:
        state().blk.pageBreakBefore = on;
        break;
    case RtfWord::RowHeader:
        rowDef().header = on;
        break;
    case RtfWord::KeepLines:
        state().blk.nonBreakable = on;
        break;
    default:
        break;
    }
}

QColor Builder::color(int index) const
{
    if (index < 0 || size_t(index) >= m_colors.size())
        return {};
    return m_colors[size_t(index)];
}

void Builder::value(RtfWord w, int v, bool hasValue)
{
    State &s = state();
    const auto px = [v] {
        return v / kTwipsPerPixel;
    };
    switch (w) {
    case RtfWord::FontSize:
        if (!hasValue)
            v = 24;
        s.chr.halfPoints = quint16(v > 0 ? std::min(v, 3276) : 0);
        break;
    case RtfWord::Font:
        if (s.dest == Dest::FontTable) {
            commitFont();
            m_fontNumber = v;
            m_fontEntry = FontDef();
            break;
        }
        // A font that the table does not name (or names with nothing) is the default font.
        s.font = v;
        if (const auto it = m_fonts.constFind(v); it != m_fonts.constEnd())
            s.chr.family = it->family;
        else
            s.chr.family = -1;
        break;
    case RtfWord::ForeColor:
        s.chr.foreground = rgbOf(color(v));
        break;
    case RtfWord::BackColor:
    case RtfWord::Highlight:
        s.chr.background = rgbOf(color(v));
        break;
    case RtfWord::Up:
    case RtfWord::Dn:
        if (!hasValue)
            v = 6;
        if (v == 0)
            s.chr.vAlign = 0;
        else
            s.chr.vAlign = (w == RtfWord::Up) == (v > 0) ? QTextCharFormat::AlignSuperScript
                                                         : QTextCharFormat::AlignSubScript;
        break;
    case RtfWord::LeftIndent:
        s.blk.left = v;
        break;
    case RtfWord::RightIndent:
        s.blk.right = v;
        break;
    case RtfWord::FirstIndent:
        s.blk.indent = v;
        break;
    case RtfWord::SpaceBefore:
        s.blk.top = v;
        break;
    case RtfWord::SpaceAfter:
        s.blk.bottom = v;
        break;
    case RtfWord::LineSpacing:
        s.lineSpacing = v;
        break;
    case RtfWord::LineMultiple:
        s.lineMultiple = !hasValue || v != 0;
        break;
    case RtfWord::ParaBackground:
        s.blk.background = rgbOf(color(v));
        break;
    case RtfWord::TabPosition: {
        if (s.tabs.size() < 64) {
            QTextOption::Tab tab(px(), s.tabType);
            if (s.tabType == QTextOption::DelimiterTab)
                tab.delimiter = u'.';
            s.tabs.append(tab);
        }
        s.tabType = QTextOption::LeftTab;
        break;
    }
    case RtfWord::Itap:
        s.itap = std::clamp(v, 0, kMaxTableDepth);
        break;
    case RtfWord::ListOverrideIndex:
        if (s.dest == Dest::ListOverride)
            m_overrideLs = v;
        else
            s.ls = v;
        break;
    case RtfWord::ListLevelIndex:
        s.ilvl = std::clamp(v, 0, 8);
        break;
    case RtfWord::Unicode:
        unicode(v);
        break;
    case RtfWord::UnicodeSkip:
        s.uc = std::clamp(v, 0, 16);
        break;
    case RtfWord::AnsiCodePage:
        if (v > 0)
            m_documentCodePage = v;
        m_asciiFont = INT_MIN;
        break;
    case RtfWord::DefaultFont:
        m_defaultFont = v;
        m_asciiFont = INT_MIN;
        break;
    case RtfWord::FontCharset:
        if (s.dest == Dest::FontTable)
            m_fontEntry.charset = v;
        break;
    case RtfWord::FontCodePage:
        if (s.dest == Dest::FontTable)
            m_fontEntry.codePage = v;
        break;
    case RtfWord::Red:
        m_red = std::clamp(v, 0, 255);
        break;
    case RtfWord::Green:
        m_green = std::clamp(v, 0, 255);
        break;
    case RtfWord::Blue:
        m_blue = std::clamp(v, 0, 255);
        break;
    case RtfWord::ListId:
        if (s.dest == Dest::List && !m_lists.empty())
            m_lists.back().id = v;
        else if (s.dest == Dest::ListOverride)
            m_overrideList = v;
        break;
    case RtfWord::LevelNfc:
        if (s.dest == Dest::ListLevel && !m_lists.empty() && !m_lists.back().levels.empty())
            m_lists.back().levels.back().nfc = v;
        break;
    case RtfWord::LevelStartAt:
        if (s.dest == Dest::ListLevel && !m_lists.empty() && !m_lists.back().levels.empty())
            m_lists.back().levels.back().start = v;
        break;
    case RtfWord::PnLevel:
        s.pnLevel = std::clamp(v, 1, 9);
        break;
    case RtfWord::PnStart:
        s.pnStart = v;
        break;
    case RtfWord::CellX: {
        RowDef &r = rowDef();
        CellDef c = r.pending;
        c.right = std::clamp(v, -kMaxTwips, kMaxTwips);
        if (r.cells.size() < size_t(kMaxCellsPerRow))
            r.cells.push_back(c);
        r.pending = CellDef();
        m_borderTarget = BorderTarget::None;
        break;
    }
    case RtfWord::CellBackground:
        rowDef().pending.background = color(v);
        break;
    case RtfWord::BorderWidth:
        if (CellDef *c = borderTarget())
            c->border = std::clamp(v, 0, 1500);
        else if (m_borderTarget == BorderTarget::Row)
            rowDef().border = std::clamp(v, 0, 1500);
        break;
    case RtfWord::RowGap:
        rowDef().gap = std::clamp(v, 0, 15000);
        break;
    case RtfWord::RowPaddingLeft:
    case RtfWord::RowPaddingRight:
    case RtfWord::RowPaddingTop:
    case RtfWord::RowPaddingBottom:
        rowDef().padding = std::max(rowDef().padding, std::clamp(v, 0, 15000));
        break;
    case RtfWord::RowLeft:
        rowDef().left = std::clamp(v, -kMaxTwips, kMaxTwips);
        break;
    case RtfWord::RowSpacing:
        rowDef().spacing = std::max(rowDef().spacing, std::clamp(v, 0, 15000));
        break;
    case RtfWord::BorderColor:
        if (CellDef *c = borderTarget())
            c->borderColor = color(v);
        else if (m_borderTarget == BorderTarget::Row)
            rowDef().borderColor = color(v);
        break;
    case RtfWord::OutlineLevel:
        if (v >= 0 && v < 9)
            s.blk.headingLevel = quint8(v + 1);
        else
            s.blk.headingLevel = 0;
        break;
    case RtfWord::PicWidth:
        m_picture.picw = v;
        break;
    case RtfWord::PicHeight:
        m_picture.pich = v;
        break;
    case RtfWord::PicGoalWidth:
        m_picture.goalw = v;
        break;
    case RtfWord::PicGoalHeight:
        m_picture.goalh = v;
        break;
    case RtfWord::PicScaleX:
        m_picture.scalex = v;
        break;
    case RtfWord::PicScaleY:
        m_picture.scaley = v;
        break;
    default:
        break;
    }
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

void Builder::symbol(RtfWord w)
{
    char16_t c = 0;
    switch (w) {
    case RtfWord::Par:
        if (state().dest == Dest::Normal) {
            const State &s = state();
            endParagraph(size_t(s.itap));
        }
        return;
    case RtfWord::Page:
        if (state().dest == Dest::Normal)
            page();
        return;
    case RtfWord::Line:
        c = 0x2028;
        break;
    case RtfWord::Tab:
        c = u'\t';
        break;
    case RtfWord::EmDash:
        c = 0x2014;
        break;
    case RtfWord::EnDash:
        c = 0x2013;
        break;
    case RtfWord::Bullet:
        c = 0x2022;
        break;
    case RtfWord::LeftQuote:
        c = 0x2018;
        break;
    case RtfWord::RightQuote:
        c = 0x2019;
        break;
    case RtfWord::LeftDoubleQuote:
        c = 0x201C;
        break;
    case RtfWord::RightDoubleQuote:
        c = 0x201D;
        break;
    case RtfWord::EmSpace:
        c = 0x2003;
        break;
    case RtfWord::EnSpace:
        c = 0x2002;
        break;
    case RtfWord::QuarterSpace:
        c = 0x2005;
        break;
    case RtfWord::Zwj:
        c = 0x200D;
        break;
    case RtfWord::Zwnj:
        c = 0x200C;
        break;
    case RtfWord::LtrMark:
        c = 0x200E;
        break;
    case RtfWord::RtlMark:
        c = 0x200F;
        break;
    default:
        return;
    }
    text(QStringView(&c, 1));
}

void Builder::controlSymbol(int c)
{
    char16_t ch = 0;
    switch (c) {
    case '\\':
    case '{':
    case '}':
        ch = char16_t(c);
        break;
    case '~':
        ch = 0x00A0;
        break;
    case '-':
        ch = 0x00AD;
        break;
    case '_':
        ch = 0x2011;
        break;
    case '\t':
        ch = u'\t';
        break;
    default:
        return;
    }
    if (state().dest == Dest::Picture)
        return;
    // Escaped characters are taken as they are, also in a code page's text.
    text(QStringView(&ch, 1));
}

int Builder::currentCodePage()
{
    const int font = state().font >= 0 ? state().font : m_defaultFont;
    if (const auto it = m_fonts.constFind(font); it != m_fonts.constEnd()) {
        if (it->codePage > 0)
            return it->codePage;
        if (const int cp = codePageForCharset(it->charset); cp > 0)
            return cp;
    }
    return m_documentCodePage;
}

QStringDecoder *Builder::decoder(int codePage)
{
    auto it = m_decoders.find(codePage);
    if (it != m_decoders.end())
        return it->second.get();
    std::unique_ptr<QStringDecoder> d;
    for (const QString &name : decoderNames(codePage)) {
        auto candidate = std::make_unique<QStringDecoder>(name.toLatin1().constData(),
                                                          QStringConverter::Flag::Stateless);
        if (candidate->isValid()) {
            d = std::move(candidate);
            break;
        }
    }
    if (!d && codePage != 1252)
        return decoder(1252);
    QStringDecoder *result = d.get();
    m_decoders.emplace(codePage, std::move(d));
    return result;
}

void Builder::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    bool ascii = true;
    for (char b : std::as_const(m_bytes)) {
        if (uchar(b) >= 0x80) {
            ascii = false;
            break;
        }
    }
    QString s;
    if (ascii) {
        s = QString::fromLatin1(m_bytes);
    } else if (QStringDecoder *d = decoder(currentCodePage())) {
        s = d->decode(m_bytes);
    } else {
        s = QString::fromLatin1(m_bytes);
    }
    m_bytes.clear();
    text(s);
}

// Whether the current font's code page reads bytes below 0x80 as ASCII, so that a run of them
// can go into the paragraph without waiting for the bytes around it.
bool Builder::asciiDecodesAsLatin1()
{
    const int font = state().font;
    if (font != m_asciiFont) {
        const int codePage = currentCodePage();
        // Double-byte code pages keep a run of ASCII with the bytes next to it: some of them
        // read a few ASCII bytes as other characters.
        m_asciiIsLatin1 = codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950;
        m_asciiFont = font;
    }
    return m_asciiIsLatin1;
}

Q_ALWAYS_INLINE void Builder::textBytes(QByteArrayView bytes, bool ascii)
{
    const State &st = state();
    if (ascii && st.dest == Dest::Normal && m_bytes.isEmpty() && asciiDecodesAsLatin1()) {
        if (!st.hidden)
            appendAsciiToParagraph(bytes, st.chr);
        return;
    }
    switch (st.dest) {
    case Dest::Picture:
        pictureHex(bytes);
        return;
    case Dest::Skip:
    case Dest::ListTable:
    case Dest::List:
    case Dest::ListLevel:
    case Dest::ListOverrideTable:
    case Dest::ListOverride:
    case Dest::Pn:
    case Dest::NestTableProps:
    case Dest::Upr:
        return;
    default:
        m_bytes.append(bytes.data(), bytes.size());
    }
}

void Builder::textChars(QStringView chars)
{
    if (state().dest == Dest::Picture) {
        pictureHex(chars);
        return;
    }
    flushBytes();
    text(chars);
}

template <typename Chars> static void appendNibbles(Picture &p, const Chars &s)
{
    for (auto ch : s) {
        const char16_t c = char16_t(ch);
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else {
            if (c != ' ' && c != '\t')
                p.badHex = true;
            continue;
        }
        if (p.nibble < 0) {
            p.nibble = v;
        } else {
            p.data.append(char(p.nibble * 16 + v));
            p.nibble = -1;
        }
    }
}

void Builder::pictureHex(QStringView s)
{
    appendNibbles(m_picture, std::u16string_view(s.utf16(), size_t(s.size())));
}

void Builder::pictureHex(QByteArrayView s)
{
    appendNibbles(m_picture, s);
}

void Builder::text(QStringView s)
{
    State &st = state();
    switch (st.dest) {
    case Dest::Normal:
        if (!st.hidden)
            appendToParagraph(s, st.chr);
        break;
    case Dest::FontTable:
        for (QChar c : s) {
            if (c == u';') {
                commitFont();
                m_fontEntry.name.clear();
            } else if (!RtfFormat::isDroppedFromFontName(c.unicode()) &&
                       m_fontEntry.name.size() < 256) {
                m_fontEntry.name += c;
            }
        }
        break;
    case Dest::ColorTable:
        for (QChar c : s) {
            if (c != u';')
                continue;
            if (m_colors.size() < 65536)
                m_colors.push_back(
                    m_red < 0 && m_green < 0 && m_blue < 0
                        ? QColor()
                        : QColor(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0)));
            m_red = m_green = m_blue = -1;
        }
        break;
    case Dest::FieldInstruction:
        if (st.field >= 0 && m_fields[size_t(st.field)].instruction.size() < 65536)
            m_fields[size_t(st.field)].instruction += s;
        break;
    case Dest::LevelText:
        if (m_levelText.size() < 256)
            m_levelText += s;
        break;
    case Dest::PnText:
        if (m_pnText.size() < 256)
            m_pnText += s;
        break;
    case Dest::PnTextBefore:
        if (m_pnBullet.size() < 256)
            m_pnBullet += s;
        break;
    default:
        break;
    }
}

Q_ALWAYS_INLINE Run &Builder::runFor(const CharStyle &style)
{
    Paragraph &p = m_paragraph;
    if (p.runs.empty() || p.runs.back().image >= 0 || p.runs.back().style != style)
        p.runs.push_back(Run{qsizetype(p.text.size()), 0, style});
    return p.runs.back();
}

void Builder::appendToParagraph(QStringView s, const CharStyle &style)
{
    Run &run = runFor(style);
    std::u16string &text = m_paragraph.text;
    if (s.size() == 1) {
        text.push_back(plainCharacter(s.front().unicode()));
    } else {
        const size_t before = text.size();
        text.resize(before + size_t(s.size()));
        char16_t *out = text.data() + before;
        for (QChar c : s)
            *out++ = plainCharacter(c.unicode());
    }
    run.length += s.size();
}

Q_ALWAYS_INLINE void Builder::appendAsciiToParagraph(QByteArrayView ascii, const CharStyle &style)
{
    Run &run = runFor(style);
    std::u16string &text = m_paragraph.text;
    const size_t before = text.size();
    text.resize(before + size_t(ascii.size()));
    widenAscii(ascii.data(), ascii.size(), text.data() + before);
    run.length += ascii.size();
}

const QTextCharFormat &Builder::charFormat(const CharStyle &c)
{
    if (const auto it = m_charFormats.constFind(c); it != m_charFormats.constEnd())
        return *it;
    QTextCharFormat f;
    if (c.bold)
        f.setFontWeight(QFont::Bold);
    if (c.italic)
        f.setFontItalic(true);
    if (c.underline)
        f.setUnderlineStyle(QTextCharFormat::UnderlineStyle(c.underline));
    if (c.strike)
        f.setFontStrikeOut(true);
    if (c.vAlign)
        f.setVerticalAlignment(QTextCharFormat::VerticalAlignment(c.vAlign));
    if (c.caps)
        f.setFontCapitalization(QFont::Capitalization(c.caps));
    if (c.halfPoints)
        f.setFontPointSize(c.halfPoints / 2.0);
    if (c.family >= 0)
        f.setFontFamilies(QStringList{m_families[size_t(c.family)]});
    if (c.foreground >= 0)
        f.setForeground(QColor(qRed(QRgb(c.foreground)), qGreen(QRgb(c.foreground)),
                               qBlue(QRgb(c.foreground))));
    if (c.background >= 0)
        f.setBackground(QColor(qRed(QRgb(c.background)), qGreen(QRgb(c.background)),
                               qBlue(QRgb(c.background))));
    if (c.href >= 0) {
        f.setAnchor(true);
        f.setAnchorHref(m_hrefs[size_t(c.href)]);
    }
    return *m_charFormats.insert(c, canonical(f));
}

const QTextBlockFormat &Builder::blockFormat(const BlockStyle &b)
{
    if (const auto it = m_blockFormats.constFind(b); it != m_blockFormats.constEnd())
        return *it;
    QTextBlockFormat f;
    if (b.left != BlockStyle::None)
        f.setLeftMargin(b.left / kTwipsPerPixel);
    if (b.right != BlockStyle::None)
        f.setRightMargin(b.right / kTwipsPerPixel);
    if (b.indent != BlockStyle::None)
        f.setTextIndent(b.indent / kTwipsPerPixel);
    if (b.top != BlockStyle::None)
        f.setTopMargin(b.top / kTwipsPerPixel);
    if (b.bottom != BlockStyle::None)
        f.setBottomMargin(b.bottom / kTwipsPerPixel);
    if (b.background >= 0)
        f.setBackground(QColor(qRed(QRgb(b.background)), qGreen(QRgb(b.background)),
                               qBlue(QRgb(b.background))));
    if (b.alignment)
        f.setAlignment(Qt::Alignment(b.alignment));
    if (b.headingLevel)
        f.setHeadingLevel(b.headingLevel);
    if (b.rightToLeft)
        f.setLayoutDirection(Qt::RightToLeft);
    if (b.pageBreakBefore)
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    if (b.nonBreakable)
        f.setNonBreakableLines(true);
    return *m_blockFormats.insert(b, f);
}

int Builder::intern(std::vector<QString> &strings, QHash<QString, int> &index, const QString &s)
{
    if (const auto it = index.constFind(s); it != index.constEnd())
        return *it;
    strings.push_back(s);
    index.insert(s, int(strings.size() - 1));
    return int(strings.size() - 1);
}

void Builder::finishPicture()
{
    Picture &pic = m_picture;
    if (pic.nibble >= 0 || pic.badHex)
        error(RtfError::Code::BadPicture);
    if (state().dest != Dest::Normal || state().hidden)
        return;
    QTextDocument *doc = m_cursor.document();
    // Bytes that are not what the picture says they are get the placeholder too.
    bool supported = (pic.kind == Picture::Kind::Png && pic.data.startsWith("\x89PNG\r\n\x1a\n")) ||
                     (pic.kind == Picture::Kind::Jpeg && pic.data.startsWith("\xff\xd8\xff"));
    if (supported) {
        // Only the header is read here, not the whole image.
        QBuffer buffer(&pic.data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, pic.kind == Picture::Kind::Png ? "png" : "jpeg");
        const QSize size = reader.size();
        supported = size.isValid() && !size.isEmpty();
    }
    if (!supported && pic.kind != Picture::Kind::Metafile && pic.kind != Picture::Kind::Other)
        error(RtfError::Code::BadPicture);
    int serial = doc->property("rtfImageSerial").toInt();
    QUrl url;
    do {
        url = QUrl(QStringLiteral("rtfimage:%1").arg(++serial));
    } while (doc->resource(QTextDocument::ImageResource, url).isValid());
    doc->setProperty("rtfImageSerial", serial);
    doc->addResource(QTextDocument::ImageResource, url, supported ? pic.data : placeholderPng());

    qreal w = 0, h = 0;
    if (pic.goalw > 0 && pic.goalh > 0) {
        w = pic.goalw / kTwipsPerPixel;
        h = pic.goalh / kTwipsPerPixel;
    } else if (pic.picw > 0 && pic.pich > 0) {
        // Bitmaps give pixels here, metafiles hundredths of a millimetre.
        const qreal f = pic.kind == Picture::Kind::Metafile ? 96.0 / 2540.0 : 1.0;
        w = pic.picw * f;
        h = pic.pich * f;
    } else if (!supported) {
        w = h = 32;
    }
    if (pic.scalex > 0 && pic.scalex != 100)
        w = w * pic.scalex / 100.0;
    if (pic.scaley > 0 && pic.scaley != 100)
        h = h * pic.scaley / 100.0;
    QTextImageFormat image;
    image.setName(url.toString());
    if (w > 0 && h > 0) {
        image.setWidth(std::min(w, 100000.0));
        image.setHeight(std::min(h, 100000.0));
    }
    if (state().chr.href >= 0) {
        image.setAnchor(true);
        image.setAnchorHref(m_hrefs[size_t(state().chr.href)]);
    }
    Paragraph &p = m_paragraph;
    p.runs.push_back(Run{qsizetype(p.text.size()), 1, CharStyle(), int(m_images.size())});
    m_images.push_back(image);
    p.text.push_back(QChar::ObjectReplacementCharacter);
    pic = Picture();
}

void Builder::page()
{
    if (!m_paragraph.isEmpty())
        endParagraph(size_t(state().itap));
    m_pageBreakPending = true;
}

void Builder::endParagraph(size_t depth)
{
    const State &s = state();
    Paragraph &p = m_paragraph;
    p.format = blockFormat(s.blk);
    if (!s.tabs.isEmpty())
        p.format.setTabPositions(s.tabs);
    if (s.lineSpacing != 0) {
        if (s.lineMultiple)
            p.format.setLineHeight(std::abs(s.lineSpacing) * 100.0 / 240.0,
                                   QTextBlockFormat::ProportionalHeight);
        else if (s.lineSpacing > 0)
            p.format.setLineHeight(s.lineSpacing / kTwipsPerPixel, QTextBlockFormat::MinimumHeight);
        else
            p.format.setLineHeight(-s.lineSpacing / kTwipsPerPixel, QTextBlockFormat::FixedHeight);
    }
    if (m_pageBreakPending) {
        p.format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        m_pageBreakPending = false;
    }
    bool inList = false;
    if (s.ls > 0) {
        inList = true;
        const int level = std::clamp(s.ilvl, 0, 8);
        p.listKey = (quint64(1) << 48) | (quint64(quint32(s.ls)) << 8) | quint64(level);
        QTextListFormat::Style style = QTextListFormat::ListDisc;
        int start = 1;
        if (const auto it = m_overrides.constFind(s.ls); it != m_overrides.constEnd()) {
            const ListDef &list = m_lists[size_t(*it)];
            if (size_t(level) < list.levels.size()) {
                const ListLevelDef &l = list.levels[size_t(level)];
                style = styleForNfc(l.nfc,
                                    QStringView(l.text).mid(std::min<qsizetype>(1, l.text.size())));
                start = l.start;
            }
        }
        p.listFormat.setStyle(style);
        p.listFormat.setIndent(level + 1);
        if (start != 1)
            p.listFormat.setProperty(RtfFormat::ListStart, start);
    } else if (s.pnStyle != QTextListFormat::ListStyleUndefined) {
        inList = true;
        p.listKey = (quint64(2) << 48) | (quint64(-int(s.pnStyle)) << 8) | quint64(s.pnLevel);
        p.listFormat.setStyle(s.pnStyle);
        p.listFormat.setIndent(s.pnLevel);
        if (s.pnStart != 1)
            p.listFormat.setProperty(RtfFormat::ListStart, s.pnStart);
    }
    if (inList) {
        // The marker's own indent comes from the list; keeping the paragraph's too would
        // indent list items twice.
        p.format.clearProperty(QTextFormat::BlockLeftMargin);
        p.format.clearProperty(QTextFormat::TextIndent);
    } else if (!m_pnText.isEmpty()) {
        // No list information beyond the marker text: show the marker as text.
        QString t = m_pnText;
        t.replace(u'\t', u' ');
        p.text.insert(0, reinterpret_cast<const char16_t *>(t.utf16()), size_t(t.size()));
        if (p.runs.empty())
            p.runs.push_back(Run{0, t.size(), s.chr});
        else {
            p.runs.front().length += t.size();
            for (size_t i = 1; i < p.runs.size(); ++i)
                p.runs[i].start += t.size();
        }
    }
    m_pnText.clear();

    if (depth == 0) {
        closeTablesDeeperThan(0);
        emitParagraph(m_cursor, p, 0, m_needBlock);
        m_needBlock = true;
        // The next paragraph reuses the buffers.
        p.text.clear();
        p.runs.clear();
        if (p.listKey != 0) {
            p.listKey = 0;
            p.listFormat = QTextListFormat();
        }
        return;
    }
    depth = std::min<size_t>(depth, kMaxTableDepth);
    closeTablesDeeperThan(depth);
    while (m_tables.size() < depth)
        m_tables.emplace_back();
    m_tables[depth - 1].cell.items.push_back(Item{std::move(p), nullptr});
    p = Paragraph();
}

void Builder::endCell(size_t depth)
{
    endParagraph(depth);
    depth = std::min<size_t>(depth, kMaxTableDepth);
    OpenTable &t = m_tables[depth - 1];
    if (t.rowCells.size() < size_t(kMaxCellsPerRow)) {
        t.rowCells.push_back(std::move(t.cell));
    } else {
        auto &last = t.rowCells.back().items;
        for (Item &i : t.cell.items)
            last.push_back(std::move(i));
    }
    t.cell = CellModel();
}

void Builder::endRow(size_t depth)
{
    depth = std::min<size_t>(depth, kMaxTableDepth);
    closeTablesDeeperThan(depth);
    if (!m_paragraph.isEmpty() ||
        (m_tables.size() >= depth && !m_tables[depth - 1].cell.items.empty()))
        endCell(depth);
    while (m_tables.size() < depth)
        m_tables.emplace_back();
    OpenTable &t = m_tables[depth - 1];
    RowModel row;
    row.cells = std::move(t.rowCells);
    t.rowCells.clear();
    if (m_rowDefs.size() >= depth)
        row.def = m_rowDefs[depth - 1];
    if (!row.cells.empty() || !row.def.cells.empty())
        t.model->rows.push_back(std::move(row));
}

void Builder::closeTablesDeeperThan(size_t depth)
{
    while (m_tables.size() > depth) {
        OpenTable t = std::move(m_tables.back());
        m_tables.pop_back();
        if (!t.cell.items.empty())
            t.rowCells.push_back(std::move(t.cell));
        if (!t.rowCells.empty()) {
            RowModel row;
            row.cells = std::move(t.rowCells);
            if (m_rowDefs.size() > m_tables.size())
                row.def = m_rowDefs[m_tables.size()];
            t.model->rows.push_back(std::move(row));
        }
        if (t.model->rows.empty())
            continue;
        if (m_tables.empty()) {
            emitTable(m_cursor, *t.model);
            m_needBlock = false;
        } else {
            m_tables.back().cell.items.push_back(Item{Paragraph(), std::move(t.model)});
        }
    }
}

// newBlock: the paragraph starts a block of its own after the cursor's, else it goes into the
// cursor's block.
void Builder::emitParagraph(QTextCursor &c, Paragraph &p, int container, bool newBlock)
{
    if (newBlock)
        c.insertBlock(p.format, QTextCharFormat());
    else
        c.setBlockFormat(p.format);
    if (p.listKey != 0) {
        QTextList *&list = m_textLists[qMakePair(container, p.listKey)];
        if (list && list->count() >= kMaxListItems) {
            // Qt marks every item of a list changed when one is added, so a list only grows
            // to a bounded size; the next one carries its numbering on.
            QTextListFormat next = list->format();
            const int start =
                next.hasProperty(RtfFormat::ListStart) ? next.intProperty(RtfFormat::ListStart) : 1;
            next.setProperty(RtfFormat::ListStart, start + list->count());
            list = c.createList(next);
        } else if (list) {
            list->add(c.block());
        } else {
            list = c.createList(p.listFormat);
        }
    }
    for (const Run &r : p.runs) {
        if (r.length == 0)
            continue;
        const QTextCharFormat &format =
            r.image >= 0 ? canonical(m_images[size_t(r.image)]) : charFormat(r.style);
        c.insertText(QString::fromRawData(reinterpret_cast<const QChar *>(p.text.data()) + r.start,
                                          r.length),
                     format);
    }
}

void Builder::emitItems(QTextCursor &c, std::vector<Item> &items, int container)
{
    bool needBlock = false;
    for (Item &item : items) {
        if (item.table) {
            emitTable(c, *item.table);
            needBlock = false;
            continue;
        }
        emitParagraph(c, item.paragraph, container, needBlock);
        needBlock = true;
    }
}

void Builder::emitTable(QTextCursor &c, TableModel &table)
{
    // The columns come from the union of all cell boundaries, so cells of different widths
    // line up; when that grid would be far larger than the cells there are, rows go into
    // tables of their own by cell count instead.
    std::vector<int> grid;
    size_t cells = 0;
    for (RowModel &row : table.rows) {
        const size_t n =
            std::min<size_t>(std::max(row.cells.size(), row.def.cells.size()), kMaxCellsPerRow);
        row.cells.resize(n);
        int prev = row.def.left;
        for (size_t i = 0; i < n; ++i) {
            int right = i < row.def.cells.size() ? row.def.cells[i].right : prev + 1440;
            // Clamped the way \cellx is read, so what is written here reads back the same.
            right = std::max(std::min(right, kMaxTwips), prev + 1);
            if (i < row.def.cells.size())
                row.def.cells[i].right = right;
            else {
                CellDef d;
                d.right = right;
                row.def.cells.push_back(d);
            }
            prev = right;
            grid.push_back(right);
        }
        cells += n;
    }
    std::sort(grid.begin(), grid.end());
    grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
    const bool useGrid = grid.size() <= size_t(kMaxCellsPerRow) &&
                         table.rows.size() * grid.size() <= 4 * cells + 4096;
    if (useGrid) {
        emitTableSegment(c, table, 0, table.rows.size(), true);
        return;
    }
    size_t begin = 0;
    while (begin < table.rows.size()) {
        size_t end = begin + 1;
        while (end < table.rows.size() &&
               table.rows[end].cells.size() == table.rows[begin].cells.size())
            ++end;
        emitTableSegment(c, table, begin, end, false);
        begin = end;
    }
}

void Builder::emitTableSegment(QTextCursor &c, TableModel &table, size_t begin, size_t end,
                               bool useGrid)
{
    struct Placed {
        size_t row;
        int col, rowSpan, colSpan;
        CellModel *cell;
        const CellDef *def;
    };
    std::vector<int> grid;
    for (size_t r = begin; r < end; ++r)
        for (const CellDef &d : table.rows[r].def.cells)
            grid.push_back(d.right);
    std::sort(grid.begin(), grid.end());
    grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
    int cols = 0;
    if (useGrid)
        cols = int(grid.size());
    else
        for (size_t r = begin; r < end; ++r)
            cols = std::max(cols, int(table.rows[r].cells.size()));
    const int rows = int(end - begin);
    if (cols == 0 || rows == 0)
        return;

    std::vector<Placed> placed;
    std::vector<int> above(size_t(cols), -1), current(size_t(cols), -1);
    auto appendItems = [](CellModel &to, CellModel &from) {
        for (Item &i : from.items) {
            if (i.table || !i.paragraph.isEmpty())
                to.items.push_back(std::move(i));
        }
        from.items.clear();
    };
    for (size_t r = begin; r < end; ++r) {
        RowModel &row = table.rows[r];
        std::fill(current.begin(), current.end(), -1);
        int prevRight = row.def.left;
        int lastPlaced = -1;
        for (size_t i = 0; i < row.cells.size(); ++i) {
            const CellDef &d = row.def.cells[i];
            int c0, c1;
            if (useGrid) {
                c0 = int(std::upper_bound(grid.begin(), grid.end(), prevRight) - grid.begin());
                c1 = int(std::lower_bound(grid.begin(), grid.end(), d.right) - grid.begin());
                c0 = std::min(c0, c1);
            } else {
                c0 = c1 = int(i);
            }
            prevRight = d.right;
            if (c0 >= cols)
                continue;
            c1 = std::min(c1, cols - 1);
            if (d.merge && lastPlaced >= 0) {
                Placed &p = placed[size_t(lastPlaced)];
                p.colSpan = c1 - p.col + 1;
                appendItems(*p.cell, row.cells[i]);
                for (int k = c0; k <= c1; ++k)
                    current[size_t(k)] = lastPlaced;
                continue;
            }
            if (d.vMerge && above[size_t(c0)] >= 0) {
                const int owner = above[size_t(c0)];
                Placed &p = placed[size_t(owner)];
                // The span above reaches down into this row, or already does (when a cell
                // that spans columns is continued by several cells).
                if (p.row + size_t(p.rowSpan) == r)
                    p.rowSpan += 1;
                if (p.row + size_t(p.rowSpan) == r + 1) {
                    appendItems(*p.cell, row.cells[i]);
                    for (int k = c0; k <= c1; ++k)
                        current[size_t(k)] = owner;
                    lastPlaced = owner;
                    continue;
                }
            }
            placed.push_back(Placed{r, c0, 1, c1 - c0 + 1, &row.cells[i], &d});
            lastPlaced = int(placed.size() - 1);
            for (int k = c0; k <= c1; ++k)
                current[size_t(k)] = lastPlaced;
        }
        std::swap(above, current);
    }

    // Spans must not overlap: a cell whose place a span already covers gives that span its
    // content, and a span that would run into another one is dropped.
    std::vector<int> occupied(size_t(rows) * size_t(cols), -1);
    std::vector<Placed> kept;
    kept.reserve(placed.size());
    for (Placed &p : placed) {
        const int r0 = int(p.row - begin);
        p.rowSpan = std::min(p.rowSpan, rows - r0);
        p.colSpan = std::min(p.colSpan, cols - p.col);
        const int at = occupied[size_t(r0) * size_t(cols) + size_t(p.col)];
        if (at >= 0) {
            appendItems(*kept[size_t(at)].cell, *p.cell);
            continue;
        }
        bool free = true;
        for (int y = r0; y < r0 + p.rowSpan && free; ++y)
            for (int x = p.col; x < p.col + p.colSpan && free; ++x)
                free = occupied[size_t(y) * size_t(cols) + size_t(x)] < 0;
        if (!free)
            p.rowSpan = p.colSpan = 1;
        for (int y = r0; y < r0 + p.rowSpan; ++y)
            for (int x = p.col; x < p.col + p.colSpan; ++x)
                occupied[size_t(y) * size_t(cols) + size_t(x)] = int(kept.size());
        kept.push_back(p);
    }
    placed = std::move(kept);

    const RowDef &first = table.rows[begin].def;
    QTextTableFormat format;
    int border = first.border;
    QTextFrameFormat::BorderStyle borderStyle = first.borderStyle;
    QColor borderColor = first.borderColor;
    for (const CellDef &d : first.cells) {
        if (d.border > border) {
            border = d.border;
            borderStyle = d.borderStyle;
            borderColor = d.borderColor;
        }
    }
    format.setBorder(border > 0 ? border / kTwipsPerPixel : 0);
    format.setBorderStyle(border > 0 ? borderStyle : QTextFrameFormat::BorderStyle_None);
    if (border > 0 && borderColor.isValid())
        format.setBorderBrush(borderColor);
    const int padding = first.padding >= 0 ? first.padding : first.gap;
    if (padding >= 0)
        format.setCellPadding(padding / kTwipsPerPixel);
    format.setCellSpacing(first.spacing > 0 ? 2 * first.spacing / kTwipsPerPixel : 0);
    if (first.alignment)
        format.setAlignment(first.alignment);
    int headers = 0;
    while (begin + size_t(headers) < end && table.rows[begin + size_t(headers)].def.header)
        ++headers;
    if (headers > 0)
        format.setHeaderRowCount(headers);
    if (useGrid) {
        QList<QTextLength> widths;
        int prev = std::min(first.left, grid.front() - 1);
        for (int g : grid) {
            widths.append(QTextLength(QTextLength::FixedLength, (g - prev) / kTwipsPerPixel));
            prev = g;
        }
        format.setColumnWidthConstraints(widths);
    }
    QTextTable *t = c.insertTable(rows, cols, format);
    for (const Placed &p : placed) {
        if (p.rowSpan > 1 || p.colSpan > 1)
            t->mergeCells(int(p.row - begin), p.col, p.rowSpan, p.colSpan);
    }
    for (const Placed &p : placed) {
        QTextTableCell cell = t->cellAt(int(p.row - begin), p.col);
        if (p.def->background.isValid() || p.def->vAlign != QTextCharFormat::AlignNormal) {
            QTextTableCellFormat f = cell.format().toTableCellFormat();
            if (p.def->background.isValid())
                f.setBackground(p.def->background);
            if (p.def->vAlign != QTextCharFormat::AlignNormal)
                f.setVerticalAlignment(p.def->vAlign);
            cell.setFormat(f);
        }
        QTextCursor cc = cell.firstCursorPosition();
        emitItems(cc, p.cell->items, ++m_containers);
    }
    c.setPosition(t->lastPosition() + 1);
}

void Builder::finish()
{
    m_overflowDepth = 0;
    while (m_states.size() > 2) {
        State ended = std::move(m_states.back());
        m_states.pop_back();
        endState(ended);
    }
    if (m_states.size() == 2)
        finishContent();
}

// The text after the last paragraph mark is a paragraph of its own, without a mark after it.
void Builder::finishContent()
{
    if (!m_paragraph.isEmpty()) {
        if (state().itap > 0 && !m_tables.empty()) {
            endCell(size_t(state().itap));
        } else {
            endParagraph(0);
            m_needBlock = false;
        }
    }
    closeTablesDeeperThan(0);
    // At the end of the document the last paragraph mark only ends the last paragraph, as when
    // a file is opened (the next insertion starts a paragraph of its own); inside the document
    // it also moves what follows the cursor to a paragraph of its own.
    if (m_needBlock && !m_cursor.atEnd())
        m_cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    m_needBlock = false;
}

template <typename Char> bool startsWithRtf(const Char *data, qsizetype size, qsizetype &start)
{
    qsizetype i = 0;
    while (i < size && (data[i] == Char(' ') || data[i] == Char('\t') || data[i] == Char('\r') ||
                        data[i] == Char('\n')))
        ++i;
    static const char prefix[] = "{\\rtf";
    if (size - i < 5)
        return false;
    for (int k = 0; k < 5; ++k) {
        if (data[i + k] != Char(prefix[k]))
            return false;
    }
    start = i;
    return true;
}

RtfReadResult insertPlainText(QTextCursor &cursor, QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            c = u'\n';
        else if ((u < 0x20 && u != u'\t' && u != u'\n') || u == QChar::ObjectReplacementCharacter ||
                 u == 0xFDD0 || u == 0xFDD1)
            c = QChar::ReplacementCharacter;
    }
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
    RtfReadResult result;
    result.isRtf = false;
    return result;
}

template <typename Char>
RtfReadResult insertRtf(QTextCursor &cursor, const Char *data, qsizetype size)
{
    RtfReadResult result;
    qsizetype start = 0;
    startsWithRtf(data, size, start);
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    {
        Builder builder(cursor, result.errors);
        builder.run(data, size, start);
    }
    cursor.endEditBlock();
    return result;
}

} // namespace

RtfReadResult RtfReader::insert(QTextCursor &cursor, QByteArrayView rtf)
{
    qsizetype start = 0;
    if (!startsWithRtf(rtf.data(), rtf.size(), start))
        return insertPlainText(cursor, QString::fromUtf8(rtf));
    return insertRtf(cursor, rtf.data(), rtf.size());
}

RtfReadResult RtfReader::insert(QTextCursor &cursor, QStringView rtf)
{
    qsizetype start = 0;
    if (!startsWithRtf(rtf.utf16(), rtf.size(), start))
        return insertPlainText(cursor, rtf.toString());
    return insertRtf(cursor, rtf.utf16(), rtf.size());
}
