// Annotation geometry: the points of arrows, angles and rulers, their measurements, where their
// labels go, and the distance test that finds a shape under the mouse. All in client pixels of the
// tile; points are single-precision, rectangles int32 and drawn points truncate toward zero.
// Part of the canvas layer, but free of Qt so that it can be checked on its own.
#pragma once

#include "imaging/paint_target.h"

#include <array>
#include <cstdint>
#include <span>

namespace velmora {

// The tool of the annotation in progress; a finished shape stores the same number as its kind.
enum class ToolKind : int32_t { None = -1, Arrow = 1, Angle = 2, Ruler = 3, Text = 10 };

// Off: the canvas sees no mouse input. Draw: new annotations. Select: pick up and move them.
enum class CanvasMode : int32_t { Off = 0, Draw = 1, Select = 2 };

struct FloatPoint {
    float x = 0.0f;
    float y = 0.0f;
    bool operator==(const FloatPoint&) const = default;
};

// Number of points a shape of each kind carries: arrow 5, angle 4, ruler 6; 0 for others.
uint32_t PointCountOf(ToolKind kind);

// Arrow with tail p0 and tip p1: p2 and p4 are the ends of the two 25-pixel barbs at 45 degrees
// to the shaft, pointing back toward the tail; p3 = p1. A zero-length arrow keeps every point on
// the tip.
std::array<FloatPoint, 5> ArrowPoints(FloatPoint tail, FloatPoint tip);

// Ruler from start p2 to end p3: p0/p1 end the bar across the start and p4/p5 the bar across the
// end, each 10 pixels to either side, perpendicular to the ruler.
std::array<FloatPoint, 6> RulerPoints(FloatPoint start, FloatPoint end);

// Where a ruler's label goes while the end is at `end`: 10 pixels right and up, 80 x 15.
PixelRect RulerLabelRect(FloatPoint end);
// The placeholder's rectangle when a ruler is started at (x, y).
PixelRect RulerPressLabelRect(int32_t x, int32_t y);
// The fixed label rectangle of an angle whose vertex is at (x, y).
PixelRect AngleLabelRect(int32_t x, int32_t y);

// Degrees between the arms p0-p1 and p0-p3, 0 to 180, by the law of cosines with the factor
// 57.297469361769856 per radian; 0 when either arm has no length.
double AngleDegrees(FloatPoint vertex, FloatPoint arm1, FloatPoint arm2);

// Euclidean distance between two points, in double precision.
double Distance(FloatPoint a, FloatPoint b);

// A mouse point within this distance (exclusive) of a segment touches it.
inline constexpr double HIT_DISTANCE = 5.0;

// Whether (mx, my) touches the segment a-b with both ends truncated to whole pixels: closer than
// HIT_DISTANCE to the segment's line and inside its extent (only the varying coordinate is
// checked for an axis-parallel segment). A segment of no length is a point: it is touched within
// HIT_DISTANCE of it.
bool SegmentHit(FloatPoint a, FloatPoint b, float mx, float my);

// Whether (mx, my) touches any segment between consecutive points; never for fewer than 2.
bool PolylineHit(std::span<const FloatPoint> points, float mx, float my);

// Float to int32 toward zero, as drawn coordinates are taken.
int32_t Truncate(double value);

} // namespace velmora
