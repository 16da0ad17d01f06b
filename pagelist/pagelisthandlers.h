#pragma once

#include <QtGlobal>

class QMimeData;
class QWidget;

// The page list's event handlers on the window's List1.
namespace PageListHandlers {
// Files dropped on the list: each becomes an entry at the end, in the drop's order.
void drop(QWidget &form, const QMimeData &data);
// A key went down in the list: Delete clears it after confirmation, the arrows move the selected
// entries; every key is consumed except a Delete answered No.
void keyDown(QWidget &form, qint16 &keyCode);

inline constexpr auto ClearPrompt = "are you sure you want to erase the list and start over";
} // namespace PageListHandlers
