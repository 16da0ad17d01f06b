// The RTF reader's control words that take a value (\fs24, \cf1, \li720).

#include "rtfreader_p.h"

#include <algorithm>

namespace RtfImport {

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
    case RtfWord::Style:
        if (s.dest == Dest::StyleSheet) {
            m_styleNumber = v;
        } else if (const auto found = m_styleLevels.constFind(v); found != m_styleLevels.cend()) {
            s.blk.headingLevel = quint8(*found);
        }
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

} // namespace RtfImport
