// Annotation geometry: arrow barbs, ruler end bars, label rectangles, angles and the hit test.
#include "canvas/annotation_geometry.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmora;

namespace {

void ExpectNear(FloatPoint actual, double x, double y, double tolerance = 0.05)
{
    EXPECT_NEAR(actual.x, x, tolerance) << "x";
    EXPECT_NEAR(actual.y, y, tolerance) << "y";
}

std::string FormatAngleForTest(double degrees)
{
    char text[32];
    std::snprintf(text, sizeof text, "%3.1f", degrees);
    return text;
}

} // namespace

TEST(AnnotationGeometry, PointCounts)
{
    EXPECT_EQ(PointCountOf(ToolKind::Arrow), 5u);
    EXPECT_EQ(PointCountOf(ToolKind::Angle), 4u);
    EXPECT_EQ(PointCountOf(ToolKind::Ruler), 6u);
    EXPECT_EQ(PointCountOf(ToolKind::Text), 0u);
    EXPECT_EQ(PointCountOf(ToolKind::None), 0u);
}

TEST(AnnotationGeometry, ArrowBarbsPointBackAt45DegreesInEveryDirection)
{
    // Barbs are 25 pixels long, 45 degrees either side of the shaft, pointing toward the tail.
    const double d = 25.0 * std::sqrt(0.5);
    struct Row {
        FloatPoint tail, tip;
        double b1x, b1y, b2x, b2y;
    };
    const Row rows[] = {
        { { 100, 100 }, { 200, 100 }, 200 - d, 100 - d, 200 - d, 100 + d }, // right
        { { 200, 100 }, { 100, 100 }, 100 + d, 100 + d, 100 + d, 100 - d }, // left
        { { 100, 100 }, { 100, 200 }, 100 + d, 200 - d, 100 - d, 200 - d }, // down
        { { 100, 200 }, { 100, 100 }, 100 - d, 100 + d, 100 + d, 100 + d }, // up
        { { 0, 0 }, { 100, 100 }, 100, 75, 75, 100 }, // down-right diagonal
    };
    for (const Row& row : rows) {
        const auto p = ArrowPoints(row.tail, row.tip);
        EXPECT_EQ(p[0], row.tail);
        EXPECT_EQ(p[1], row.tip);
        EXPECT_EQ(p[3], row.tip);
        ExpectNear(p[2], row.b1x, row.b1y);
        ExpectNear(p[4], row.b2x, row.b2y);
        EXPECT_NEAR(Distance(p[1], p[2]), 25.0, 1e-3);
        EXPECT_NEAR(Distance(p[1], p[4]), 25.0, 1e-3);
    }
    // The case the tool is checked with: barbs near (182.3, 82.3) and (182.3, 117.7).
    const auto p = ArrowPoints({ 100, 100 }, { 200, 100 });
    ExpectNear(p[2], 182.3, 82.3);
    ExpectNear(p[4], 182.3, 117.7);
}

TEST(AnnotationGeometry, ZeroLengthArrowKeepsItsBarbsOnTheTip)
{
    const auto p = ArrowPoints({ 50, 60 }, { 50, 60 });
    for (const FloatPoint& point : p)
        EXPECT_EQ(point, (FloatPoint { 50, 60 }));
}

TEST(AnnotationGeometry, RulerEndBarsArePerpendicularAndTenPixelsEachSide)
{
    const auto h = RulerPoints({ 100, 100 }, { 200, 100 });
    EXPECT_EQ(h[2], (FloatPoint { 100, 100 }));
    EXPECT_EQ(h[3], (FloatPoint { 200, 100 }));
    ExpectNear(h[0], 100, 90, 1e-4);
    ExpectNear(h[1], 100, 110, 1e-4);
    ExpectNear(h[4], 200, 90, 1e-4);
    ExpectNear(h[5], 200, 110, 1e-4);

    const auto v = RulerPoints({ 100, 100 }, { 100, 50 });
    ExpectNear(v[0], 90, 100, 1e-4);
    ExpectNear(v[1], 110, 100, 1e-4);
    ExpectNear(v[4], 90, 50, 1e-4);
    ExpectNear(v[5], 110, 50, 1e-4);

    // Every direction: each bar is 20 long, centred on its end and square to the ruler.
    const FloatPoint ends[] = { { 160, 180 }, { 40, 180 }, { 40, 20 }, { 160, 20 }, { 173, 101 } };
    for (const FloatPoint end : ends) {
        const auto p = RulerPoints({ 100, 100 }, end);
        const double rx = end.x - 100.0, ry = end.y - 100.0;
        for (const auto& [a, b, centre] :
            { std::tuple { p[0], p[1], p[2] }, std::tuple { p[4], p[5], p[3] } }) {
            EXPECT_NEAR(Distance(a, b), 20.0, 1e-3);
            ExpectNear({ (a.x + b.x) / 2, (a.y + b.y) / 2 }, centre.x, centre.y, 1e-3);
            EXPECT_NEAR((b.x - a.x) * rx + (b.y - a.y) * ry, 0.0, 1e-2);
        }
    }
}

TEST(AnnotationGeometry, LabelRectangles)
{
    EXPECT_EQ(RulerLabelRect({ 200.7f, 100.2f }), (PixelRect { 210, 90, 290, 105 }));
    EXPECT_EQ(RulerPressLabelRect(100, 100), (PixelRect { 110, 90, 190, 105 }));
    EXPECT_EQ(AngleLabelRect(100, 100), (PixelRect { 90, 110, 140, 125 }));
}

TEST(AnnotationGeometry, AngleDegreesWithTheStatedFactor)
{
    EXPECT_EQ(FormatAngleForTest(AngleDegrees({ 100, 100 }, { 200, 100 }, { 100, 0 })), "90.0");
    // Not 180 / pi: the factor is 57.297469361769856 per radian.
    EXPECT_DOUBLE_EQ(
        AngleDegrees({ 100, 100 }, { 200, 100 }, { 100, 0 }), std::acos(0.0) * 57.297469361769856);
    EXPECT_NEAR(
        AngleDegrees({ 0, 0 }, { 10, 0 }, { 10, 10 }), 45.0 * 57.297469361769856 / (180.0 / M_PI), 1e-6);
    EXPECT_EQ(AngleDegrees({ 100, 100 }, { 200, 100 }, { 100, 100 }), 0.0);
    EXPECT_EQ(AngleDegrees({ 100, 100 }, { 100, 100 }, { 0, 0 }), 0.0);
    // A straight angle stays a number despite rounding of the cosine.
    const double straight = AngleDegrees({ 100, 100 }, { 0.1f, 100 }, { 299.7f, 100 });
    EXPECT_FALSE(std::isnan(straight));
    EXPECT_NEAR(straight, M_PI * 57.297469361769856, 1e-3);
}

TEST(AnnotationGeometry, SegmentHitDistancesAndExtent)
{
    struct Row {
        FloatPoint a, b;
        float x, y;
        bool hit;
    };
    const Row rows[] = {
        { { 100, 100 }, { 200, 100 }, 150, 104, true }, // 4 pixels from a horizontal shaft
        { { 100, 100 }, { 200, 100 }, 150, 105, false }, // 5 pixels: no longer touching
        { { 100, 100 }, { 200, 100 }, 150, 96, true },
        { { 100, 100 }, { 200, 100 }, 201, 100, false }, // on the line, past its end
        { { 100, 100 }, { 200, 100 }, 200, 100, true }, // the end itself
        { { 100, 100 }, { 100, 200 }, 104, 150, true }, // vertical
        { { 100, 100 }, { 100, 200 }, 105, 150, false }, { { 100, 100 }, { 100, 200 }, 100, 99, false },
        { { 0, 0 }, { 100, 100 }, 52, 48, true }, // diagonal, 2.8 pixels off
        { { 0, 0 }, { 100, 100 }, 54, 46, false }, // 5.7 off
        { { 0, 0 }, { 100, 100 }, 101, 101, false }, // beyond the extent
        { { 100.9f, 100.9f }, { 200.9f, 100.9f }, 150, 104, true }, // ends truncated to 100
        { { 100.9f, 100.9f }, { 200.9f, 100.9f }, 150, 95.5f, true }, // 5.4 from the exact line
        { { 100.9f, 100.9f }, { 200.9f, 100.9f }, 150, 105.5f, false }, // 4.6 from it
        { { 50, 50 }, { 50, 50 }, 53, 53, true }, // no length: a point, 4.2 away
        { { 50, 50 }, { 50, 50 }, 54, 53, false }, // exactly 5 away
    };
    for (const Row& row : rows)
        EXPECT_EQ(SegmentHit(row.a, row.b, row.x, row.y), row.hit) << row.x << "," << row.y;
}

TEST(AnnotationGeometry, PolylineNeedsTwoPoints)
{
    const std::vector<FloatPoint> one { { 10, 10 } };
    EXPECT_FALSE(PolylineHit(one, 10, 10));
    EXPECT_FALSE(PolylineHit({}, 10, 10));
    const std::vector<FloatPoint> bent { { 0, 0 }, { 100, 0 }, { 100, 100 } };
    EXPECT_TRUE(PolylineHit(bent, 50, 3));
    EXPECT_TRUE(PolylineHit(bent, 97, 50));
    EXPECT_FALSE(PolylineHit(bent, 50, 50));
}

TEST(AnnotationGeometry, TruncateTowardZero)
{
    EXPECT_EQ(Truncate(2.9), 2);
    EXPECT_EQ(Truncate(-2.9), -2);
    EXPECT_EQ(Truncate(1e30), 2147483647);
    EXPECT_EQ(Truncate(-1e30), -2147483647 - 1);
    EXPECT_EQ(Truncate(std::nan("")), 0);
}
