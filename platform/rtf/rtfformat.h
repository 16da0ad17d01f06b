#pragma once

#include <QTextFormat>

// Properties of QTextDocument formats that Qt 6.4 has no setter for, shared by the RTF
// reader and writer and by anything that builds documents for them.
namespace RtfFormat {
// QTextListFormat: the number of the list's first item (int, default 1).
inline constexpr int ListStart = QTextFormat::UserProperty + 1;

// Characters that a font name in the font table does not carry: ';' ends the entry, control
// characters are not text there, and the writer leaves the rest out of any text it writes.
// The writer drops them from the names it writes and the reader from the names it reads, so
// a family reads back as it was written.
inline constexpr bool isDroppedFromFontName(char16_t c)
{
    return c < 0x20 || c == 0x7f || c == u';' || c == 0x2029 || c == 0xfffc || c == 0xfdd0 ||
           c == 0xfdd1;
}
} // namespace RtfFormat
