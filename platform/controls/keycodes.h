#pragma once

#include <QtGlobal>

// Platform-neutral key codes (the classic virtual-key numbering) and their mapping to Qt keys.
namespace KeyCode {
inline constexpr qint16 None = 0;
inline constexpr qint16 Back = 8;
inline constexpr qint16 Tab = 9;
inline constexpr qint16 Return = 13;
inline constexpr qint16 Shift = 16;
inline constexpr qint16 Control = 17;
inline constexpr qint16 Menu = 18;
inline constexpr qint16 Escape = 27;
inline constexpr qint16 Space = 32;
inline constexpr qint16 Prior = 33;
inline constexpr qint16 Next = 34;
inline constexpr qint16 End = 35;
inline constexpr qint16 Home = 36;
inline constexpr qint16 Left = 37;
inline constexpr qint16 Up = 38;
inline constexpr qint16 Right = 39;
inline constexpr qint16 Down = 40;
inline constexpr qint16 Insert = 45;
inline constexpr qint16 Delete = 46;
// A key that has no code of its own.
inline constexpr qint16 NoName = 0xFC;

// The code of a Qt key (Qt::Key); NoName for keys without one.
qint16 fromQtKey(int qtKey);
// The Qt key of a code; Qt::Key_unknown for codes without one.
int toQtKey(qint16 code);
} // namespace KeyCode
