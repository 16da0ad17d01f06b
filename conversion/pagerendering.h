#pragma once

#include <QFont>
#include <QSize>

// What the window and folvane-convert share so that both render and gather pages alike: the
// viewer pane in which pages are laid out, and the font that the result document takes where a
// page names none, which is the window's own font (the result pane inherits it).
namespace PageRendering {

// Sizes are designed in twips (1/1440 inch); 15 twips make one logical pixel.
inline constexpr int TwipsPerPixel = 15;
inline constexpr int ViewerWidthTwips = 9615;
inline constexpr int ViewerHeightTwips = 1095;

inline constexpr auto DocumentFontFamily = "MS Sans Serif";
inline constexpr double DocumentFontPoints = 8;

// The viewer pane's size in logical pixels.
inline constexpr QSize viewerSize()
{
    return {ViewerWidthTwips / TwipsPerPixel, ViewerHeightTwips / TwipsPerPixel};
}

inline QFont documentFont()
{
    QFont font{QLatin1String(DocumentFontFamily)};
    font.setPointSizeF(DocumentFontPoints);
    return font;
}

} // namespace PageRendering
