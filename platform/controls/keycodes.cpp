#include "keycodes.h"

#include <Qt>

#include <array>
#include <utility>

namespace KeyCode {
namespace {

constexpr std::array<std::pair<int, qint16>, 33> Named{{
    {Qt::Key_Backspace, Back},  {Qt::Key_Tab, Tab},       {Qt::Key_Backtab, Tab},
    {Qt::Key_Return, Return},   {Qt::Key_Enter, Return},  {Qt::Key_Shift, Shift},
    {Qt::Key_Control, Control}, {Qt::Key_Alt, Menu},      {Qt::Key_Escape, Escape},
    {Qt::Key_Space, Space},     {Qt::Key_PageUp, Prior},  {Qt::Key_PageDown, Next},
    {Qt::Key_End, End},         {Qt::Key_Home, Home},     {Qt::Key_Left, Left},
    {Qt::Key_Up, Up},           {Qt::Key_Right, Right},   {Qt::Key_Down, Down},
    {Qt::Key_Insert, Insert},   {Qt::Key_Delete, Delete}, {Qt::Key_Pause, 19},
    {Qt::Key_CapsLock, 20},     {Qt::Key_Print, 44},      {Qt::Key_Meta, 91},
    {Qt::Key_Menu, 93},         {Qt::Key_NumLock, 144},   {Qt::Key_ScrollLock, 145},
    {Qt::Key_Semicolon, 186},   {Qt::Key_Equal, 187},     {Qt::Key_Comma, 188},
    {Qt::Key_Minus, 189},       {Qt::Key_Period, 190},    {Qt::Key_Slash, 191},
}};

} // namespace

qint16 fromQtKey(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qint16(qtKey); // letters and digits share their codes with Qt
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return qint16(112 + (qtKey - Qt::Key_F1));
    for (const auto &[key, code] : Named) {
        if (key == qtKey)
            return code;
    }
    return NoName;
}

int toQtKey(qint16 code)
{
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
        return code;
    if (code >= 112 && code <= 135)
        return Qt::Key_F1 + (code - 112);
    for (const auto &[key, named] : Named) {
        if (named == code)
            return key;
    }
    return Qt::Key_unknown;
}

} // namespace KeyCode
