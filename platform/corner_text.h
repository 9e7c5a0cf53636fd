// CornerText: lines of text in the four corners of a rectangle of a framebuffer, light with a dark
// outline so they read on any image, clipped to the rectangle. The tiles' overlay draws with it.
// Sits in the platform layer, on Qt.
#pragma once

#include <QImage>
#include <QRect>
#include <QStringList>
#include <array>

namespace velmora {

// Top-left, top-right, bottom-left, bottom-right; the right corners' lines are right-aligned,
// the bottom corners' lines end at the bottom.
using CornerStrings = std::array<QStringList, 4>;

// Pixel height of the overlay font for a rectangle of `height` pixels.
int CornerTextHeight(int height);

// Draws `corners` into `target` inside `area` (the part of it within the image). Two facing lines
// too long to share a row take rows of their own while the middle of the area stays clear; a line
// still too long ends after its last whole word that fits, with an ellipsis.
void DrawCornerText(QImage& target, const QRect& area, const CornerStrings& corners);

} // namespace velmora
