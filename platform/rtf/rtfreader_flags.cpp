// The RTF reader's flags (control words without a value) and toggles (\b, \b0).

#include "rtfreader_p.h"

#include <QTextFrameFormat>
#include <algorithm>

namespace RtfImport {

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
    case RtfWord::RowRightToLeft:
        rowDef().rightToLeft = true;
        break;
    case RtfWord::RowLeftToRight:
        rowDef().rightToLeft = false;
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

} // namespace RtfImport
