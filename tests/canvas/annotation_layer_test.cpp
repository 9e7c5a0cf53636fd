// AnnotationLayer: adding and removing in order, hit testing (shape before text, first shape
// first, hidden texts), moving everything against the image edge, text length, clearing.
#include "canvas/annotation_layer.h"

#include <gtest/gtest.h>
#include <string>

using namespace velmora;

namespace {

ShapeAnnotation Arrow(FloatPoint tail, FloatPoint tip)
{
    ShapeAnnotation shape;
    shape.kind = ToolKind::Arrow;
    const auto points = ArrowPoints(tail, tip);
    shape.points.assign(points.begin(), points.end());
    return shape;
}

ShapeAnnotation Ruler(FloatPoint start, FloatPoint end)
{
    ShapeAnnotation shape;
    shape.kind = ToolKind::Ruler;
    const auto points = RulerPoints(start, end);
    shape.points.assign(points.begin(), points.end());
    shape.labelRect = RulerLabelRect(end);
    shape.labelBackground = { 1, 2, 1, 1, { 0xFF123456u } };
    return shape;
}

TextAnnotation Text(float left, float top, float right, float bottom, std::string text = "note")
{
    TextAnnotation t;
    t.left = left;
    t.top = top;
    t.right = right;
    t.bottom = bottom;
    t.text = std::move(text);
    return t;
}

} // namespace

TEST(AnnotationLayer, AddKeepsOrderAndCopies)
{
    AnnotationLayer layer;
    EXPECT_TRUE(layer.Empty());
    ShapeAnnotation ruler = Ruler({ 10, 10 }, { 50, 10 });
    layer.AddShape(ruler);
    ruler.points[2].x = 999; // the record in progress is reused; the stored copy is not touched
    ruler.labelBackground.pixels[0] = 0;
    layer.AddShape(Arrow({ 0, 0 }, { 5, 5 }));
    ASSERT_EQ(layer.Shapes().size(), 2u);
    EXPECT_EQ(layer.Shapes()[0].kind, ToolKind::Ruler);
    EXPECT_EQ(layer.Shapes()[0].points[2].x, 10.0f);
    EXPECT_EQ(layer.Shapes()[0].labelBackground.pixels[0], 0xFF123456u);
    EXPECT_EQ(layer.Shapes()[1].kind, ToolKind::Arrow);
    layer.AddText(Text(0, 0, 10, 10, "a"));
    layer.AddText(Text(0, 0, 10, 10, "b"));
    EXPECT_EQ(layer.Texts()[0].text, "a");
    EXPECT_EQ(layer.Texts()[1].text, "b");
}

TEST(AnnotationLayer, RemoveKeepsTheOthersInOrder)
{
    AnnotationLayer layer;
    for (int k = 0; k < 4; ++k)
        layer.AddShape(Arrow({ 0, float(k) }, { 10, float(k) }));
    EXPECT_FALSE(layer.RemoveShape(-1));
    EXPECT_FALSE(layer.RemoveShape(4));
    EXPECT_TRUE(layer.RemoveShape(1));
    ASSERT_EQ(layer.Shapes().size(), 3u);
    EXPECT_EQ(layer.Shapes()[0].points[0].y, 0.0f);
    EXPECT_EQ(layer.Shapes()[1].points[0].y, 2.0f);
    EXPECT_EQ(layer.Shapes()[2].points[0].y, 3.0f);
    while (!layer.Shapes().empty())
        EXPECT_TRUE(layer.RemoveShape(0));
    EXPECT_FALSE(layer.RemoveShape(0)); // nothing left to remove
    EXPECT_TRUE(layer.Shapes().empty());
    layer.AddText(Text(0, 0, 1, 1, "x"));
    EXPECT_FALSE(layer.RemoveText(1));
    EXPECT_TRUE(layer.RemoveText(0));
    EXPECT_TRUE(layer.Empty());
}

TEST(AnnotationLayer, HitTestShapeBeforeTextFirstShapeFirst)
{
    AnnotationLayer layer;
    layer.AddText(Text(90, 90, 210, 110)); // under both arrows
    layer.AddShape(Arrow({ 100, 100 }, { 200, 100 }));
    layer.AddShape(Arrow({ 100, 102 }, { 200, 102 }));
    Hit hit = layer.HitTest(150, 101);
    EXPECT_EQ(hit.index, 0);
    EXPECT_EQ(hit.kind, ToolKind::Arrow);
    hit = layer.HitTest(150, 106.5f); // only the second arrow is within 5 pixels
    EXPECT_EQ(hit.index, 1);
    hit = layer.HitTest(95, 108); // the text's box only
    EXPECT_EQ(hit.index, 0);
    EXPECT_EQ(hit.kind, ToolKind::Text);
    EXPECT_FALSE(layer.HitTest(300, 300));
    EXPECT_EQ(layer.HitTest(300, 300).index, -1);
}

TEST(AnnotationLayer, HitTestArrowShaftDistances)
{
    AnnotationLayer layer;
    layer.AddShape(Arrow({ 100, 100 }, { 200, 100 }));
    EXPECT_TRUE(layer.HitTest(150, 104));
    EXPECT_TRUE(layer.HitTest(150, 96));
    EXPECT_FALSE(layer.HitTest(150, 105));
    EXPECT_FALSE(layer.HitTest(150, 95));
    EXPECT_FALSE(layer.HitTest(95, 100)); // on the shaft's line, before the tail
}

TEST(AnnotationLayer, TextBoxEdgesIncludedInEitherOrderAndHiddenSkipped)
{
    AnnotationLayer layer;
    layer.AddText(Text(50, 60, 10, 20)); // corners in reverse order
    EXPECT_TRUE(layer.HitTest(10, 20));
    EXPECT_TRUE(layer.HitTest(50, 60));
    EXPECT_FALSE(layer.HitTest(50.5f, 60));
    TextAnnotation hidden = Text(100, 100, 150, 120);
    hidden.hidden = 1;
    layer.AddText(hidden);
    EXPECT_FALSE(layer.HitTest(120, 110));
}

TEST(AnnotationLayer, ZeroLengthShapeIsHitNearItsPoint)
{
    AnnotationLayer layer;
    layer.AddShape(Arrow({ 40, 40 }, { 40, 40 }));
    EXPECT_TRUE(layer.HitTest(42, 43));
    EXPECT_FALSE(layer.HitTest(40, 46));
    ShapeAnnotation lone;
    lone.kind = ToolKind::Arrow;
    lone.points = { { 10, 10 } }; // fewer than 2 points: never hit
    AnnotationLayer other;
    other.AddShape(lone);
    EXPECT_FALSE(other.HitTest(10, 10));
}

TEST(AnnotationLayer, MoveAllMovesEverythingAndItsLabels)
{
    AnnotationLayer layer;
    layer.AddShape(Ruler({ 100, 100 }, { 200, 100 }));
    layer.AddText(Text(120, 150, 160, 162));
    const PixelRect bounds { 0, 0, 500, 400 };
    layer.MoveAll(7, -3, bounds);
    const ShapeAnnotation& ruler = layer.Shapes()[0];
    EXPECT_EQ(ruler.points[2], (FloatPoint { 107, 97 }));
    EXPECT_EQ(ruler.points[3], (FloatPoint { 207, 97 }));
    EXPECT_EQ(ruler.labelRect, (PixelRect { 217, 87, 297, 102 }));
    const TextAnnotation& text = layer.Texts()[0];
    EXPECT_EQ(text.left, 127.0f);
    EXPECT_EQ(text.top, 147.0f);
    EXPECT_EQ(text.right, 167.0f);
    EXPECT_EQ(text.bottom, 159.0f);
}

TEST(AnnotationLayer, MoveAllStopsAgainstTheEdgeUndeformed)
{
    AnnotationLayer layer;
    layer.AddShape(Ruler({ 100, 100 }, { 200, 100 })); // bars reach y 90..110
    layer.AddText(Text(300, 50, 340, 62));
    const PixelRect bounds { 0, 0, 350, 400 };
    layer.MoveAll(30, -100, bounds);
    const ShapeAnnotation& ruler = layer.Shapes()[0];
    // The text reaches the right edge after 10 of the 30 pixels and the top after 50.
    const TextAnnotation& text = layer.Texts()[0];
    EXPECT_EQ(text.right, 350.0f);
    EXPECT_EQ(text.left, 310.0f);
    EXPECT_EQ(text.top, 0.0f);
    EXPECT_EQ(text.bottom, 12.0f);
    // The ruler moves 30 right; upward only until its bar touches the top: 90 pixels.
    EXPECT_NEAR(ruler.points[2].x, 130, 1e-4);
    EXPECT_NEAR(ruler.points[0].y, 0, 1e-3);
    EXPECT_NEAR(Distance(ruler.points[2], ruler.points[3]), 100.0, 1e-4); // still 100 long
    EXPECT_EQ(ruler.labelRect, RulerLabelRect({ 200, 100 }).Offset(30, -90));
    // Pressed against the edge, a further push does nothing.
    const ShapeAnnotation before = ruler;
    layer.MoveAll(0, -20, bounds);
    EXPECT_EQ(layer.Shapes()[0].points, before.points);
    // And it comes away from the edge freely.
    layer.MoveAll(0, 20, bounds);
    EXPECT_NEAR(layer.Shapes()[0].points[0].y, 20, 1e-3);
}

TEST(AnnotationLayer, AnnotationBeyondTheEdgeIsNotPulledIn)
{
    AnnotationLayer layer;
    layer.AddShape(Arrow({ 10, 10 }, { 600, 10 })); // wider than the image after a zoom out
    layer.MoveAll(5, 0, { 0, 0, 300, 300 });
    EXPECT_EQ(layer.Shapes()[0].points[0].x, 10.0f);
    layer.MoveAll(-5, 0, { 0, 0, 300, 300 });
    EXPECT_EQ(layer.Shapes()[0].points[0].x, 5.0f); // back toward the inside it moves freely
}

TEST(AnnotationLayer, NameColourAndClear)
{
    AnnotationLayer layer;
    EXPECT_FALSE(layer.SetName(""));
    EXPECT_TRUE(layer.SetName("Layer 1"));
    EXPECT_FALSE(layer.SetName(""));
    EXPECT_EQ(layer.Name(), "Layer 1");
    layer.SetColour({ 255, 255, 0 });
    EXPECT_EQ(layer.Colour(), (LayerColour { 255, 255, 0 }));
    layer.AddShape(Arrow({ 0, 0 }, { 9, 9 }));
    layer.AddText(Text(0, 0, 1, 1));
    layer.Clear();
    EXPECT_TRUE(layer.Empty());
    EXPECT_EQ(layer.Name(), "");
    EXPECT_EQ(layer.Colour(), (LayerColour {}));
}

TEST(AnnotationLayer, TextIsCutAt259CharactersNeverInsideOne)
{
    EXPECT_EQ(CutAnnotationText("short"), "short");
    EXPECT_EQ(CutAnnotationText(std::string(259, 'a')).size(), 259u);
    EXPECT_EQ(CutAnnotationText(std::string(400, 'a')), std::string(259, 'a'));
    std::string umlauts;
    for (int k = 0; k < 300; ++k)
        umlauts += "\xC3\xA4"; // two bytes each
    const std::string cut = CutAnnotationText(umlauts);
    EXPECT_EQ(cut.size(), 259u * 2);
    EXPECT_EQ(CutAnnotationText(""), "");
}
