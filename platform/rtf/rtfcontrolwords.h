#pragma once

#include <QByteArrayView>

// The control words the reader understands, each with the kind that decides how it is
// dispatched. Anything not listed is ignored (or, after \*, skipped with its group).
enum class RtfWordKind : quint8 {
    Flag,        // does something; any parameter is ignored
    Toggle,      // on, or off with a parameter of 0
    Value,       // needs its parameter (a default is used when it is missing)
    Symbol,      // stands for a character
    Destination, // the rest of the group is something other than document text
};

enum class RtfWord : quint16 {
    // destinations
    SkipDestination,
    Transparent,
    FontTable,
    ColorTable,
    Field,
    FieldInstruction,
    FieldResult,
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
    Ud,
    BookmarkStart,
    PlaceKey,
    LinkAddress,
    StyleSheet,
    // character formatting
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineDotted,
    UnderlineDash,
    UnderlineDashDot,
    UnderlineDashDotDot,
    UnderlineWave,
    UnderlineNone,
    Strike,
    Super,
    Sub,
    NoSuperSub,
    Up,
    Dn,
    Caps,
    SmallCaps,
    Hidden,
    FontSize,
    Font,
    ForeColor,
    BackColor,
    Highlight,
    // paragraph formatting
    Pard,
    AlignLeft,
    AlignRight,
    AlignCenter,
    AlignJustify,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    LineSpacing,
    LineMultiple,
    PageBreakBefore,
    ParaBackground,
    TabPosition,
    TabRight,
    TabCenter,
    TabDecimal,
    InTable,
    Itap,
    ListOverrideIndex,
    ListLevelIndex,
    // special characters and breaks
    Par,
    Line,
    Tab,
    Page,
    Unicode,
    UnicodeSkip,
    EmDash,
    EnDash,
    Bullet,
    LeftQuote,
    RightQuote,
    LeftDoubleQuote,
    RightDoubleQuote,
    EmSpace,
    EnSpace,
    QuarterSpace,
    Zwj,
    Zwnj,
    LtrMark,
    RtlMark,
    // document and fonts
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCodePage,
    DefaultFont,
    FontCharset,
    FontCodePage,
    FontFamilyNil,
    FontFamilyRoman,
    FontFamilySwiss,
    FontFamilyModern,
    FontFamilyScript,
    FontFamilyDecor,
    FontFamilyTech,
    FontFamilyBidi,
    Red,
    Green,
    Blue,
    // lists
    ListId,
    LevelNfc,
    LevelStartAt,
    PnLevelBullet,
    PnLevelBody,
    PnLevel,
    PnDecimal,
    PnUpperLetter,
    PnLowerLetter,
    PnUpperRoman,
    PnLowerRoman,
    PnStart,
    // tables
    RowDefaults,
    CellX,
    Cell,
    Row,
    NestCell,
    NestRow,
    CellMergeFirst,
    CellMerge,
    CellVMergeFirst,
    CellVMerge,
    CellBackground,
    CellBorderTop,
    CellBorderLeft,
    CellBorderBottom,
    CellBorderRight,
    RowBorderTop,
    RowBorderLeft,
    RowBorderBottom,
    RowBorderRight,
    RowBorderInsideH,
    RowBorderInsideV,
    BorderSingle,
    BorderNone,
    BorderWidth,
    RowHeader,
    RowGap,
    RowPaddingLeft,
    RowPaddingRight,
    RowPaddingTop,
    RowPaddingBottom,
    RowLeft,
    RowSpacing,
    RowAlignCenter,
    RowAlignRight,
    CellAlignTop,
    CellAlignMiddle,
    CellAlignBottom,
    BorderDotted,
    BorderDashed,
    BorderDouble,
    BorderDotDash,
    BorderDotDotDash,
    BorderGroove,
    BorderRidge,
    BorderInset,
    BorderOutset,
    BorderColor,
    KeepLines,
    OutlineLevel,
    Style,
    RightToLeft,
    LeftToRight,
    RowRightToLeft,
    RowLeftToRight,
    // pictures
    PngBlip,
    JpegBlip,
    OtherPicture,
    MetafilePicture,
    PicWidth,
    PicHeight,
    PicGoalWidth,
    PicGoalHeight,
    PicScaleX,
    PicScaleY,
};

struct RtfControlWord {
    const char *name;
    RtfWordKind kind;
    RtfWord word;
};

// The hash rtfLookupControlWord() keys its table by, over the name's letters eight at a time
// (as a little-endian number, the last chunk filled with zeros), so that the tokenizer can work
// it out while it reads the name: start from 0, add each chunk, finish.
constexpr quint64 rtfWordHashChunk(quint64 hash, quint64 chunk)
{
    hash = (hash + chunk) * 0x9E3779B97F4A7C15ull;
    return hash ^ (hash >> 29);
}
constexpr quint32 rtfWordHashFinish(quint64 hash)
{
    return quint32(hash >> 32);
}

// The entry for name, or nullptr when the reader does not know it.
const RtfControlWord *rtfLookupControlWord(QByteArrayView name);

// The table behind the lookup: open addressing over a power-of-two number of slots, a few
// times more than there are words, so that a lookup usually costs one compare. Each slot holds
// an index in rtfWordList (whose names are rtfWordLengths long), or -1.
constexpr size_t kRtfWordSlots = 2048;
extern const RtfControlWord *const rtfWordList;
extern const qint16 *const rtfWordSlots;
extern const quint8 *const rtfWordLengths;

// The same, for a name whose hash is known; inline, as the reader calls it for most tokens.
inline const RtfControlWord *rtfLookupControlWord(QByteArrayView name, quint32 hash)
{
    if (name.isEmpty() || name.size() > 32)
        return nullptr;
    const qsizetype length = name.size();
    for (size_t slot = hash & (kRtfWordSlots - 1);; slot = (slot + 1) & (kRtfWordSlots - 1)) {
        const int i = rtfWordSlots[slot];
        if (i < 0)
            return nullptr;
        if (rtfWordLengths[i] != length)
            continue;
        const char *const known = rtfWordList[i].name;
        qsizetype k = 0;
        while (k < length && known[k] == name[k])
            ++k;
        if (k == length)
            return &rtfWordList[i];
    }
}
