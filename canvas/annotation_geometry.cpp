#include "canvas/annotation_geometry.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr double BARB_LENGTH = 25.0;
constexpr double BARB_ANGLE = 0.785398163375; // 45 degrees
constexpr double QUARTER_TURN = 1.57079632675;
constexpr double BAR_HALF_LENGTH = 10.0;
constexpr double DEGREES_PER_RADIAN = 57.297469361769856;

FloatPoint MakePoint(double x, double y)
{
    return { static_cast<float>(x), static_cast<float>(y) };
}

} // namespace

uint32_t PointCountOf(ToolKind kind)
{
    switch (kind) {
    case ToolKind::Arrow:
        return 5;
    case ToolKind::Angle:
        return 4;
    case ToolKind::Ruler:
        return 6;
    default:
        return 0;
    }
}

int32_t Truncate(double value)
{
    if (!(value == value))
        return 0;
    value = std::clamp(value, -2147483648.0, 2147483647.0);
    return static_cast<int32_t>(value);
}

std::array<FloatPoint, 5> ArrowPoints(FloatPoint tail, FloatPoint tip)
{
    std::array<FloatPoint, 5> p { tail, tip, tip, tip, tip };
    const double ux = static_cast<double>(tail.x) - tip.x, uy = static_cast<double>(tail.y) - tip.y;
    const double length = std::sqrt(ux * ux + uy * uy);
    if (length == 0.0)
        return p;
    // The unit vector from the tip back toward the tail, turned 45 degrees either way.
    const double cx = ux / length * BARB_LENGTH, cy = uy / length * BARB_LENGTH;
    const double c = std::cos(BARB_ANGLE), s = std::sin(BARB_ANGLE);
    p[2] = MakePoint(tip.x + cx * c - cy * s, tip.y + cx * s + cy * c);
    p[4] = MakePoint(tip.x + cx * c + cy * s, tip.y - cx * s + cy * c);
    return p;
}

std::array<FloatPoint, 6> RulerPoints(FloatPoint start, FloatPoint end)
{
    const double dx = std::fabs(static_cast<double>(start.x) - end.x);
    const double dy = std::fabs(static_cast<double>(start.y) - end.y);
    const double theta = QUARTER_TURN - std::atan2(dy, dx);
    const double c = BAR_HALF_LENGTH * std::cos(theta), s = BAR_HALF_LENGTH * std::sin(theta);
    // Both coordinates change with the same sign: the ruler falls to the lower right (or rises to
    // the upper left), and its perpendicular is (c, -s); otherwise it is (c, s).
    const bool sameSign = (end.x - start.x) * (end.y - start.y) > 0.0f;
    std::array<FloatPoint, 6> p;
    p[2] = start;
    p[3] = end;
    if (sameSign) {
        p[0] = MakePoint(start.x + c, start.y - s);
        p[1] = MakePoint(start.x - c, start.y + s);
        p[4] = MakePoint(end.x + c, end.y - s);
        p[5] = MakePoint(end.x - c, end.y + s);
    } else {
        p[0] = MakePoint(start.x - c, start.y - s);
        p[1] = MakePoint(start.x + c, start.y + s);
        p[4] = MakePoint(end.x - c, end.y - s);
        p[5] = MakePoint(end.x + c, end.y + s);
    }
    return p;
}

PixelRect RulerLabelRect(FloatPoint end)
{
    const int32_t left = Truncate(end.x + 10.0), top = Truncate(end.y - 10.0);
    return { left, top, left + 80, top + 15 };
}

PixelRect RulerPressLabelRect(int32_t x, int32_t y)
{
    return { x + 10, y - 10, x + 90, y + 5 };
}

PixelRect AngleLabelRect(int32_t x, int32_t y)
{
    return { x - 10, y + 10, x + 40, y + 25 };
}

double Distance(FloatPoint a, FloatPoint b)
{
    const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

double AngleDegrees(FloatPoint vertex, FloatPoint arm1, FloatPoint arm2)
{
    if (arm1 == vertex || arm2 == vertex)
        return 0.0;
    const double a = Distance(vertex, arm2), b = Distance(vertex, arm1), c = Distance(arm1, arm2);
    // Rounding can push the cosine a hair past +-1 for straight angles; acos would give NaN.
    const double cosine = std::clamp((a * a + b * b - c * c) / (2.0 * a * b), -1.0, 1.0);
    return std::acos(cosine) * DEGREES_PER_RADIAN;
}

bool SegmentHit(FloatPoint a, FloatPoint b, float mx, float my)
{
    const double x0 = Truncate(a.x), y0 = Truncate(a.y), x1 = Truncate(b.x), y1 = Truncate(b.y);
    const double run = x1 - x0, rise = y1 - y0;
    const double length = std::sqrt(rise * rise + run * run);
    if (length == 0.0) {
        const double dx = mx - x0, dy = my - y0;
        return std::sqrt(dx * dx + dy * dy) < HIT_DISTANCE;
    }
    const double distance = std::fabs((mx - x0) * rise - (my - y0) * run) / length;
    if (!(distance < HIT_DISTANCE))
        return false;
    const bool withinX = mx >= std::min(x0, x1) && mx <= std::max(x0, x1);
    const bool withinY = my >= std::min(y0, y1) && my <= std::max(y0, y1);
    if (x0 == x1)
        return withinY;
    if (y0 == y1)
        return withinX;
    return withinX && withinY;
}

bool PolylineHit(std::span<const FloatPoint> points, float mx, float my)
{
    for (size_t j = 0; j + 1 < points.size(); ++j) {
        if (SegmentHit(points[j], points[j + 1], mx, my))
            return true;
    }
    return false;
}

} // namespace velmora
