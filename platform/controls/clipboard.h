#pragma once

#include <QByteArray>
#include <QString>

// The system clipboard as the program uses it.
namespace Clipboard {
// Replaces the clipboard's content with one copy in three renderings: RTF (text/rtf, also
// offered as application/rtf), HTML and plain text.
void setRichText(const QByteArray &rtf, const QString &html, const QString &text);
// The clipboard's Rich Text Format content as RTF source text: text/rtf, else
// application/rtf; the empty string when it holds neither.
QString richText();
} // namespace Clipboard
