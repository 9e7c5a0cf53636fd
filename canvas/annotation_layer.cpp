#include "canvas/annotation_layer.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// How much of a move by `delta` an extent [low, high] can make inside [lowest, highest]: all of
// it, or as far as the edge, or nothing when it already lies beyond that edge.
int32_t Allowed(int32_t delta, float low, float high, int32_t lowest, int32_t highest)
{
    if (delta > 0)
        return static_cast<int32_t>(std::clamp(std::floor(double(highest) - high), 0.0, double(delta)));
    if (delta < 0)
        return static_cast<int32_t>(std::clamp(std::ceil(double(lowest) - low), double(delta), 0.0));
    return 0;
}

bool Between(float value, float a, float b)
{
    return value >= std::min(a, b) && value <= std::max(a, b);
}

} // namespace

std::string CutAnnotationText(std::string_view text)
{
    size_t characters = 0, end = 0;
    while (end < text.size() && characters < MAX_TEXT_CHARACTERS) {
        // Skip the continuation bytes (10xxxxxx) of the character that starts at `end`.
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        ++characters;
    }
    return std::string(text.substr(0, end));
}

void AnnotationLayer::Clear()
{
    *this = AnnotationLayer {};
}

bool AnnotationLayer::SetName(std::string_view name)
{
    if (name.empty())
        return false;
    m_name = CutAnnotationText(name);
    return true;
}

bool AnnotationLayer::RemoveShape(int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_shapes.size())
        return false;
    m_shapes.erase(m_shapes.begin() + index);
    return true;
}

bool AnnotationLayer::RemoveText(int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_texts.size())
        return false;
    m_texts.erase(m_texts.begin() + index);
    return true;
}

Hit AnnotationLayer::HitTest(float x, float y) const
{
    for (size_t k = 0; k < m_shapes.size(); ++k) {
        if (PolylineHit(m_shapes[k].points, x, y))
            return { static_cast<int32_t>(k), m_shapes[k].kind };
    }
    for (size_t k = 0; k < m_texts.size(); ++k) {
        const TextAnnotation& text = m_texts[k];
        if (text.hidden == 0 && Between(x, text.left, text.right) && Between(y, text.top, text.bottom))
            return { static_cast<int32_t>(k), ToolKind::Text };
    }
    return {};
}

void AnnotationLayer::MoveAll(int32_t dx, int32_t dy, const PixelRect& bounds)
{
    for (ShapeAnnotation& shape : m_shapes) {
        if (shape.points.empty())
            continue;
        float left = shape.points[0].x, right = left, top = shape.points[0].y, bottom = top;
        for (const FloatPoint& point : shape.points) {
            left = std::min(left, point.x);
            right = std::max(right, point.x);
            top = std::min(top, point.y);
            bottom = std::max(bottom, point.y);
        }
        const int32_t mx = Allowed(dx, left, right, bounds.left, bounds.right);
        const int32_t my = Allowed(dy, top, bottom, bounds.top, bounds.bottom);
        for (FloatPoint& point : shape.points) {
            point.x += static_cast<float>(mx);
            point.y += static_cast<float>(my);
        }
        if (shape.HasLabel())
            shape.labelRect = shape.labelRect.Offset(mx, my);
    }
    for (TextAnnotation& text : m_texts) {
        const int32_t mx = Allowed(
            dx, std::min(text.left, text.right), std::max(text.left, text.right), bounds.left, bounds.right);
        const int32_t my = Allowed(
            dy, std::min(text.top, text.bottom), std::max(text.top, text.bottom), bounds.top, bounds.bottom);
        text.left += static_cast<float>(mx);
        text.right += static_cast<float>(mx);
        text.top += static_cast<float>(my);
        text.bottom += static_cast<float>(my);
    }
}

} // namespace velmora
