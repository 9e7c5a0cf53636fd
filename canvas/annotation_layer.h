// AnnotationLayer: the finished annotations of one tile, shapes (arrow, angle, ruler) and texts in
// creation order, with the saved pixels under each label and text so they can be erased without a
// repaint. Finds the annotation under the mouse and moves everything when the image is panned.
// The canvas (annotation_canvas.h) draws and edits it. Qt-free.
#pragma once

#include "canvas/annotation_geometry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A copy of framebuffer pixels (32-bit, row after row) taken at (left, top); empty when nothing
// of the requested area lay inside the framebuffer.
struct PixelPatch {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    bool Empty() const { return width <= 0 || height <= 0; }
};

struct ShapeAnnotation {
    ToolKind kind = ToolKind::None;
    uint8_t flag = 0;
    uint32_t layerIndex = 0;
    // arrow: tail, tip, barb end, tip, barb end; angle: vertex, arm end, vertex, arm end;
    // ruler: start bar end, start bar end, start, end, end bar end, end bar end.
    std::vector<FloatPoint> points;
    PixelPatch labelBackground; // angle and ruler only
    PixelRect labelRect; // angle and ruler only

    bool HasLabel() const { return kind == ToolKind::Angle || kind == ToolKind::Ruler; }
};

// The longest text a text annotation keeps, in characters; longer text is cut to it.
inline constexpr size_t MAX_TEXT_CHARACTERS = 259;

// `text` (UTF-8) cut to MAX_TEXT_CHARACTERS characters, never inside a character.
std::string CutAnnotationText(std::string_view text);

struct TextAnnotation {
    uint32_t layerIndex = 0;
    float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f; // the box
    uint32_t hidden = 0; // non-zero: never hit
    std::string text; // UTF-8, at most MAX_TEXT_CHARACTERS characters
    PixelPatch background;
};

// What HitTest found.
struct Hit {
    int32_t index = -1; // in its list; -1 when nothing was hit
    ToolKind kind = ToolKind::None; // the shape's kind, or Text
    explicit operator bool() const { return index >= 0; }
};

struct LayerColour {
    int32_t red = 0;
    int32_t green = 0;
    int32_t blue = 0;
    bool operator==(const LayerColour&) const = default;
};

class AnnotationLayer {
public:
    // Releases every annotation and zeroes the rest: no colour, an empty name.
    void Clear();

    const std::string& Name() const { return m_name; }
    // False, name unchanged, for an empty name.
    bool SetName(std::string_view name);
    LayerColour Colour() const { return m_colour; }
    void SetColour(LayerColour colour) { m_colour = colour; }

    const std::vector<ShapeAnnotation>& Shapes() const { return m_shapes; }
    const std::vector<TextAnnotation>& Texts() const { return m_texts; }
    std::vector<ShapeAnnotation>& Shapes() { return m_shapes; }
    std::vector<TextAnnotation>& Texts() { return m_texts; }
    bool Empty() const { return m_shapes.empty() && m_texts.empty(); }

    // Copies appended at the end.
    void AddShape(const ShapeAnnotation& shape) { m_shapes.push_back(shape); }
    void AddText(const TextAnnotation& text) { m_texts.push_back(text); }
    // False, nothing changed, for an index outside the list.
    bool RemoveShape(int32_t index);
    bool RemoveText(int32_t index);

    // Shapes first, in list order, then texts that are not hidden; the first hit wins.
    Hit HitTest(float x, float y) const;

    // Moves every annotation by (dx, dy) as a whole, held inside `bounds` (edges included): one
    // that would cross an edge stops against it, undeformed, so a ruler keeps its length. A shape's
    // label rectangle moves with it and may lie outside. One already beyond an edge is not pulled
    // in, only kept from going further out. Labels are not redrawn here.
    void MoveAll(int32_t dx, int32_t dy, const PixelRect& bounds);

private:
    LayerColour m_colour;
    std::string m_name;
    std::vector<ShapeAnnotation> m_shapes;
    std::vector<TextAnnotation> m_texts;
};

} // namespace velmora
