#pragma once

#include "pagerendering.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <array>
#include <string_view>

// The window's design: every control's place and looks, in twips (1/1440 inch) relative to the
// client area, as laid out at design time. 15 twips make one logical pixel.
namespace Layout {

inline constexpr int TwipsPerPixel = PageRendering::TwipsPerPixel;
inline constexpr int ClientWidth = 10965;
inline constexpr int ClientHeight = 7650;
inline constexpr QColor FormBackground{0xBB, 0xD0, 0xCA};
inline constexpr QColor ButtonBackground{0xC0, 0xD8, 0xCC};
inline constexpr QColor CaptionBackground{0xBB, 0xD0, 0xCA};
inline constexpr QColor InstructionBackground{0xFF, 0xFF, 0xFF};
inline constexpr auto CaptionFontFamily = "MS Sans Serif";
inline constexpr double CaptionFontPoints = 13.5;
// The window's own font, used by the controls that name none; the result pane's, and so the
// result document's, is the one folvane-convert writes too.
inline constexpr auto WindowFontFamily = PageRendering::DocumentFontFamily;
inline constexpr double WindowFontPoints = PageRendering::DocumentFontPoints;
// Where "MS Sans Serif" is absent, fonts with its proportions stand in before the system's
// general default, so the texts fit the controls they were sized for.
inline constexpr std::array<const char *, 3> FontSubstitutes{"Microsoft Sans Serif",
                                                             "Liberation Sans", "Arimo"};

// The save dialog's design-time settings.
inline constexpr auto SaveFilter = "(*.rtf)|*.rtf";
inline constexpr auto SaveDefaultExtension = "rtf";

enum class Kind { ListBox, PushButton, WebBrowser, RichTextBox, Label, CommonDialog };

struct Control {
    const char *name;
    Kind kind;
    const char *text;
    int left, top, width, height; // twips
    QColor background;            // invalid: the control's own
    bool captionFont;             // "MS Sans Serif" 13.5 pt, weight 400
};

// In tab order; the first takes the focus when the window is first shown.
inline constexpr std::array<Control, 10> Controls{{
    {"List1", Kind::ListBox, "", 1200, 360, 9615, 3180, {}, false},
    {"Command1", Kind::PushButton, "Concatenate", 120, 2880, 975, 375, ButtonBackground, false},
    {"WebBrowser1",
     Kind::WebBrowser,
     "",
     1200,
     3720,
     PageRendering::ViewerWidthTwips,
     PageRendering::ViewerHeightTwips,
     {},
     false},
    {"RichTextBox1", Kind::RichTextBox, "", 1200, 4920, 9615, 2415, {}, false},
    {"command2", Kind::PushButton, "=Save=", 120, 3360, 975, 375, ButtonBackground, false},
    {"Label1", Kind::Label, "HTML=", 120, 4320, 975, 375, CaptionBackground, true},
    {"Label2", Kind::Label,
     "Drop HTML files on list box below, sort using arrow keys and mouse, then press the "
     "concatenate and save buttons",
     120, 0, 8895, 255, InstructionBackground, false},
    {"Label3", Kind::Label, "TEXT=", 120, 5880, 855, 375, CaptionBackground, true},
    {"Label4", Kind::Label, "HTML File Listbox:", 120, 1200, 975, 1215, CaptionBackground, true},
    {"CommonDialog1", Kind::CommonDialog, "", 120, 4920, 0, 0, {}, false},
}};

// The labels that name the controls beside them, for assistive technology: a screen reader
// says the label's text, without its closing punctuation, when the control takes the focus.
struct LabelFor {
    const char *control;
    const char *label;
};
inline constexpr std::array<LabelFor, 3> Labels{{
    {"List1", "Label4"},
    {"WebBrowser1", "Label1"},
    {"RichTextBox1", "Label3"},
}};

inline constexpr int pixels(int twips)
{
    return twips / TwipsPerPixel;
}

inline constexpr QRect geometry(const Control &control)
{
    return {pixels(control.left), pixels(control.top), pixels(control.width),
            pixels(control.height)};
}

// The control named name; the first one when no control has that name.
inline constexpr const Control &control(std::string_view name)
{
    for (const Control &control : Controls) {
        if (name == control.name)
            return control;
    }
    return Controls.front();
}

// The window's own font, which its controls inherit.
inline QFont windowFont()
{
    return PageRendering::documentFont();
}

} // namespace Layout
