#include "rtfwriter.h"

#include "rtfformat.h"
#include "rtfwriter_output.h"
#include "rtfwriter_places.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

// Document pixels are 1/96 in; RTF measures in twips (1/1440 in).
constexpr double twipsPerPixel = 15.0;
// Letter paper with one-inch margins leaves 6.5 in of text width; percentage widths refer to it.
constexpr int paperWidthTwips = 12240;
constexpr int paperHeightTwips = 15840;
constexpr int marginTwips = 1440;
constexpr int textWidthTwips = paperWidthTwips - 2 * marginTwips;
// How far a list marker hangs left of the item's text.
constexpr int listHangTwips = 360;
constexpr int maxListLevels = 9;
// The heading levels the style sheet has a style for.
constexpr int maxHeadingStyles = 6;
// How far an entry of the table of contents is indented for each level below the first.
constexpr int tocIndentTwips = 360;

int toTwips(double pixels)
{
    return int(std::lround(pixels * twipsPerPixel));
}

enum class EndMark { Paragraph, Cell, NestedCell };

struct CharCodes {
    bool ready = false;
    bool image = false;
    QByteArray codes;  // relative to \plain plus the document's default size
    QString href;      // the link this text belongs to, if any
    QByteArray rtl[2]; // for text in a right-to-left script (Arabic, Hebrew), once needed
};

struct BlockCodes {
    bool ready = false;
    QByteArray codes; // everything but the indents, which lists adjust
    int left = 0;
    int right = 0;
    int first = 0;
    bool breakAfter = false;
};

struct Picture {
    bool valid = false;
    QByteArray blip; // "\pngblip\picwN\pichN"
    QByteArray hex;
    QSize size;
};

struct ListInfo {
    int index = 0; // \ls
    int level = 0; // \ilvl
    int left = 0;  // twips the list adds to the paragraph's indent
    QTextListFormat format;
    int nextItem = -1; // the item number of the next block written, once known
};

struct FontEntry {
    QString name;
    int styleHint = QFont::AnyStyle;
};

QString numberText(int number, QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha: {
        if (number <= 0)
            return QString::number(number);
        // a..z, aa..az, ba.. as the document shows its own markers
        QString letters;
        const char16_t base = style == QTextListFormat::ListLowerAlpha ? u'a' : u'A';
        while (number > 0) {
            --number;
            letters.prepend(QChar(char16_t(base + number % 26)));
            number /= 26;
        }
        return letters;
    }
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman: {
        if (number <= 0 || number >= 4000)
            return QString::number(number);
        static constexpr std::pair<int, const char *> numerals[] = {
            {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
            {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
        QString roman;
        for (const auto &[value, text] : numerals) {
            while (number >= value) {
                roman += QLatin1StringView(text);
                number -= value;
            }
        }
        return style == QTextListFormat::ListUpperRoman ? roman.toUpper() : roman;
    }
    default:
        return QString::number(number);
    }
}

bool isBullet(QTextListFormat::Style style)
{
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
           style == QTextListFormat::ListSquare;
}

// A list whose items show no marker: Qt draws none for a list of no style.
bool hasNoMarker(QTextListFormat::Style style)
{
    return style == QTextListFormat::ListStyleUndefined;
}

char16_t bulletChar(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListCircle:
        return u'\u25e6';
    case QTextListFormat::ListSquare:
        return u'\u25aa';
    default:
        return u'\u2022';
    }
}

// \levelnfc values of the RTF list table.
int levelNumberFormat(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListUpperRoman:
        return 1;
    case QTextListFormat::ListLowerRoman:
        return 2;
    case QTextListFormat::ListUpperAlpha:
        return 3;
    case QTextListFormat::ListLowerAlpha:
        return 4;
    case QTextListFormat::ListDecimal:
        return 0;
    case QTextListFormat::ListStyleUndefined:
        return 255; // no number: with an empty level text, no marker at all
    default:
        return 23; // bullet
    }
}

QString listSuffix(const QTextListFormat &format)
{
    return format.hasProperty(QTextFormat::ListNumberSuffix) ? format.numberSuffix()
                                                             : QStringLiteral(".");
}

int listStart(const QTextListFormat &format)
{
    return format.hasProperty(RtfFormat::ListStart) ? format.intProperty(RtfFormat::ListStart) : 1;
}

const char *borderStyleWord(QTextFrameFormat::BorderStyle style)
{
    switch (style) {
    case QTextFrameFormat::BorderStyle_Dotted:
        return "\\brdrdot";
    case QTextFrameFormat::BorderStyle_Dashed:
        return "\\brdrdash";
    case QTextFrameFormat::BorderStyle_Double:
        return "\\brdrdb";
    case QTextFrameFormat::BorderStyle_DotDash:
        return "\\brdrdashd";
    case QTextFrameFormat::BorderStyle_DotDotDash:
        return "\\brdrdashdd";
    case QTextFrameFormat::BorderStyle_Groove:
        return "\\brdrengrave";
    case QTextFrameFormat::BorderStyle_Ridge:
        return "\\brdremboss";
    case QTextFrameFormat::BorderStyle_Inset:
        return "\\brdrinset";
    case QTextFrameFormat::BorderStyle_Outset:
        return "\\brdroutset";
    default:
        return "\\brdrs";
    }
}

// A family as the font table can hold it, and as the reader takes it back: without the
// characters a font name does not carry, at most 256 characters, trimmed. Empty when nothing
// of the family remains; such a family is written as the default font, since an entry
// without a name names no font.
QString fontTableName(const QString &family)
{
    QString name = family;
    name.removeIf([](QChar c) { return RtfFormat::isDroppedFromFontName(c.unicode()); });
    name.truncate(256);
    return name.trimmed();
}

// Font family keyword, pitch and charset for the font table, from the style hint or the name.
struct FontClass {
    const char *family;
    int pitch; // \fprq: 1 fixed, 2 variable
    int charset;
};

FontClass classifyFont(const QString &name, int styleHint)
{
    switch (styleHint) {
    case QFont::Serif:
        return {"\\froman", 2, 0};
    case QFont::SansSerif:
        return {"\\fswiss", 2, 0};
    case QFont::Monospace:
    case QFont::TypeWriter:
        return {"\\fmodern", 1, 0};
    case QFont::Cursive:
        return {"\\fscript", 2, 0};
    case QFont::Fantasy:
    case QFont::Decorative:
        return {"\\fdecor", 2, 0};
    default:
        break;
    }
    const QString lower = name.toLower();
    static const char *const symbolic[] = {"symbol", "wingdings", "webdings", "zapf dingbats"};
    for (const char *s : symbolic) {
        if (lower.startsWith(QLatin1StringView(s)))
            return {"\\ftech", 2, 2};
    }
    static const char *const modern[] = {"mono",   "courier",        "consolas", "menlo",
                                         "monaco", "lucida console", "fixed",    "code"};
    for (const char *s : modern) {
        if (lower.contains(QLatin1StringView(s)))
            return {"\\fmodern", 1, 0};
    }
    static const char *const roman[] = {"times", "serif",    "georgia", "cambria",    "garamond",
                                        "book",  "palatino", "roman",   "baskerville"};
    for (const char *s : roman) {
        if (lower.contains(QLatin1StringView(s)) && !lower.contains(QLatin1StringView("sans")))
            return {"\\froman", 2, 0};
    }
    static const char *const swiss[] = {"sans",    "arial",     "helvetica",  "verdana", "tahoma",
                                        "calibri", "segoe",     "ubuntu",     "roboto",  "noto",
                                        "open",    "trebuchet", "liberation", "dejavu",  "carlito"};
    for (const char *s : swiss) {
        if (lower.contains(QLatin1StringView(s)))
            return {"\\fswiss", 2, 0};
    }
    if (lower.contains(QLatin1StringView("script")) || lower.contains(QLatin1StringView("cursive")))
        return {"\\fscript", 2, 0};
    return {"\\fnil", 2, 0};
}

// Letters of the scripts written from right to left: Hebrew, Arabic, Syriac, Thaana, N'Ko and
// their neighbours, and the presentation forms of Hebrew and Arabic.
bool isRightToLeftScript(char16_t c)
{
    return (c >= 0x0590 && c <= 0x08ff) || (c >= 0xfb1d && c <= 0xfdff) ||
           (c >= 0xfe70 && c <= 0xfefc);
}

bool isHebrew(char16_t c)
{
    return (c >= 0x0590 && c <= 0x05ff) || (c >= 0xfb1d && c <= 0xfb4f);
}

// The runs of text of one direction in a stretch of text: a run starts at each letter of the
// other direction; spaces, digits and punctuation go on in the run they follow.
template <typename Take> void splitByDirection(QStringView text, Take take)
{
    qsizetype start = 0;
    int current = -1; // 0 left to right, 1 right to left, -1 not known yet
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int direction = -1;
        if (isRightToLeftScript(c))
            direction = 1;
        else if (QChar::direction(c) == QChar::DirL)
            direction = 0;
        if (direction < 0 || direction == current)
            continue;
        if (current >= 0 && i > start) {
            take(text.mid(start, i - start), current == 1);
            start = i;
        }
        current = direction;
    }
    if (start < text.size())
        take(text.mid(start), current == 1);
}

bool hasBrush(const QTextFormat &format, int property)
{
    return format.hasProperty(property) && format.brushProperty(property).style() != Qt::NoBrush;
}

// Writes the body while collecting fonts, colours and lists, then puts the header with their
// tables in front. Control words for each format are made once per format index.
class DocumentWriter final {
public:
    DocumentWriter(const QTextDocument &document, int from, int to, const RtfWriteOptions &options)
        : m_document(document), m_text(document.toRawText()), m_formats(document.allFormats()),
          m_from(from), m_to(to), m_options(options),
          m_plan(document, m_formats, from, to, options), m_body(qsizetype(to - from) * 3 + 65536)
    {
        m_charCodes.resize(m_formats.size());
        m_blockCodes.resize(m_formats.size());
        m_indentWidth = document.indentWidth() * twipsPerPixel;
        const QFont font = document.defaultFont();
        double points = font.pointSizeF();
        if (points <= 0 && font.pixelSize() > 0)
            points = font.pixelSize() * 0.75;
        if (points <= 0)
            points = 12;
        m_defaultHalfPoints = int(std::lround(points * 2));
        const QString family = fontTableName(font.family());
        m_fonts.append(
            {family.isEmpty() ? QStringLiteral("Times New Roman") : family, font.styleHint()});
        m_fontIndex.insert(m_fonts.first().name, 0);
        m_paragraphDefaults = "\\pard\\plain";
        if (m_defaultHalfPoints != 24)
            m_paragraphDefaults += "\\fs" + QByteArray::number(m_defaultHalfPoints);
    }

    QByteArray write()
    {
        if (m_options.tableOfContents)
            writeTableOfContents();
        writeFrame(m_document.rootFrame(), 0, textWidthTwips);
        if (m_paragraphs == 0)
            m_body.put(m_paragraphDefaults + "\\par\n");
        m_body.put('}');

        RtfOutput header(4096 + m_listDefinitions.size() * 2048 + m_lists.size() * 64);
        writeHeader(header);
        QByteArray result = header.take();
        result.append(m_body.take());
        return result;
    }

private:
    // ---- the tables of the header, filled while the body is written ----

    // Families that come out as the same name in the font table share its entry.
    int fontIndex(const QString &family, int styleHint)
    {
        if (family.isEmpty())
            return 0;
        const auto found = m_fontIndex.constFind(family);
        if (found != m_fontIndex.cend())
            return *found;
        const int index = int(m_fonts.size());
        m_fonts.append({family, styleHint});
        m_fontIndex.insert(family, index);
        return index;
    }

    int colorIndex(const QColor &color)
    {
        const QRgb rgb = color.rgb() | 0xff000000u;
        const auto found = m_colorIndex.constFind(rgb);
        if (found != m_colorIndex.cend())
            return *found;
        m_colors.append(rgb);
        const int index = int(m_colors.size()); // 0 is the automatic colour
        m_colorIndex.insert(rgb, index);
        return index;
    }

    ListInfo &listInfo(const QTextList *list)
    {
        const auto found = m_listInfo.find(list->objectIndex());
        if (found != m_listInfo.end())
            return *found;
        ListInfo info;
        info.format = list->format();
        info.level = qBound(0, info.format.indent() - 1, maxListLevels - 1);
        m_lists.append(listDefinition(info.format, info.level));
        info.index = int(m_lists.size());
        info.left = int(std::lround(qMax(info.format.indent(), 1) * m_indentWidth));
        return *m_listInfo.insert(list->objectIndex(), info);
    }

    void writeHeader(RtfOutput &out)
    {
        out.put("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\\deftab720\n{\\fonttbl");
        for (qsizetype i = 0; i < m_fonts.size(); ++i) {
            const FontEntry &font = m_fonts.at(i);
            const FontClass kind = classifyFont(font.name, font.styleHint);
            out.control("{\\f", i);
            out.put(kind.family);
            out.control("\\fcharset", kind.charset);
            out.control("\\fprq", kind.pitch);
            out.put(' ');
            out.putText(font.name);
            out.put(";}");
        }
        out.put("}\n{\\colortbl;");
        for (QRgb rgb : std::as_const(m_colors)) {
            out.control("\\red", qRed(rgb));
            out.control("\\green", qGreen(rgb));
            out.control("\\blue", qBlue(rgb));
            out.put(';');
        }
        out.put("}\n");
        writeStyleSheet(out);
        if (!m_lists.isEmpty())
            writeListTables(out);
        out.put("{\\*\\generator Folvane;}");
        out.control("\\paperw", paperWidthTwips);
        out.control("\\paperh", paperHeightTwips);
        out.control("\\margl", marginTwips);
        out.control("\\margr", marginTwips);
        out.control("\\margt", marginTwips);
        out.control("\\margb", marginTwips);
        out.put('\n');
    }

    // The paragraph styles: Normal and the six heading levels under the names that Word and
    // LibreOffice take for their own heading styles, each with its outline level. Heading
    // paragraphs name their style and carry their look as direct formatting.
    static void writeStyleSheet(RtfOutput &out)
    {
        out.put("{\\stylesheet{\\s0\\snext0 Normal;}");
        for (int level = 1; level <= maxHeadingStyles; ++level) {
            out.control("\n{\\s", level);
            out.control("\\outlinelevel", level - 1);
            out.control("\\sbasedon0\\snext0 heading ", level);
            out.put(";}");
        }
        out.put("}\n");
    }

    // The definition (\listid) a list's items are written with. Each list has its own override
    // (\ls), and a numbered list its own definition, which restarts the numbering; bullet lists
    // alike share one definition, since nine levels for each would make the list table most of
    // the file on a page of many short lists.
    int listDefinition(const QTextListFormat &format, int level)
    {
        const QTextListFormat::Style style = format.style();
        const bool shared = isBullet(style) || hasNoMarker(style);
        const quint64 key = (quint64(quint32(-int(style))) << 40) | (quint64(level) << 32) |
                            quint32(listStart(format));
        if (shared) {
            if (const auto found = m_sharedListDefinitions.constFind(key);
                found != m_sharedListDefinitions.cend())
                return *found;
        }
        m_listDefinitions.append(format);
        const int id = int(m_listDefinitions.size()) - 1;
        if (shared)
            m_sharedListDefinitions.insert(key, id);
        return id;
    }

    void writeListTables(RtfOutput &out)
    {
        out.put("{\\*\\listtable\n");
        for (qsizetype i = 0; i < m_listDefinitions.size(); ++i) {
            const QTextListFormat &format = m_listDefinitions.at(i);
            const int ownLevel = qBound(0, format.indent() - 1, maxListLevels - 1);
            out.control("{\\list\\listtemplateid", 1000 + i);
            for (int level = 0; level < maxListLevels; ++level)
                writeListLevel(out, format, level, level == ownLevel ? listStart(format) : 1);
            out.control("{\\listname ;}\\listid", 1000 + i);
            out.put("}\n");
        }
        out.put("}\n{\\*\\listoverridetable");
        for (qsizetype i = 0; i < m_lists.size(); ++i) {
            out.control("{\\listoverride\\listid", 1000 + m_lists.at(i));
            out.control("\\listoverridecount0\\ls", i + 1);
            out.put('}');
        }
        out.put("}\n");
    }

    void writeListLevel(RtfOutput &out, const QTextListFormat &format, int level, int start)
    {
        const QTextListFormat::Style style = format.style();
        const int nfc = levelNumberFormat(style);
        out.control("{\\listlevel\\levelnfc", nfc);
        out.control("\\levelnfcn", nfc);
        // \levelfollow: a tab after the marker, or nothing where there is none
        out.put(hasNoMarker(style) ? "\\leveljc0\\leveljcn0\\levelfollow2"
                                   : "\\leveljc0\\leveljcn0\\levelfollow0");
        out.control("\\levelstartat", start);
        if (hasNoMarker(style)) {
            out.put("{\\leveltext\\'00;}{\\levelnumbers;}");
        } else if (isBullet(style)) {
            out.put("{\\leveltext\\'01");
            out.putText(QStringView(QString(QChar(bulletChar(style)))));
            out.put(";}{\\levelnumbers;}");
        } else {
            QString prefix = format.numberPrefix();
            QString suffix = listSuffix(format);
            prefix.remove(u';');
            suffix.remove(u';');
            const qsizetype length = prefix.size() + 1 + suffix.size();
            out.put("{\\leveltext\\'");
            putHexByte(out, uchar(qMin<qsizetype>(length, 255)));
            out.putText(prefix);
            out.put("\\'");
            putHexByte(out, uchar(level));
            out.putText(suffix);
            out.put(";}{\\levelnumbers\\'");
            putHexByte(out, uchar(prefix.size() + 1));
            out.put(";}");
        }
        const int left = int(std::lround((level + 1) * m_indentWidth));
        out.control("\\fi", hasNoMarker(style) ? 0 : -listHangTwips);
        out.control("\\li", left);
        out.control("\\lin", left);
        out.put("}\n");
    }

    static void putHexByte(RtfOutput &out, uchar byte)
    {
        static constexpr char digits[] = "0123456789abcdef";
        out.put(digits[byte >> 4]);
        out.put(digits[byte & 0xf]);
    }

    // ---- formats, each turned into control words once per format index ----

    const CharCodes &charCodes(int formatIndex)
    {
        if (formatIndex < 0 || formatIndex >= m_charCodes.size()) {
            static const CharCodes none{true, false, {}, {}, {}};
            return none;
        }
        CharCodes &entry = m_charCodes[formatIndex];
        if (entry.ready)
            return entry;
        entry.ready = true;
        const QTextCharFormat format = m_formats.at(formatIndex).toCharFormat();
        entry.image = format.isImageFormat();
        if (format.isAnchor())
            entry.href = format.anchorHref();
        QByteArray &codes = entry.codes;
        const auto add = [&codes](const char *word) {
            codes += word;
        };
        const auto addValue = [&codes](const char *word, qint64 value) {
            codes += word;
            codes += QByteArray::number(value);
        };

        const QStringList families = format.fontFamilies().toStringList();
        if (!families.isEmpty() && !families.first().isEmpty()) {
            const int index = fontIndex(fontTableName(families.first()), format.fontStyleHint());
            if (index != 0)
                addValue("\\f", index);
        }
        int halfPoints = 0;
        if (format.hasProperty(QTextFormat::FontPointSize))
            halfPoints = int(std::lround(format.fontPointSize() * 2));
        else if (format.hasProperty(QTextFormat::FontPixelSize))
            halfPoints = int(std::lround(format.intProperty(QTextFormat::FontPixelSize) * 1.5));
        if (halfPoints > 0 && halfPoints != m_defaultHalfPoints)
            addValue("\\fs", halfPoints);
        if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold)
            add("\\b");
        if (format.fontItalic())
            add("\\i");
        switch (format.underlineStyle()) {
        case QTextCharFormat::SingleUnderline:
            add("\\ul");
            break;
        case QTextCharFormat::DashUnderline:
            add("\\uldash");
            break;
        case QTextCharFormat::DotLine:
            add("\\uld");
            break;
        case QTextCharFormat::DashDotLine:
            add("\\uldashd");
            break;
        case QTextCharFormat::DashDotDotLine:
            add("\\uldashdd");
            break;
        case QTextCharFormat::WaveUnderline:
            add("\\ulwave");
            break;
        default:
            break;
        }
        if (format.fontUnderline() && format.hasProperty(QTextFormat::TextUnderlineColor) &&
            format.underlineColor().isValid())
            addValue("\\ulc", colorIndex(format.underlineColor()));
        if (format.fontStrikeOut())
            add("\\strike");
        if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            add("\\super");
        else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
            add("\\sub");
        if (format.hasProperty(QTextFormat::FontCapitalization)) {
            if (format.fontCapitalization() == QFont::AllUppercase)
                add("\\caps");
            else if (format.fontCapitalization() == QFont::SmallCaps)
                add("\\scaps");
        }
        if (hasBrush(format, QTextFormat::ForegroundBrush))
            addValue("\\cf", colorIndex(format.foreground().color()));
        if (hasBrush(format, QTextFormat::BackgroundBrush)) {
            // \chcbpat is character shading (Word, LibreOffice); \cb for older readers.
            const int index = colorIndex(format.background().color());
            addValue("\\chcbpat", index);
            addValue("\\cb", index);
        }
        return entry;
    }

    const BlockCodes &blockCodes(int formatIndex)
    {
        if (formatIndex < 0 || formatIndex >= m_blockCodes.size()) {
            static const BlockCodes none{true, {}, 0, 0, 0, false};
            return none;
        }
        BlockCodes &entry = m_blockCodes[formatIndex];
        if (entry.ready)
            return entry;
        entry.ready = true;
        const QTextBlockFormat format = m_formats.at(formatIndex).toBlockFormat();
        QByteArray &codes = entry.codes;
        const auto addValue = [&codes](const char *word, qint64 value) {
            codes += word;
            codes += QByteArray::number(value);
        };
        const Qt::Alignment alignment = format.alignment() & Qt::AlignHorizontal_Mask;
        if (alignment & Qt::AlignHCenter)
            codes += "\\qc";
        else if (alignment & Qt::AlignJustify)
            codes += "\\qj";
        else if (alignment & Qt::AlignRight)
            codes += "\\qr";
        if (format.layoutDirection() == Qt::RightToLeft)
            codes += "\\rtlpar";
        if (format.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
            codes += "\\pagebb";
        entry.breakAfter = format.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysAfter;
        // RTF cannot turn wrapping off; \keep (keep the paragraph in one piece) is the nearest
        // and marks preformatted blocks for readers that know it. Spaces are kept anyway.
        if (format.nonBreakableLines())
            codes += "\\keep";
        if (format.headingLevel() > 0) {
            if (format.headingLevel() <= maxHeadingStyles)
                codes.prepend("\\s" + QByteArray::number(format.headingLevel()));
            addValue("\\outlinelevel", qMin(format.headingLevel(), 9) - 1);
        }
        if (format.topMargin() != 0)
            addValue("\\sb", toTwips(format.topMargin()));
        if (format.bottomMargin() != 0)
            addValue("\\sa", toTwips(format.bottomMargin()));
        switch (format.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            if (format.lineHeight() > 0) {
                addValue("\\sl", std::lround(format.lineHeight() * 2.4));
                codes += "\\slmult1";
            }
            break;
        case QTextBlockFormat::FixedHeight:
            if (format.lineHeight() > 0) {
                addValue("\\sl", -toTwips(format.lineHeight()));
                codes += "\\slmult0";
            }
            break;
        case QTextBlockFormat::MinimumHeight:
            if (format.lineHeight() > 0) {
                addValue("\\sl", toTwips(format.lineHeight()));
                codes += "\\slmult0";
            }
            break;
        default:
            break;
        }
        if (hasBrush(format, QTextFormat::BackgroundBrush))
            addValue("\\cbpat", colorIndex(format.background().color()));
        const QList<QTextOption::Tab> tabs = format.tabPositions();
        for (const QTextOption::Tab &tab : tabs) {
            switch (tab.type) {
            case QTextOption::RightTab:
                codes += "\\tqr";
                break;
            case QTextOption::CenterTab:
                codes += "\\tqc";
                break;
            case QTextOption::DelimiterTab:
                codes += "\\tqdec";
                break;
            default:
                break;
            }
            addValue("\\tx", toTwips(tab.position));
        }
        entry.left =
            int(std::lround(format.leftMargin() * twipsPerPixel + format.indent() * m_indentWidth));
        entry.right = toTwips(format.rightMargin());
        entry.first = toTwips(format.textIndent());
        return entry;
    }

    // ---- the body ----

    // A block's extent, including its paragraph separator, meets the range.
    bool inRange(int position, int length) const
    {
        return position + length - 1 >= m_from && position < m_to;
    }

    void writeFrame(QTextFrame *frame, int depth, int available)
    {
        for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
            if (QTextFrame *child = it.currentFrame()) {
                if (auto *table = qobject_cast<QTextTable *>(child))
                    writeTable(table, depth + 1, available);
                else
                    writeFrame(child, depth, available);
            } else {
                const QTextBlock block = it.currentBlock();
                const int position = block.position();
                const int length = block.length();
                if (inRange(position, length))
                    writeBlock(block, position, length, depth, EndMark::Paragraph);
            }
        }
    }

    void writeParagraphStart(int depth)
    {
        m_body.put(m_paragraphDefaults);
        if (depth > 0) {
            m_body.put("\\intbl");
            m_body.control("\\itap", depth);
        }
    }

    void writeEndMark(EndMark end)
    {
        switch (end) {
        case EndMark::Paragraph:
            m_body.put("\\par\n");
            break;
        case EndMark::Cell:
            m_body.put("\\cell\n");
            break;
        case EndMark::NestedCell:
            m_body.put("\\nestcell{\\nonesttables\\par}\n");
            break;
        }
        ++m_paragraphs;
    }

    void writeBlock(const QTextBlock &block, int blockStart, int blockLength, int depth,
                    EndMark end)
    {
        writeParagraphStart(depth);
        const BlockCodes &paragraph = blockCodes(block.blockFormatIndex());
        m_body.put(paragraph.codes);
        const bool breaksBefore =
            block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
        if (m_breakBeforeNext || (m_options.pageBreaks && m_bodyStarted && !breaksBefore &&
                                  m_plan.startsPage(blockStart))) {
            m_body.put("\\pagebb");
            m_breakBeforeNext = false;
        }
        m_bodyStarted = true;
        m_breakBeforeNext = paragraph.breakAfter;
        int left = paragraph.left;
        int first = paragraph.first;
        QTextList *textList = block.textList();
        ListInfo *list = textList ? &listInfo(textList) : nullptr;
        // A list item's text starts at its level's indent plus the block's own; the marker
        // hangs in front of it, as in the level's definition in the list table.
        const bool marker = list && !hasNoMarker(list->format.style());
        if (list) {
            left += list->left;
            if (first == 0 && marker)
                first = -listHangTwips;
            m_body.control("\\ls", list->index);
            m_body.control("\\ilvl", list->level);
        }
        if (left != 0)
            m_body.control("\\li", left);
        if (paragraph.right != 0)
            m_body.control("\\ri", paragraph.right);
        if (first != 0)
            m_body.control("\\fi", first);
        m_body.put(' ');
        if (marker)
            writeListMarker(*list, *textList, block);

        const int start = qMax(m_from, blockStart);
        const int stop = qMin(m_to, blockStart + blockLength - 1);
        const QString *openLink = nullptr;
        const QByteArray *openGroup = nullptr; // the codes of the text group still open
        // Fragments follow each other without gaps; counting saves a tree walk per fragment.
        int position = blockStart;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const int fragmentPosition = position;
            position += fragment.length();
            const int fragmentStart = qMax(fragmentPosition, start);
            const int fragmentStop = qMin(position, stop);
            if (fragmentStart >= fragmentStop)
                continue;
            const CharCodes &codes = charCodes(fragment.charFormatIndex());
            const bool linkChanges = openLink ? *openLink != codes.href : !codes.href.isEmpty();
            const bool marks = fragmentStart == fragmentPosition && m_plan.marksAt(fragmentStart);
            const QStringView text =
                QStringView(m_text).mid(fragmentStart, fragmentStop - fragmentStart);
            const bool mixed = !codes.image && std::any_of(text.begin(), text.end(), [](QChar c) {
                return isRightToLeftScript(c.unicode());
            });
            // Text of the same look goes on in the group that is open: fragments that differ
            // only in what is not written (a place left out) are written as one.
            if (openGroup && !linkChanges && !marks && !codes.image && !mixed &&
                *openGroup == codes.codes) {
                m_body.putText(text);
                continue;
            }
            if (openGroup) {
                m_body.put('}');
                openGroup = nullptr;
            }
            if (linkChanges && openLink) {
                m_body.put("}}}");
                openLink = nullptr;
            }
            // Bookmarks stand before a link that starts here, not inside its field.
            if (marks)
                writeMarks(fragmentStart);
            if (linkChanges && !codes.href.isEmpty()) {
                openLink = &codes.href;
                writeLinkStart(codes.href);
            }
            if (codes.image) {
                const QTextImageFormat image =
                    m_formats.at(fragment.charFormatIndex()).toCharFormat().toImageFormat();
                for (int position = fragmentStart; position < fragmentStop; ++position) {
                    if (m_text.at(position) == QChar::ObjectReplacementCharacter)
                        writePicture(image);
                }
                continue;
            }
            if (mixed) {
                writeMixedText(text, fragment.charFormatIndex());
            } else if (codes.codes.isEmpty()) {
                m_body.putText(text);
            } else {
                m_body.put('{');
                m_body.put(codes.codes);
                m_body.put(' ');
                m_body.putText(text);
                openGroup = &codes.codes;
            }
        }
        if (openGroup)
            m_body.put('}');
        if (openLink)
            m_body.put("}}}");
        if (blockLength == 1 && blockStart >= m_from)
            writeMarks(blockStart);
        // The paragraph mark carries the block's own character format (size of an empty line).
        m_body.put(charCodes(block.charFormatIndex()).codes);
        writeEndMark(end);
    }

    // Text with letters of a right-to-left script: their runs are marked right to left (\rtlch),
    // with the font, size, weight and slant for that script (\af, \afs, \ab, \ai) as Word
    // reads them, in a font that has the script's letters; the other runs as any text.
    void writeMixedText(QStringView text, int formatIndex)
    {
        splitByDirection(text, [&](QStringView run, bool rightToLeft) {
            const CharCodes &codes = charCodes(formatIndex);
            const bool hebrew =
                std::any_of(run.begin(), run.end(), [](QChar c) { return isHebrew(c.unicode()); });
            const QByteArray rtl =
                rightToLeft ? rightToLeftCodes(formatIndex, hebrew) : QByteArray();
            if (codes.codes.isEmpty() && rtl.isEmpty()) {
                m_body.putText(run);
                return;
            }
            m_body.put('{');
            m_body.put(codes.codes);
            m_body.put(rtl);
            m_body.put(' ');
            m_body.putText(run);
            m_body.put('}');
        });
    }

    const QByteArray &rightToLeftCodes(int formatIndex, bool hebrew)
    {
        static const QByteArray none;
        if (formatIndex < 0 || formatIndex >= m_charCodes.size())
            return none;
        CharCodes &entry = m_charCodes[formatIndex];
        QByteArray &codes = entry.rtl[hebrew ? 1 : 0];
        if (!codes.isEmpty())
            return codes;
        const QTextCharFormat format = m_formats.at(formatIndex).toCharFormat();
        const QStringList families = format.fontFamilies().toStringList();
        const QString family = families.isEmpty() ? m_fonts.first().name : families.first();
        codes = "\\rtlch";
        const int font =
            fontIndex(fontTableName(scriptFamily(family, hebrew ? QFontDatabase::Hebrew
                                                                : QFontDatabase::Arabic)),
                      format.fontStyleHint());
        codes += "\\af" + QByteArray::number(font);
        int halfPoints = m_defaultHalfPoints;
        if (format.hasProperty(QTextFormat::FontPointSize))
            halfPoints = int(std::lround(format.fontPointSize() * 2));
        codes += "\\afs" + QByteArray::number(halfPoints);
        if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold)
            codes += "\\ab";
        if (format.fontItalic())
            codes += "\\ai";
        return codes;
    }

    // family where it has the letters of the script, else an installed family that has them
    QString scriptFamily(const QString &family, QFontDatabase::WritingSystem script)
    {
        const auto key = qMakePair(family, int(script));
        if (const auto found = m_scriptFamilies.constFind(key); found != m_scriptFamilies.cend())
            return *found;
        QString chosen = family;
        if (!QFontDatabase::writingSystems(family).contains(script)) {
            const QStringList installed = QFontDatabase::families(script);
            static const char *const preferred[] = {"DejaVu Sans",       "Noto Sans Arabic",
                                                    "Noto Naskh Arabic", "Noto Sans Hebrew",
                                                    "FreeSerif",         "Arial"};
            QString fallback = installed.isEmpty() ? family : installed.first();
            for (const char *name : preferred) {
                if (installed.contains(QLatin1StringView(name))) {
                    fallback = QLatin1StringView(name);
                    break;
                }
            }
            chosen = fallback;
        }
        m_scriptFamilies.insert(key, chosen);
        return chosen;
    }

    void writeListMarker(ListInfo &list, const QTextList &textList, const QTextBlock &block)
    {
        const QTextListFormat &format = list.format;
        // QTextList::itemNumber() searches the list; ask once, then count.
        if (list.nextItem < 0)
            list.nextItem = textList.itemNumber(block);
        const int item = list.nextItem++;
        QString marker;
        if (isBullet(format.style())) {
            marker = QChar(bulletChar(format.style()));
        } else {
            marker = format.numberPrefix() + numberText(listStart(format) + item, format.style()) +
                     listSuffix(format);
        }
        m_body.put("{\\pntext ");
        m_body.putText(marker);
        m_body.put("\\tab}");
    }

    void writeLinkStart(const QString &href)
    {
        m_body.put("{\\field{\\*\\fldinst{HYPERLINK ");
        const RtfPlacePlan::Link link = m_plan.link(href);
        // A place in the same document takes Word's bookmark switch.
        if (link.internal)
            m_body.put("\\\\l ");
        QString target = link.internal ? link.bookmark : link.address;
        target.replace(u'\\', QStringLiteral("\\\\"));
        target.replace(u'"', QStringLiteral("%22"));
        m_body.put('"');
        m_body.putText(target);
        m_body.put('"');
        if (link.internal && !link.address.isEmpty()) {
            m_body.put("{\\*\\folvanelink ");
            m_body.putText(link.address);
            m_body.put('}');
        }
        m_body.put("}}{\\fldrslt{");
    }

    // The bookmarks and, in a copy, the keys of the places before the character at position.
    void writeMarks(int position)
    {
        const QList<RtfPlacePlan::Mark> *marks = m_plan.marksAt(position);
        if (!marks)
            return;
        for (const RtfPlacePlan::Mark &mark : *marks) {
            if (!mark.bookmark.isEmpty())
                writeBookmark(mark.bookmark);
            if (!mark.key.isEmpty()) {
                m_body.put("{\\*\\folvaneplace ");
                m_body.putText(mark.key);
                m_body.put('}');
            }
        }
    }

    // A TOC field over heading levels 1 to 3 whose result already lists the headings, each a
    // link to its bookmark, indented by its level.
    void writeTableOfContents()
    {
        const QList<RtfPlacePlan::TocEntry> &entries = m_plan.tableOfContents();
        if (entries.isEmpty())
            return;
        m_body.put("{\\field{\\*\\fldinst{TOC \\\\o \"1-3\" \\\\h}}{\\fldrslt{\n");
        for (const RtfPlacePlan::TocEntry &entry : entries) {
            m_body.put(m_paragraphDefaults);
            if (entry.level > 1)
                m_body.control("\\li", (entry.level - 1) * tocIndentTwips);
            m_body.put(" {\\field{\\*\\fldinst{HYPERLINK \\\\l \"");
            m_body.putText(entry.bookmark);
            m_body.put("\"}}{\\fldrslt{");
            m_body.putText(entry.text);
            m_body.put("}}}");
            writeEndMark(EndMark::Paragraph);
        }
        m_body.put("}}}\n");
    }

    void writeBookmark(const QString &name)
    {
        m_body.put("{\\*\\bkmkstart ");
        m_body.putText(name);
        m_body.put("}{\\*\\bkmkend ");
        m_body.putText(name);
        m_body.put('}');
    }

    const Picture &picture(const QString &name)
    {
        const auto found = m_pictures.constFind(name);
        if (found != m_pictures.cend())
            return *found;
        Picture picture;
        const QVariant resource = m_document.resource(QTextDocument::ImageResource, QUrl(name));
        QByteArray bytes;
        QImage image;
        switch (resource.typeId()) {
        case QMetaType::QByteArray:
            bytes = resource.toByteArray();
            break;
        case QMetaType::QImage:
            image = resource.value<QImage>();
            break;
        case QMetaType::QPixmap:
            image = resource.value<QPixmap>().toImage();
            break;
        default:
            break;
        }
        const char *blip = nullptr;
        if (bytes.startsWith("\x89PNG\r\n\x1a\n") && bytes.size() >= 24) {
            const auto *header = reinterpret_cast<const uchar *>(bytes.constData());
            const auto bigEndian = [header](int at) {
                return int(quint32(header[at]) << 24 | quint32(header[at + 1]) << 16 |
                           quint32(header[at + 2]) << 8 | quint32(header[at + 3]));
            };
            picture.size = QSize(bigEndian(16), bigEndian(20));
            blip = "\\pngblip";
        } else if (bytes.startsWith("\xff\xd8\xff")) {
            QBuffer buffer(&bytes);
            QImageReader reader(&buffer, "jpeg");
            picture.size = reader.size();
            blip = "\\jpegblip";
        }
        if (!blip || picture.size.isEmpty()) {
            if (image.isNull() && !bytes.isEmpty())
                image = QImage::fromData(bytes);
            bytes.clear();
            if (!image.isNull()) {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                image.save(&buffer, "PNG");
                picture.size = image.size();
                blip = "\\pngblip";
            }
        }
        if (blip && !bytes.isEmpty() && !picture.size.isEmpty()) {
            picture.valid = true;
            picture.blip = QByteArray(blip) + "\\picw" + QByteArray::number(picture.size.width()) +
                           "\\pich" + QByteArray::number(picture.size.height());
            RtfOutput hex(bytes.size() * 2 + bytes.size() / 64 + 16);
            hex.putHex(bytes);
            picture.hex = hex.take();
        }
        return *m_pictures.insert(name, picture);
    }

    void writePicture(const QTextImageFormat &format)
    {
        const Picture &image = picture(format.name());
        if (!image.valid)
            return;
        double width = format.width();
        double height = format.height();
        const QSize natural = image.size;
        if (width <= 0 && height <= 0) {
            width = natural.width();
            height = natural.height();
        } else if (width <= 0) {
            width = height * natural.width() / natural.height();
        } else if (height <= 0) {
            height = width * natural.height() / natural.width();
        }
        m_body.put("{\\pict");
        m_body.put(image.blip);
        // A goal of 0 reads as "no goal", so an image smaller than a twip keeps one twip.
        m_body.control("\\picwgoal", std::max(1, toTwips(width)));
        m_body.control("\\pichgoal", std::max(1, toTwips(height)));
        m_body.put(image.hex);
        m_body.put('}');
    }

    // ---- tables ----

    QList<int> columnWidths(const QTextTableFormat &format, int columns, int available) const
    {
        const QTextLength tableLength = format.width();
        int tableWidth = available;
        if (tableLength.type() == QTextLength::FixedLength)
            tableWidth = toTwips(tableLength.rawValue());
        else if (tableLength.type() == QTextLength::PercentageLength)
            tableWidth = int(available * tableLength.rawValue() / 100);
        const QList<QTextLength> constraints = format.columnWidthConstraints();
        QList<int> widths(columns, -1);
        int fixed = 0;
        int variable = 0;
        for (int c = 0; c < columns; ++c) {
            const QTextLength length = c < constraints.size() ? constraints.at(c) : QTextLength();
            if (length.type() == QTextLength::FixedLength)
                widths[c] = toTwips(length.rawValue());
            else if (length.type() == QTextLength::PercentageLength)
                widths[c] = int(tableWidth * length.rawValue() / 100);
            if (widths[c] < 0)
                ++variable;
            else
                fixed += widths[c];
        }
        if (variable > 0) {
            const int share = qMax(tableWidth - fixed, 144 * variable) / variable;
            for (int &width : widths) {
                if (width < 0)
                    width = share;
            }
        }
        for (int &width : widths)
            width = qMax(width, 1);
        return widths;
    }

    void writeBorder(RtfOutput &codes, const char *side, qreal width,
                     QTextFrameFormat::BorderStyle style, const QBrush &brush)
    {
        if (width <= 0 || style == QTextFrameFormat::BorderStyle_None)
            return;
        codes.put(side);
        codes.put(borderStyleWord(style));
        codes.control("\\brdrw", qMax(1, toTwips(width)));
        if (brush.style() != Qt::NoBrush)
            codes.control("\\brdrcf", colorIndex(brush.color()));
    }

    // Word's preferred width: unit 1 automatic, 2 fiftieths of a percent, 3 twips.
    static void writePreferredWidth(RtfOutput &codes, const char *unitWord, const char *widthWord,
                                    const QTextLength &length)
    {
        switch (length.type()) {
        case QTextLength::FixedLength:
            codes.control(unitWord, 3);
            codes.control(widthWord, toTwips(length.rawValue()));
            return;
        case QTextLength::PercentageLength:
            codes.control(unitWord, 2);
            codes.control(widthWord, std::lround(length.rawValue() * 50));
            return;
        default:
            codes.control(unitWord, 1);
        }
    }

    // A table row's properties, which are written before its cells and again at its end.
    QByteArray rowDefinition(QTextTable *table, int row, const QList<int> &boundaries)
    {
        const QTextTableFormat format = table->format();
        const int columns = table->columns();
        RtfOutput codes(256 + 160 * columns);
        codes.put("\\trowd");
        if (format.layoutDirection() == Qt::RightToLeft)
            codes.put("\\rtlrow");
        const int padding = toTwips(format.cellPadding());
        codes.control("\\trgaph", padding);
        // The widths as the document states them (\cellx only holds the result), so that
        // readers can tell fixed, percentage and automatic widths apart.
        writePreferredWidth(codes, "\\trftsWidth", "\\trwWidth", format.width());
        const QList<QTextLength> constraints = format.columnWidthConstraints();
        if (row < format.headerRowCount())
            codes.put("\\trhdr");
        const Qt::Alignment alignment = format.alignment() & Qt::AlignHorizontal_Mask;
        if (alignment & Qt::AlignHCenter)
            codes.put("\\trqc");
        else if (alignment & Qt::AlignRight)
            codes.put("\\trqr");
        for (const char *side : {"l", "t", "r", "b"}) {
            codes.put("\\trpadd");
            codes.control(side, padding);
            codes.put("\\trpaddf");
            codes.control(side, 3);
        }
        if (!format.borderCollapse() && format.cellSpacing() > 0) {
            const int spacing = toTwips(format.cellSpacing() / 2);
            for (const char *side : {"l", "t", "r", "b"}) {
                codes.put("\\trspd");
                codes.control(side, spacing);
                codes.put("\\trspdf");
                codes.control(side, 3);
            }
        }
        for (int column = 0; column < columns; ++column) {
            const QTextTableCell cell = table->cellAt(row, column);
            if (cell.rowSpan() > 1)
                codes.put(cell.row() == row ? "\\clvmgf" : "\\clvmrg");
            if (cell.columnSpan() > 1)
                codes.put(cell.column() == column ? "\\clmgf" : "\\clmrg");
            const QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            switch (cellFormat.verticalAlignment()) {
            case QTextCharFormat::AlignMiddle:
                codes.put("\\clvertalc");
                break;
            case QTextCharFormat::AlignBottom:
                codes.put("\\clvertalb");
                break;
            default:
                codes.put("\\clvertalt");
                break;
            }
            const auto side = [&](const char *word, int widthProperty, int styleProperty,
                                  int brushProperty) {
                const qreal width = cellFormat.hasProperty(widthProperty)
                                        ? cellFormat.doubleProperty(widthProperty)
                                        : format.border();
                const auto style = QTextFrameFormat::BorderStyle(
                    cellFormat.hasProperty(styleProperty) ? cellFormat.intProperty(styleProperty)
                                                          : int(format.borderStyle()));
                const QBrush brush = cellFormat.hasProperty(brushProperty)
                                         ? cellFormat.brushProperty(brushProperty)
                                         : format.borderBrush();
                writeBorder(codes, word, width, style, brush);
            };
            side("\\clbrdrt", QTextFormat::TableCellTopBorder, QTextFormat::TableCellTopBorderStyle,
                 QTextFormat::TableCellTopBorderBrush);
            side("\\clbrdrl", QTextFormat::TableCellLeftBorder,
                 QTextFormat::TableCellLeftBorderStyle, QTextFormat::TableCellLeftBorderBrush);
            side("\\clbrdrb", QTextFormat::TableCellBottomBorder,
                 QTextFormat::TableCellBottomBorderStyle, QTextFormat::TableCellBottomBorderBrush);
            side("\\clbrdrr", QTextFormat::TableCellRightBorder,
                 QTextFormat::TableCellRightBorderStyle, QTextFormat::TableCellRightBorderBrush);
            // A cell's own padding. Word reads \clpadl as the top and \clpadt as the left
            // padding, and LibreOffice follows it, so the two are written swapped.
            const std::pair<int, const char *> paddings[] = {
                {QTextFormat::TableCellTopPadding, "\\clpadl"},
                {QTextFormat::TableCellLeftPadding, "\\clpadt"},
                {QTextFormat::TableCellBottomPadding, "\\clpadb"},
                {QTextFormat::TableCellRightPadding, "\\clpadr"}};
            for (const auto &[property, word] : paddings) {
                if (!cellFormat.hasProperty(property))
                    continue;
                codes.control(word, toTwips(cellFormat.doubleProperty(property)));
                codes.put("\\clpadf");
                codes.control(word + 6, 3);
            }
            if (hasBrush(cellFormat, QTextFormat::BackgroundBrush))
                codes.control("\\clcbpat", colorIndex(cellFormat.background().color()));
            writePreferredWidth(codes, "\\clftsWidth", "\\clwWidth",
                                column < constraints.size() ? constraints.at(column)
                                                            : QTextLength());
            codes.control("\\cellx", boundaries.at(column + 1));
        }
        return codes.take();
    }

    static bool cellInRange(const QTextTableCell &cell, int from, int to)
    {
        return cell.lastPosition() >= from && cell.firstPosition() < to;
    }

    void writeTable(QTextTable *table, int depth, int available)
    {
        const int rows = table->rows();
        const int columns = table->columns();
        if (rows <= 0 || columns <= 0)
            return;
        const QTextTableFormat format = table->format();
        const QList<int> widths = columnWidths(format, columns, available);
        QList<int> boundaries(columns + 1, 0);
        for (int c = 0; c < columns; ++c)
            boundaries[c + 1] = boundaries[c] + widths.at(c);
        const int padding = toTwips(format.cellPadding());

        for (int row = 0; row < rows; ++row) {
            bool inRange = false;
            for (int column = 0; column < columns && !inRange; ++column)
                inRange = cellInRange(table->cellAt(row, column), m_from, m_to);
            if (!inRange)
                continue;
            const QByteArray definition = rowDefinition(table, row, boundaries);
            if (depth == 1) {
                m_body.put(definition);
                m_body.put('\n');
            }
            for (int column = 0; column < columns; ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                const EndMark end = depth == 1 ? EndMark::Cell : EndMark::NestedCell;
                if (cell.row() != row || cell.column() != column) {
                    writeParagraphStart(depth);
                    m_body.put(' ');
                    writeEndMark(end);
                    continue;
                }
                const int width = boundaries.at(column + cell.columnSpan()) - boundaries.at(column);
                writeCell(cell, depth, end, qMax(width - 2 * padding, 144));
            }
            if (depth == 1) {
                // Word repeats the row's definition at its end; readers of nested tables rely on
                // it.
                m_body.put(definition);
                m_body.put("\\row\n");
            } else {
                writeParagraphStart(depth);
                m_body.put("{\\*\\nesttableprops");
                m_body.put(definition);
                m_body.put("\\nestrow}{\\nonesttables\\par}\n");
            }
        }
    }

    void writeCell(const QTextTableCell &cell, int depth, EndMark end, int width)
    {
        for (QTextFrame::iterator it = cell.begin(); !it.atEnd();) {
            QTextFrame *child = it.currentFrame();
            const QTextBlock block = it.currentBlock();
            ++it;
            const bool last = it.atEnd();
            if (child) {
                if (auto *table = qobject_cast<QTextTable *>(child))
                    writeTable(table, depth + 1, width);
                else
                    writeFrame(child, depth, width);
            } else if (inRange(block.position(), block.length())) {
                writeBlock(block, block.position(), block.length(), depth,
                           last ? end : EndMark::Paragraph);
            } else if (last) {
                writeParagraphStart(depth);
                m_body.put(' ');
                writeEndMark(end);
            }
        }
    }

    const QTextDocument &m_document;
    const QString m_text; // the document's characters, indexed by position
    const QList<QTextFormat> m_formats;
    const int m_from;
    const int m_to;
    const RtfWriteOptions m_options;
    const RtfPlacePlan m_plan;
    RtfOutput m_body;

    double m_indentWidth = 600;
    int m_defaultHalfPoints = 24;
    QByteArray m_paragraphDefaults;
    qsizetype m_paragraphs = 0;
    bool m_breakBeforeNext = false;
    bool m_bodyStarted = false; // a paragraph of the document's own has been written

    QList<CharCodes> m_charCodes;
    QList<BlockCodes> m_blockCodes;
    QList<FontEntry> m_fonts;
    QHash<QString, int> m_fontIndex;
    QList<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex;
    QList<QTextListFormat> m_listDefinitions;
    QHash<quint64, int> m_sharedListDefinitions; // bullet style, level and start -> definition
    QList<int> m_lists;                          // \ls - 1 -> definition
    // By the list's index in the document rather than its address, so that the work done
    // here does not depend on where the lists lie in memory (the fuzz step repeats itself).
    QHash<int, ListInfo> m_listInfo;
    QHash<QString, Picture> m_pictures;
    QHash<QPair<QString, int>, QString> m_scriptFamilies; // (family, writing system) -> family
};

} // namespace

QByteArray RtfWriter::write(const QTextDocument &document)
{
    return write(document, 0, document.characterCount(), RtfWriteOptions());
}

QByteArray RtfWriter::write(const QTextDocument &document, const RtfWriteOptions &options)
{
    return write(document, 0, document.characterCount(), options);
}

QByteArray RtfWriter::write(const QTextDocument &document, int from, int to)
{
    return write(document, from, to, RtfWriteOptions());
}

QByteArray RtfWriter::write(const QTextDocument &document, int from, int to,
                            const RtfWriteOptions &options)
{
    const int end = document.characterCount();
    from = qBound(0, from, end);
    to = qBound(0, to, end);
    if (from > to)
        std::swap(from, to);
    return DocumentWriter(document, from, to, options).write();
}
