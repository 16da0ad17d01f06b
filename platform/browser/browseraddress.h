#pragma once

#include <QString>
#include <QUrl>

// How the browser control reads the text given to Navigate.
namespace BrowserAddress {
// An absolute path is that file; text that starts with a URL scheme is that URL; anything else
// is read as a browser's address bar reads it. Empty text is the blank page.
QUrl resolve(const QString &address);
// Whether two addresses name the same page: a folder's trailing slash and "." or ".." steps in
// the path do not count.
bool same(const QUrl &a, const QUrl &b);
} // namespace BrowserAddress
