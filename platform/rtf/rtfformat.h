#pragma once

#include <QTextFormat>

// Properties of QTextDocument formats that Qt 6.4 has no setter for, shared by the RTF
// reader and writer and by anything that builds documents for them.
namespace RtfFormat {
// QTextListFormat: the number of the list's first item (int, default 1).
inline constexpr int ListStart = QTextFormat::UserProperty + 1;
} // namespace RtfFormat
