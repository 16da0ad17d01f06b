#pragma once

#include <QStringList>
#include <QtGlobal>

class QMimeData;
class QUrl;
class QWidget;

// The page list's event handlers on the window's List1.
namespace PageListHandlers {
// Files dropped on the list: each becomes an entry at the end, in the drop's order.
void drop(QWidget &form, const QMimeData &data);
// Entries named on the command line: dropped together, in the order given.
void open(QWidget &form, const QStringList &arguments);

// The item a command-line argument names: an address when it starts with a URL scheme, else a
// file or folder, relative to the working folder.
QUrl argumentUrl(const QString &argument);
// The entry a dropped item becomes: a local file or folder as its full path, any other address
// as its text.
QString entryText(const QUrl &url);
// A key went down in the list: Delete clears it after confirmation, the arrows move the selected
// entries; every key is consumed except a Delete answered No.
void keyDown(QWidget &form, qint16 &keyCode);

inline constexpr auto ClearPrompt = "are you sure you want to erase the list and start over";
} // namespace PageListHandlers
