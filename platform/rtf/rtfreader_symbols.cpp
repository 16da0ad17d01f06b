// The RTF reader's symbols: control words that stand for a character or a break (\par,
// \tab, \emdash), and control symbols (\~, \-, \{).

#include "rtfreader_p.h"

namespace RtfImport {

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

} // namespace RtfImport
