// The mouse tools of the annotation canvas, one state machine per mode:
//  Draw:   Arrow, Ruler and Text follow one press-drag-release; an Angle takes three clicks
//          (vertex, end of the first arm, end of the second), its arm following the mouse between
//          them. The record in progress is reused for the next annotation of the same tool.
//  Select: a press on an annotation picks it up (out of the layer, drawn inverted), drags move it,
//          the release puts it back at the end of its list.
// While a record is on screen it is an overlay (ShowOverlay / HideOverlay): every change hides
// it, changes the record and shows it again, so inverted lines never pile up.
#include "canvas/annotation_canvas.h"
#include "platform/framebuffer_window.h"

#include <algorithm>

namespace velmora {

namespace {

FloatPoint PointOf(const MouseMessage& message)
{
    return { static_cast<float>(message.x), static_cast<float>(message.y) };
}

} // namespace

void AnnotationCanvas::ButtonDown(const MouseMessage& message)
{
    if (m_mode == CanvasMode::Draw)
        DrawPress(message);
    else if (m_mode == CanvasMode::Select)
        SelectPress(message);
}

void AnnotationCanvas::MouseMove(const MouseMessage& message)
{
    if (m_mode == CanvasMode::Draw)
        DrawMove(message);
    else if (m_mode == CanvasMode::Select)
        SelectMove(message);
}

void AnnotationCanvas::ButtonUp(const MouseMessage&)
{
    m_finishedRuler = false;
    if (m_mode == CanvasMode::Draw)
        DrawRelease();
    else if (m_mode == CanvasMode::Select)
        SelectRelease();
}

// ---- Draw mode ----

void AnnotationCanvas::DrawPress(const MouseMessage& message)
{
    if ((!m_shape && !m_text) || m_buttonDown || !InImage(message))
        return;
    const FloatPoint at = PointOf(message);
    switch (m_tool) {
    case ToolKind::Arrow:
        PressArrow(at);
        break;
    case ToolKind::Ruler:
        PressRuler(at);
        break;
    case ToolKind::Angle:
        PressAngle(at);
        break;
    case ToolKind::Text:
        PressText(at);
        break;
    default:
        break;
    }
}

void AnnotationCanvas::PressArrow(FloatPoint at)
{
    m_buttonDown = true;
    HideOverlay();
    std::fill(m_shape->points.begin(), m_shape->points.end(), at);
    m_labelShown = LabelShown::None;
    ShowOverlay();
}

void AnnotationCanvas::PressRuler(FloatPoint at)
{
    m_buttonDown = true;
    HideOverlay();
    std::fill(m_shape->points.begin(), m_shape->points.end(), at);
    m_shape->labelRect = RulerPressLabelRect(Truncate(at.x), Truncate(at.y));
    m_labelShown = LabelShown::Placeholder;
    ShowOverlay();
}

void AnnotationCanvas::PressAngle(FloatPoint at)
{
    m_buttonDown = true;
    HideOverlay();
    auto& p = m_shape->points;
    switch (m_angleClicks) {
    case 0: // the vertex
        std::fill(p.begin(), p.end(), at);
        m_shape->labelRect = AngleLabelRect(Truncate(at.x), Truncate(at.y));
        m_labelShown = LabelShown::Placeholder;
        m_angleClicks = 1;
        break;
    case 1: // the end of the first arm; the second now follows the mouse
        p[1] = at;
        m_angleClicks = 2;
        break;
    default: // the end of the second arm; the release finishes the angle
        p[3] = at;
        m_labelShown = LabelShown::Value;
        m_angleClicks = 0;
        break;
    }
    ShowOverlay();
}

void AnnotationCanvas::PressText(FloatPoint at)
{
    // An empty text would be an invisible annotation.
    if (m_text->text.empty())
        return;
    m_buttonDown = true;
    HideOverlay();
    m_text->left = at.x;
    m_text->top = at.y;
    ShowOverlay(); // measures the box, keeps what lies under it and draws the string
}

void AnnotationCanvas::DrawMove(const MouseMessage& message)
{
    const bool armFollows
        = m_tool == ToolKind::Angle && m_shape && (m_angleClicks == 1 || m_angleClicks == 2);
    if (!armFollows && !(m_buttonDown && message.keys == KEY_LBUTTON))
        return;
    if (!InImage(message))
        return;
    const FloatPoint at = PointOf(message);
    switch (m_tool) {
    case ToolKind::Arrow: {
        HideOverlay();
        const auto points = ArrowPoints(m_shape->points[0], at);
        m_shape->points.assign(points.begin(), points.end());
        ShowOverlay();
        break;
    }
    case ToolKind::Ruler: {
        HideOverlay();
        const auto points = RulerPoints(m_shape->points[2], at);
        m_shape->points.assign(points.begin(), points.end());
        m_shape->labelRect = RulerLabelRect(at);
        m_labelShown = LabelShown::Value;
        ShowOverlay();
        break;
    }
    case ToolKind::Angle:
        if (!armFollows)
            break;
        HideOverlay();
        m_shape->points[m_angleClicks == 1 ? 1 : 3] = at;
        m_labelShown = LabelShown::Value;
        ShowOverlay();
        break;
    case ToolKind::Text: // the box stays where it was pressed
        HideOverlay();
        ShowOverlay();
        break;
    default:
        break;
    }
}

void AnnotationCanvas::DrawRelease()
{
    if (!m_buttonDown)
        return;
    m_buttonDown = false;
    if (m_tool == ToolKind::Text) {
        if (m_text) {
            m_layer.AddText(*m_text); // already on the screen
            m_overlayShown = false;
        }
        return;
    }
    if (!m_shape || (m_tool == ToolKind::Angle && m_angleClicks != 0))
        return;
    m_finishedRuler = m_tool == ToolKind::Ruler;
    Finish();
}

void AnnotationCanvas::Finish()
{
    HideOverlay();
    m_labelShown = LabelShown::None;
    Painter().Lines(*m_shape, PenMode::Copy);
    m_layer.AddShape(*m_shape);
    RedrawAll(true);
}

// ---- Select mode ----

void AnnotationCanvas::SelectPress(const MouseMessage& message)
{
    if (m_buttonDown || !InImage(message))
        return;
    m_anchor = PointOf(message);
    const Hit hit = m_layer.HitTest(m_anchor.x, m_anchor.y);
    if (!hit)
        return;
    m_buttonDown = true;
    // Everything but the annotation picked up, from the clean snapshot.
    RestoreSnapshot();
    for (size_t k = 0; k < m_layer.Shapes().size(); ++k) {
        if (hit.kind == ToolKind::Text || static_cast<int32_t>(k) != hit.index)
            Painter().Shape(m_layer.Shapes()[k], PenMode::Copy, LabelOf(m_layer.Shapes()[k]));
    }
    for (size_t k = 0; k < m_layer.Texts().size(); ++k) {
        if (hit.kind != ToolKind::Text || static_cast<int32_t>(k) != hit.index)
            Painter().Text(m_layer.Texts()[k]);
    }
    if (hit.kind == ToolKind::Text) {
        const TextAnnotation held = m_layer.Texts()[hit.index];
        BeginRecord(ToolKind::Text, held.text.c_str());
        m_text = held;
        m_layer.RemoveText(hit.index);
    } else {
        const ShapeAnnotation held = m_layer.Shapes()[hit.index];
        BeginRecord(held.kind, nullptr);
        m_shape = held;
        m_layer.RemoveShape(hit.index);
        // Shown inverted, its label gone until the first move.
        m_labelShown = LabelShown::None;
    }
    m_holding = true;
    ShowOverlay();
    Present();
}

void AnnotationCanvas::SelectMove(const MouseMessage& message)
{
    UpdateCursor(message);
    if (!m_holding || !m_buttonDown || message.keys != KEY_LBUTTON || !InImage(message))
        return;
    const FloatPoint at = PointOf(message);
    const float dx = at.x - m_anchor.x, dy = at.y - m_anchor.y;
    HideOverlay();
    if (m_shape) {
        for (FloatPoint& point : m_shape->points) {
            point.x += dx;
            point.y += dy;
        }
        if (m_shape->HasLabel()) {
            m_shape->labelRect = m_shape->labelRect.Offset(Truncate(dx), Truncate(dy));
            m_labelShown = LabelShown::Value;
        }
    } else if (m_text) {
        m_text->left += dx;
        m_text->right += dx;
        m_text->top += dy;
        m_text->bottom += dy;
    }
    ShowOverlay();
    m_anchor = at;
}

void AnnotationCanvas::SelectRelease()
{
    if (!m_buttonDown)
        return;
    m_buttonDown = false;
    if (!m_holding)
        return;
    m_holding = false;
    if (m_shape) {
        Finish();
    } else if (m_text) {
        m_layer.AddText(*m_text);
        m_overlayShown = false;
    }
}

void AnnotationCanvas::UpdateCursor(const MouseMessage& message)
{
    const bool over
        = m_holding || m_layer.HitTest(static_cast<float>(message.x), static_cast<float>(message.y));
    ShowCursor(over ? Qt::CrossCursor : Qt::ArrowCursor);
}

void AnnotationCanvas::ShowCursor(Qt::CursorShape shape)
{
    // Another tile may have changed a shared cursor: compare with the window's own.
    if (shape == m_window.cursor().shape())
        return;
    if (m_setCursor)
        m_setCursor(shape);
    else
        m_window.setCursor(shape);
}

} // namespace velmora
