#include "rtfcontrolwords.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using K = RtfWordKind;
using W = RtfWord;

// Destinations the reader has no use for; their groups are skipped whole. Most are also marked
// with \* by the programs that write them, but the older ones are not.
constexpr RtfControlWord kWords[] = {
    {"aftncn", K::Destination, W::SkipDestination},
    {"aftnsep", K::Destination, W::SkipDestination},
    {"aftnsepc", K::Destination, W::SkipDestination},
    {"annotation", K::Destination, W::SkipDestination},
    {"ansi", K::Flag, W::Ansi},
    {"ansicpg", K::Value, W::AnsiCodePage},
    {"atnauthor", K::Destination, W::SkipDestination},
    {"atnid", K::Destination, W::SkipDestination},
    {"author", K::Destination, W::SkipDestination},
    {"b", K::Toggle, W::Bold},
    {"background", K::Destination, W::SkipDestination},
    {"bkmkend", K::Destination, W::SkipDestination},
    {"bkmkstart", K::Destination, W::BookmarkStart},
    {"blipuid", K::Destination, W::SkipDestination},
    {"blue", K::Value, W::Blue},
    {"brdrcf", K::Value, W::BorderColor},
    {"brdrdash", K::Flag, W::BorderDashed},
    {"brdrdashd", K::Flag, W::BorderDotDash},
    {"brdrdashdd", K::Flag, W::BorderDotDotDash},
    {"brdrdb", K::Flag, W::BorderDouble},
    {"brdrdot", K::Flag, W::BorderDotted},
    {"brdremboss", K::Flag, W::BorderRidge},
    {"brdrengrave", K::Flag, W::BorderGroove},
    {"brdrinset", K::Flag, W::BorderInset},
    {"brdrnone", K::Flag, W::BorderNone},
    {"brdroutset", K::Flag, W::BorderOutset},
    {"brdrsh", K::Flag, W::BorderSingle},
    {"brdrth", K::Flag, W::BorderSingle},
    {"clvertalb", K::Flag, W::CellAlignBottom},
    {"clvertalc", K::Flag, W::CellAlignMiddle},
    {"clvertalt", K::Flag, W::CellAlignTop},
    {"keep", K::Toggle, W::KeepLines},
    {"ltrpar", K::Flag, W::LeftToRight},
    {"outlinelevel", K::Value, W::OutlineLevel},
    {"rtlpar", K::Flag, W::RightToLeft},
    {"rtlrow", K::Flag, W::RowRightToLeft},
    {"ltrrow", K::Flag, W::RowLeftToRight},
    {"trqc", K::Flag, W::RowAlignCenter},
    {"trqr", K::Flag, W::RowAlignRight},
    {"trspdl", K::Value, W::RowSpacing},
    {"trspdr", K::Value, W::RowSpacing},
    {"trspdt", K::Value, W::RowSpacing},
    {"trspdb", K::Value, W::RowSpacing},
    {"brdrs", K::Flag, W::BorderSingle},
    {"brdrw", K::Value, W::BorderWidth},
    {"bullet", K::Symbol, W::Bullet},
    {"buptim", K::Destination, W::SkipDestination},
    {"caps", K::Toggle, W::Caps},
    {"cb", K::Value, W::BackColor},
    {"cbpat", K::Value, W::ParaBackground},
    {"cell", K::Flag, W::Cell},
    {"cellx", K::Value, W::CellX},
    {"cf", K::Value, W::ForeColor},
    {"chcbpat", K::Value, W::BackColor},
    {"clbrdrb", K::Flag, W::CellBorderBottom},
    {"clbrdrl", K::Flag, W::CellBorderLeft},
    {"clbrdrr", K::Flag, W::CellBorderRight},
    {"clbrdrt", K::Flag, W::CellBorderTop},
    {"clcbpat", K::Value, W::CellBackground},
    {"clmgf", K::Flag, W::CellMergeFirst},
    {"clmrg", K::Flag, W::CellMerge},
    {"clvmgf", K::Flag, W::CellVMergeFirst},
    {"clvmrg", K::Flag, W::CellVMerge},
    {"colortbl", K::Destination, W::ColorTable},
    {"comment", K::Destination, W::SkipDestination},
    {"company", K::Destination, W::SkipDestination},
    {"creatim", K::Destination, W::SkipDestination},
    {"datafield", K::Destination, W::SkipDestination},
    {"deff", K::Value, W::DefaultFont},
    {"dibitmap", K::Flag, W::OtherPicture},
    {"dn", K::Value, W::Dn},
    {"do", K::Destination, W::SkipDestination},
    {"doccomm", K::Destination, W::SkipDestination},
    {"docvar", K::Destination, W::SkipDestination},
    {"emdash", K::Symbol, W::EmDash},
    {"emfblip", K::Flag, W::OtherPicture},
    {"emspace", K::Symbol, W::EmSpace},
    {"endash", K::Symbol, W::EnDash},
    {"enspace", K::Symbol, W::EnSpace},
    {"f", K::Value, W::Font},
    {"fbidi", K::Flag, W::FontFamilyBidi},
    {"fcharset", K::Value, W::FontCharset},
    {"fcpg", K::Value, W::FontCodePage},
    {"fdecor", K::Flag, W::FontFamilyDecor},
    {"fi", K::Value, W::FirstIndent},
    {"field", K::Destination, W::Field},
    {"folvanelink", K::Destination, W::LinkAddress},
    {"folvaneplace", K::Destination, W::PlaceKey},
    {"file", K::Destination, W::SkipDestination},
    {"filetbl", K::Destination, W::SkipDestination},
    {"fldinst", K::Destination, W::FieldInstruction},
    {"fldrslt", K::Destination, W::FieldResult},
    {"fmodern", K::Flag, W::FontFamilyModern},
    {"fnil", K::Flag, W::FontFamilyNil},
    {"fontemb", K::Destination, W::SkipDestination},
    {"fontfile", K::Destination, W::SkipDestination},
    {"fonttbl", K::Destination, W::FontTable},
    {"footer", K::Destination, W::SkipDestination},
    {"footerf", K::Destination, W::SkipDestination},
    {"footerl", K::Destination, W::SkipDestination},
    {"footerr", K::Destination, W::SkipDestination},
    {"footnote", K::Destination, W::SkipDestination},
    {"froman", K::Flag, W::FontFamilyRoman},
    {"fs", K::Value, W::FontSize},
    {"fscript", K::Flag, W::FontFamilyScript},
    {"fswiss", K::Flag, W::FontFamilySwiss},
    {"ftech", K::Flag, W::FontFamilyTech},
    {"ftncn", K::Destination, W::SkipDestination},
    {"ftnsep", K::Destination, W::SkipDestination},
    {"ftnsepc", K::Destination, W::SkipDestination},
    {"generator", K::Destination, W::SkipDestination},
    {"green", K::Value, W::Green},
    {"header", K::Destination, W::SkipDestination},
    {"headerf", K::Destination, W::SkipDestination},
    {"headerl", K::Destination, W::SkipDestination},
    {"headerr", K::Destination, W::SkipDestination},
    {"highlight", K::Value, W::Highlight},
    {"i", K::Toggle, W::Italic},
    {"ilvl", K::Value, W::ListLevelIndex},
    {"info", K::Destination, W::SkipDestination},
    {"intbl", K::Flag, W::InTable},
    {"itap", K::Value, W::Itap},
    {"jpegblip", K::Flag, W::JpegBlip},
    {"keywords", K::Destination, W::SkipDestination},
    {"ldblquote", K::Symbol, W::LeftDoubleQuote},
    {"levelnfc", K::Value, W::LevelNfc},
    {"levelnfcn", K::Value, W::LevelNfc},
    {"levelnumbers", K::Destination, W::SkipDestination},
    {"levelstartat", K::Value, W::LevelStartAt},
    {"leveltext", K::Destination, W::LevelText},
    {"lfolevel", K::Destination, W::SkipDestination},
    {"li", K::Value, W::LeftIndent},
    {"lin", K::Value, W::LeftIndent},
    {"line", K::Symbol, W::Line},
    {"list", K::Destination, W::List},
    {"listid", K::Value, W::ListId},
    {"listlevel", K::Destination, W::ListLevel},
    {"listname", K::Destination, W::SkipDestination},
    {"listoverride", K::Destination, W::ListOverride},
    {"listoverridetable", K::Destination, W::ListOverrideTable},
    {"listpicture", K::Destination, W::SkipDestination},
    {"listtable", K::Destination, W::ListTable},
    {"listtext", K::Destination, W::SkipDestination},
    {"lquote", K::Symbol, W::LeftQuote},
    {"ls", K::Value, W::ListOverrideIndex},
    {"ltrmark", K::Symbol, W::LtrMark},
    {"mac", K::Flag, W::Mac},
    {"macpict", K::Flag, W::OtherPicture},
    {"nestcell", K::Flag, W::NestCell},
    {"nestrow", K::Flag, W::NestRow},
    {"nesttableprops", K::Destination, W::NestTableProps},
    {"nonesttables", K::Destination, W::SkipDestination},
    {"nonshppict", K::Destination, W::SkipDestination},
    {"nosupersub", K::Flag, W::NoSuperSub},
    {"objdata", K::Destination, W::SkipDestination},
    {"operator", K::Destination, W::SkipDestination},
    {"page", K::Symbol, W::Page},
    {"pagebb", K::Toggle, W::PageBreakBefore},
    {"par", K::Symbol, W::Par},
    {"pard", K::Flag, W::Pard},
    {"pc", K::Flag, W::Pc},
    {"pca", K::Flag, W::Pca},
    {"pgdsctbl", K::Destination, W::SkipDestination},
    {"pich", K::Value, W::PicHeight},
    {"pichgoal", K::Value, W::PicGoalHeight},
    {"picscalex", K::Value, W::PicScaleX},
    {"picscaley", K::Value, W::PicScaleY},
    {"pict", K::Destination, W::Picture},
    {"picw", K::Value, W::PicWidth},
    {"picwgoal", K::Value, W::PicGoalWidth},
    {"plain", K::Flag, W::Plain},
    {"pmmetafile", K::Flag, W::MetafilePicture},
    {"pngblip", K::Flag, W::PngBlip},
    {"pn", K::Destination, W::Pn},
    {"pndec", K::Flag, W::PnDecimal},
    {"pnlcltr", K::Flag, W::PnLowerLetter},
    {"pnlcrm", K::Flag, W::PnLowerRoman},
    {"pnlvl", K::Value, W::PnLevel},
    {"pnlvlblt", K::Flag, W::PnLevelBullet},
    {"pnlvlbody", K::Flag, W::PnLevelBody},
    {"pnseclvl", K::Destination, W::SkipDestination},
    {"pnstart", K::Value, W::PnStart},
    {"pntext", K::Destination, W::PnText},
    {"pntxta", K::Destination, W::SkipDestination},
    {"pntxtb", K::Destination, W::PnTextBefore},
    {"pnucltr", K::Flag, W::PnUpperLetter},
    {"pnucrm", K::Flag, W::PnUpperRoman},
    {"printim", K::Destination, W::SkipDestination},
    {"private", K::Destination, W::SkipDestination},
    {"qc", K::Flag, W::AlignCenter},
    {"qj", K::Flag, W::AlignJustify},
    {"ql", K::Flag, W::AlignLeft},
    {"qmspace", K::Symbol, W::QuarterSpace},
    {"qr", K::Flag, W::AlignRight},
    {"rdblquote", K::Symbol, W::RightDoubleQuote},
    {"red", K::Value, W::Red},
    {"result", K::Destination, W::Transparent},
    {"revtbl", K::Destination, W::SkipDestination},
    {"revtim", K::Destination, W::SkipDestination},
    {"ri", K::Value, W::RightIndent},
    {"rin", K::Value, W::RightIndent},
    {"row", K::Flag, W::Row},
    {"rquote", K::Symbol, W::RightQuote},
    {"rsidtbl", K::Destination, W::SkipDestination},
    {"rtlmark", K::Symbol, W::RtlMark},
    {"rxe", K::Destination, W::SkipDestination},
    {"sa", K::Value, W::SpaceAfter},
    {"sb", K::Value, W::SpaceBefore},
    {"scaps", K::Toggle, W::SmallCaps},
    {"shp", K::Destination, W::Transparent},
    {"shppict", K::Destination, W::Transparent},
    {"shprslt", K::Destination, W::Transparent},
    {"sl", K::Value, W::LineSpacing},
    {"slmult", K::Value, W::LineMultiple},
    {"strike", K::Toggle, W::Strike},
    {"striked", K::Toggle, W::Strike},
    {"stylesheet", K::Destination, W::StyleSheet},
    {"s", K::Value, W::Style},
    {"sub", K::Flag, W::Sub},
    {"subject", K::Destination, W::SkipDestination},
    {"super", K::Flag, W::Super},
    {"tab", K::Symbol, W::Tab},
    {"tc", K::Destination, W::SkipDestination},
    {"template", K::Destination, W::SkipDestination},
    {"title", K::Destination, W::SkipDestination},
    {"tqc", K::Flag, W::TabCenter},
    {"tqdec", K::Flag, W::TabDecimal},
    {"tqr", K::Flag, W::TabRight},
    {"trbrdrb", K::Flag, W::RowBorderBottom},
    {"trbrdrh", K::Flag, W::RowBorderInsideH},
    {"trbrdrl", K::Flag, W::RowBorderLeft},
    {"trbrdrr", K::Flag, W::RowBorderRight},
    {"trbrdrt", K::Flag, W::RowBorderTop},
    {"trbrdrv", K::Flag, W::RowBorderInsideV},
    {"trgaph", K::Value, W::RowGap},
    {"trhdr", K::Toggle, W::RowHeader},
    {"trleft", K::Value, W::RowLeft},
    {"trowd", K::Flag, W::RowDefaults},
    {"trpaddb", K::Value, W::RowPaddingBottom},
    {"trpaddl", K::Value, W::RowPaddingLeft},
    {"trpaddr", K::Value, W::RowPaddingRight},
    {"trpaddt", K::Value, W::RowPaddingTop},
    {"tx", K::Value, W::TabPosition},
    {"txe", K::Destination, W::SkipDestination},
    {"u", K::Value, W::Unicode},
    {"uc", K::Value, W::UnicodeSkip},
    {"ud", K::Destination, W::Ud},
    {"ul", K::Toggle, W::Underline},
    {"uld", K::Toggle, W::UnderlineDotted},
    {"uldash", K::Toggle, W::UnderlineDash},
    {"uldashd", K::Toggle, W::UnderlineDashDot},
    {"uldashdd", K::Toggle, W::UnderlineDashDotDot},
    {"uldb", K::Toggle, W::Underline},
    {"ulnone", K::Flag, W::UnderlineNone},
    {"ulth", K::Toggle, W::Underline},
    {"ulw", K::Toggle, W::Underline},
    {"ulwave", K::Toggle, W::UnderlineWave},
    {"up", K::Value, W::Up},
    {"upr", K::Destination, W::Upr},
    {"userprops", K::Destination, W::SkipDestination},
    {"v", K::Toggle, W::Hidden},
    {"wbitmap", K::Flag, W::OtherPicture},
    {"wgrffmtfilter", K::Destination, W::SkipDestination},
    {"wmetafile", K::Flag, W::MetafilePicture},
    {"xe", K::Destination, W::SkipDestination},
    {"xmlnstbl", K::Destination, W::SkipDestination},
    {"zwj", K::Symbol, W::Zwj},
    {"zwnj", K::Symbol, W::Zwnj},
};

static_assert(kRtfWordSlots >= 4 * std::size(kWords));

constexpr quint32 hashName(const char *name, size_t length)
{
    quint64 h = 0;
    for (size_t i = 0; i < length; i += 8) {
        quint64 chunk = 0;
        for (size_t k = 0; k < 8 && i + k < length; ++k)
            chunk |= quint64(quint8(name[i + k])) << (8 * k);
        h = rtfWordHashChunk(h, chunk);
    }
    return rtfWordHashFinish(h);
}

constexpr size_t nameLength(const char *name)
{
    size_t n = 0;
    while (name[n])
        ++n;
    return n;
}

// Built by the compiler, so lookups work from the first moment.
struct Index {
    std::array<qint16, kRtfWordSlots> entries{};
    std::array<quint8, std::size(kWords)> lengths{};
};

constexpr Index makeIndex()
{
    Index index;
    for (qint16 &entry : index.entries)
        entry = -1;
    for (size_t i = 0; i < std::size(kWords); ++i) {
        const size_t length = nameLength(kWords[i].name);
        index.lengths[i] = quint8(length);
        size_t slot = hashName(kWords[i].name, length) & (kRtfWordSlots - 1);
        while (index.entries[slot] >= 0)
            slot = (slot + 1) & (kRtfWordSlots - 1);
        index.entries[slot] = qint16(i);
    }
    return index;
}

constexpr Index kIndex = makeIndex();

} // namespace

const RtfControlWord *const rtfWordList = kWords;
const qint16 *const rtfWordSlots = kIndex.entries.data();
const quint8 *const rtfWordLengths = kIndex.lengths.data();

const RtfControlWord *rtfLookupControlWord(QByteArrayView name)
{
    return rtfLookupControlWord(name, hashName(name.data(), size_t(name.size())));
}
