#include "canvas/annotation_painter.h"

#include <cmath>

namespace velmora {

namespace {

// The picture pixel shown at client pixel `client` of a stretch from `shown` pixels starting at
// `start` to `size` picture pixels: the centre of the client pixel, mapped back.
float PictureCoordinate(float client, int32_t start, int32_t shown, int32_t size)
{
    const double centre = Truncate(client) - static_cast<double>(start) + 0.5;
    return static_cast<float>(std::floor(centre * size / shown));
}

} // namespace

ClientToPicture::ClientToPicture(const PixelRect& shown, int32_t width, int32_t height)
    : m_identity(false)
    , m_shown(shown)
    , m_width(width)
    , m_height(height)
{
}

bool ClientToPicture::Maps() const
{
    return m_identity || (m_width > 0 && m_height > 0 && m_shown.Width() > 0 && m_shown.Height() > 0);
}

FloatPoint ClientToPicture::Map(FloatPoint point) const
{
    if (m_identity || !Maps())
        return point;
    return { PictureCoordinate(point.x, m_shown.left, m_shown.Width(), m_width),
        PictureCoordinate(point.y, m_shown.top, m_shown.Height(), m_height) };
}

AnnotationPainter::AnnotationPainter(
    DrawContext& dc, const TextFont& font, QRgb colour, ClientToPicture mapping)
    : m_dc(dc)
    , m_font(font)
    , m_colour(colour)
    , m_mapping(mapping)
{
}

void AnnotationPainter::Lines(const ShapeAnnotation& shape, PenMode mode) const
{
    if (!m_mapping.Maps())
        return;
    const auto& p = shape.points;
    auto line = [&](size_t a, size_t b) {
        const FloatPoint from = m_mapping.Map(p[a]), to = m_mapping.Map(p[b]);
        m_dc.Line(Truncate(from.x), Truncate(from.y), Truncate(to.x), Truncate(to.y), m_colour, mode);
    };
    if (shape.kind == ToolKind::Arrow && p.size() >= 5) {
        line(0, 1);
        line(1, 2);
        line(3, 4);
    } else if (shape.kind == ToolKind::Angle && p.size() >= 4) {
        line(0, 1);
        line(2, 3);
    } else if (shape.kind == ToolKind::Ruler && p.size() >= 6) {
        line(2, 1);
        line(2, 0);
        line(2, 3);
        line(3, 4);
        line(3, 5);
    }
}

void AnnotationPainter::Shape(const ShapeAnnotation& shape, PenMode mode, const std::string& label) const
{
    Lines(shape, mode);
    if (shape.HasLabel())
        String(shape.labelRect, label);
}

void AnnotationPainter::Text(const TextAnnotation& text) const
{
    String(
        { Truncate(text.left), Truncate(text.top), Truncate(text.right), Truncate(text.bottom) }, text.text);
}

PixelRect AnnotationPainter::Measure(const PixelRect& rect, const std::string& text) const
{
    const QSize size = m_dc.MeasureText(QString::fromStdString(text), m_font);
    return { rect.left, rect.top, rect.left + size.width(), rect.top + size.height() };
}

PixelRect AnnotationPainter::String(const PixelRect& rect, const std::string& text) const
{
    if (!m_mapping.Maps())
        return rect;
    const FloatPoint at = m_mapping.Map({ static_cast<float>(rect.left), static_cast<float>(rect.top) });
    const PixelRect placed = Measure({ Truncate(at.x), Truncate(at.y), 0, 0 }, text);
    m_dc.Text(placed.left, placed.top, QString::fromStdString(text), m_font, m_colour);
    return placed;
}

} // namespace velmora
