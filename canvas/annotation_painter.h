// AnnotationPainter: draws annotation lines, labels and texts into a framebuffer, the one drawing
// path of the canvas on screen and of an export of the image as shown. Annotation geometry is
// kept in client pixels of the tile; ClientToPicture places it in the picture drawn: unchanged on
// screen, on the frame's own pixels at 100 % for an export. Sits in the canvas layer, on the
// platform layer.
#pragma once

#include "canvas/annotation_layer.h"
#include "platform/draw_context.h"

#include <string>

namespace velmora {

// Where a point in client pixels of the tile lands in the picture drawn.
class ClientToPicture {
public:
    // On screen: every point stays where it is.
    ClientToPicture() = default;
    // The tile shows a `width` x `height` picture stretched over `shown` (client pixels): a point
    // lands on the picture pixel the tile shows under its client pixel (the nearest-neighbour
    // rule of the stretch), so an annotation covers the same image content in both.
    ClientToPicture(const PixelRect& shown, int32_t width, int32_t height);

    FloatPoint Map(FloatPoint point) const;
    // False when nothing lands anywhere (a picture or a shown rectangle without area).
    bool Maps() const;

private:
    bool m_identity = true;
    PixelRect m_shown;
    int32_t m_width = 0;
    int32_t m_height = 0;
};

class AnnotationPainter {
public:
    AnnotationPainter(DrawContext& dc, const TextFont& font, QRgb colour, ClientToPicture mapping = {});

    // The shape's lines: the arrow's shaft and barbs, the angle's arms, the ruler with its end bars.
    void Lines(const ShapeAnnotation& shape, PenMode mode) const;
    // The lines, then `label` at the label rectangle of an angle or a ruler.
    void Shape(const ShapeAnnotation& shape, PenMode mode, const std::string& label) const;
    void Text(const TextAnnotation& text) const;
    // Draws `text` with its top-left at `rect`'s and returns where it went, the size of the text.
    PixelRect String(const PixelRect& rect, const std::string& text) const;
    // `rect` resized to `text` (its top-left kept).
    PixelRect Measure(const PixelRect& rect, const std::string& text) const;

private:
    DrawContext& m_dc;
    const TextFont& m_font;
    QRgb m_colour;
    ClientToPicture m_mapping;
};

} // namespace velmora
