#pragma once

#include <QString>

// How a copied page joins the result document, in the window's run as in folvane-convert: a line
// break, then the page's RTF read as text, inserted at the insertion point the page before left.
namespace PageAppend {

inline QString insertion(const QString &rtf)
{
    return QStringLiteral("\r\n") + rtf;
}

} // namespace PageAppend
