// The RTF reader's destinations: where a group's text goes (the font, colour and list
// tables, field instructions, pictures, skipped groups), and what their ends complete.

#include "rtfreader_p.h"

#include <QRegularExpression>

#include <algorithm>

namespace RtfImport {

static QTextListFormat::Style bulletStyle(QStringView text)
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
        return bulletStyle(levelText);
    case 255: // no number: a bullet, or with an empty level text (";" alone) no marker at all
        return levelText.isEmpty() || levelText == u";" ? QTextListFormat::ListStyleUndefined
                                                        : bulletStyle(levelText);
    default:
        return QTextListFormat::ListDecimal;
    }
}

// A hyperlink's target from a field instruction such as HYPERLINK "url" \l "anchor".
static QString hyperlinkTarget(const QString &instruction)
{
    QStringList args;
    QList<bool> quoted; // a quoted argument is never a switch, even when it starts with '\\'
    qsizetype i = 0;
    const qsizetype n = instruction.size();
    while (i < n) {
        while (i < n && instruction.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        QString arg;
        quoted.append(instruction.at(i) == u'"');
        if (quoted.back()) {
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
        const bool isSwitch = !quoted.at(k) && a.startsWith(u'\\');
        if (isSwitch && a.compare(u"\\l", Qt::CaseInsensitive) == 0 && k + 1 < args.size()) {
            // An empty bookmark is still a link: to the top of the document, "#".
            bookmark = args.at(++k);
            hasBookmark = true;
        } else if (isSwitch) {
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
    case RtfWord::BookmarkStart:
        s.dest = current == Dest::Normal ? Dest::BookmarkName : Dest::Skip;
        m_destinationText.clear();
        break;
    case RtfWord::PlaceKey:
        s.dest = current == Dest::Normal ? Dest::PlaceKey : Dest::Skip;
        m_destinationText.clear();
        break;
    case RtfWord::LinkAddress:
        s.dest = current == Dest::FieldInstruction && s.field >= 0 ? Dest::LinkAddress : Dest::Skip;
        m_destinationText.clear();
        break;
    case RtfWord::StyleSheet:
        s.dest = Dest::StyleSheet;
        m_styleName.clear();
        m_styleNumber = 0;
        break;
    default:
        break;
    }
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
            // A link that this program made internal names the address it had.
            if (!field.href.isEmpty() && !field.address.isEmpty())
                field.href = field.address;
        }
        break;
    case Dest::BookmarkName:
    case Dest::PlaceKey:
        if (parent.dest != ended.dest)
            endPlaceName(ended.dest);
        break;
    case Dest::LinkAddress:
        if (parent.dest != Dest::LinkAddress && ended.field >= 0) {
            QString address = m_destinationText.trimmed();
            address.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
            m_fields[size_t(ended.field)].address = address;
            m_destinationText.clear();
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

// A bookmark's name, or the key of a place: at the current end of the paragraph. A key right
// after a bookmark (nothing read between them) is that bookmark's own key and replaces it.
void Builder::endPlaceName(Dest dest)
{
    const QString name = m_destinationText.trimmed();
    m_destinationText.clear();
    std::vector<ParagraphPlace> &places = m_paragraph.places;
    if (name.isEmpty() || places.size() >= kMaxPlacesPerParagraph)
        return;
    const qsizetype offset = qsizetype(m_paragraph.text.size());
    if (dest == Dest::PlaceKey && m_lastBookmark >= 0 && size_t(m_lastBookmark) < places.size() &&
        places[size_t(m_lastBookmark)].offset == offset) {
        places[size_t(m_lastBookmark)].name = name;
        m_lastBookmark = -1;
        return;
    }
    places.push_back({offset, name});
    m_lastBookmark = dest == Dest::BookmarkName ? qsizetype(places.size() - 1) : -1;
}

// An entry of the style sheet ends: a paragraph style named "heading N" (in any case), or with
// an outline level, gives its paragraphs that heading level.
void Builder::endStyle()
{
    static const QRegularExpression heading(QStringLiteral("^heading\\s*([1-9])$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = heading.match(m_styleName.trimmed());
    int level = match.hasMatch() ? match.captured(1).toInt() : state().blk.headingLevel;
    if (level > 0 && m_styleLevels.size() < 4096)
        m_styleLevels.insert(m_styleNumber, level);
    m_styleName.clear();
    m_styleNumber = 0;
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

} // namespace RtfImport
