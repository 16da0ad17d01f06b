#pragma once

#include <QString>

class QWidget;

// The message box of the runtime: a prompt, a set of buttons and an optional icon, with the
// application's name as its title. Returns which button was pressed.
namespace MessageBox {
// Button sets and icons, added together into the style.
inline constexpr int OkOnly = 0;
inline constexpr int YesNo = 4;
inline constexpr int Exclamation = 48;
// Answers.
inline constexpr int Ok = 1;
inline constexpr int Yes = 6;
inline constexpr int No = 7;

// The first button is the default one. Closing the box without a button counts as the last
// button (No, for YesNo).
int show(QWidget *parent, const QString &prompt, int style = OkOnly);
} // namespace MessageBox
