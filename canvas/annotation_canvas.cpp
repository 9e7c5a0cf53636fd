// AnnotationCanvas: binding operations, snapshots, backgrounds and drawing. The mouse tools are
// in annotation_tools.cpp.
#include "canvas/annotation_canvas.h"

#include "platform/framebuffer_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velmora {

namespace {

PixelRect Union(const PixelRect& a, const PixelRect& b)
{
    return { std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
        std::max(a.bottom, b.bottom) };
}

} // namespace

AnnotationCanvas::AnnotationCanvas(
    FramebufferWindow& window, AnnotationLayer& layer, const PixelRect* imageRect, const FrameGeometry& frame)
    : m_window(window)
    , m_dc(window.Context())
    , m_layer(layer)
    , m_frame(frame)
    , m_imageRect(imageRect ? *imageRect : window.ClientRect())
{
    static uint64_t serials = 0;
    m_serial = ++serials;
    if (frame.spacing)
        m_scale.SetPixelSpacing(*frame.spacing);
    // A window without pixels yet has nothing to keep; its first paint takes the snapshot.
    const QImage& framebuffer = window.Framebuffer();
    if (!framebuffer.isNull()) {
        m_snapshot = framebuffer.copy();
        m_valid = !m_snapshot.isNull();
    } else {
        m_valid = true;
    }
    if (m_valid)
        RedrawAll(false);
}

AnnotationCanvas::~AnnotationCanvas()
{
    // A Select-mode cross must not outlive the canvas that set it.
    if (m_mode == CanvasMode::Select)
        ShowCursor(Qt::ArrowCursor);
    // An annotation picked up in Select mode is out of the layer until it is put down: give it
    // back rather than lose it (the window may be going away, so nothing is drawn).
    if (m_holding) {
        if (m_shape)
            m_layer.AddShape(*m_shape);
        else if (m_text)
            m_layer.AddText(*m_text);
    }
}

// ---- Binding operations ----

ResultCode AnnotationCanvas::SetLayerName(const char* name)
{
    return name && m_layer.SetName(name) ? SUCCESS : ERROR_GENERAL_FAILURE;
}

ResultCode AnnotationCanvas::SetCanvasMode(CanvasMode mode)
{
    if (mode != CanvasMode::Off && mode != CanvasMode::Draw && mode != CanvasMode::Select)
        return ERROR_GENERAL_FAILURE;
    // Leaving a mode drops what is half done there: a held annotation goes back to the layer, an
    // unfinished angle is erased.
    if (mode != m_mode)
        Abandon();
    m_finishedRuler = false;
    if (m_mode == CanvasMode::Select && mode != CanvasMode::Select)
        ShowCursor(Qt::ArrowCursor);
    m_mode = mode;
    return SUCCESS;
}

ResultCode AnnotationCanvas::StartTool(ToolKind kind, const char* text)
{
    Abandon();
    m_finishedRuler = false;
    return BeginRecord(kind, text);
}

ResultCode AnnotationCanvas::BeginRecord(ToolKind kind, const char* text)
{
    m_shape.reset();
    m_text.reset();
    m_overlayShown = false;
    m_labelShown = LabelShown::None;
    switch (kind) {
    case ToolKind::Arrow:
    case ToolKind::Angle:
    case ToolKind::Ruler: {
        ShapeAnnotation shape;
        shape.kind = kind;
        shape.layerIndex = m_layerIndex;
        shape.points.resize(PointCountOf(kind));
        m_shape = std::move(shape);
        if (kind == ToolKind::Angle)
            m_angleClicks = 0;
        break;
    }
    case ToolKind::Text: {
        if (text == nullptr)
            return ERROR_GENERAL_FAILURE;
        TextAnnotation record;
        record.layerIndex = m_layerIndex;
        record.text = CutAnnotationText(text);
        m_text = std::move(record);
        break;
    }
    default:
        return ERROR_GENERAL_FAILURE;
    }
    m_tool = kind;
    return SUCCESS;
}

void AnnotationCanvas::SetColour(uint8_t red, uint8_t green, uint8_t blue, bool redraw)
{
    m_layer.SetColour({ red, green, blue });
    if (redraw)
        RedrawAll(true);
}

void AnnotationCanvas::SetScale(float pixels, float millimetres)
{
    m_scale.Calibrate(pixels, millimetres);
}

ResultCode AnnotationCanvas::MoveAll(int32_t dx, int32_t dy)
{
    std::vector<ShapeAnnotation>& shapes = m_layer.Shapes();
    for (auto it = shapes.rbegin(); it != shapes.rend(); ++it) {
        if (it->HasLabel())
            PutBackground(it->labelBackground);
    }
    m_layer.MoveAll(dx, dy, m_imageRect);
    for (ShapeAnnotation& shape : shapes) {
        if (shape.HasLabel())
            ShowLabel(shape, LabelOf(shape));
    }
    Present();
    return SUCCESS;
}

ResultCode AnnotationCanvas::DeleteShape(int32_t index)
{
    return m_layer.RemoveShape(index) ? SUCCESS : ERROR_GENERAL_FAILURE;
}

int32_t AnnotationCanvas::LastShapeIndex() const
{
    return static_cast<int32_t>(m_layer.Shapes().size()) - 1;
}

ResultCode AnnotationCanvas::ShapePixelLength(int32_t index, double& pixels) const
{
    const auto& shapes = m_layer.Shapes();
    if (index < 0 || static_cast<size_t>(index) >= shapes.size() || shapes[index].kind != ToolKind::Ruler)
        return ERROR_GENERAL_FAILURE;
    pixels = RulerPixels(shapes[index]);
    return SUCCESS;
}

ResultCode AnnotationCanvas::ShapeLength(int32_t index, float& length) const
{
    double pixels = 0.0;
    if (ShapePixelLength(index, pixels) != SUCCESS)
        return ERROR_GENERAL_FAILURE;
    const ShapeAnnotation& ruler = m_layer.Shapes()[index];
    length = static_cast<float>(
        m_scale.Measure(ImageDx(static_cast<double>(ruler.points[3].x) - ruler.points[2].x),
            ImageDy(static_cast<double>(ruler.points[3].y) - ruler.points[2].y)));
    return SUCCESS;
}

ResultCode AnnotationCanvas::CalibrateWith(int32_t index, double millimetres)
{
    double pixels = 0.0;
    if (ShapePixelLength(index, pixels) != SUCCESS || !m_scale.Calibrate(pixels, millimetres))
        return ERROR_GENERAL_FAILURE;
    m_layer.RemoveShape(index);
    return SUCCESS;
}

void AnnotationCanvas::SetImageRect(const PixelRect& rect)
{
    m_imageRect = rect;
}

void AnnotationCanvas::Refresh()
{
    m_snapshot = m_window.Framebuffer().copy();
    for (TextAnnotation& text : m_layer.Texts()) {
        const PixelRect box { Truncate(text.left), Truncate(text.top), Truncate(text.right),
            Truncate(text.bottom) };
        text.background = TakeBackground(Painter().Measure(box, text.text));
    }
    for (ShapeAnnotation& shape : m_layer.Shapes()) {
        if (shape.HasLabel())
            shape.labelBackground
                = TakeBackground(Union(shape.labelRect, Painter().Measure(shape.labelRect, LabelOf(shape))));
    }
}

void AnnotationCanvas::RedrawAll(bool restore)
{
    if (restore)
        RestoreSnapshot();
    PaintLayer(Painter());
    // The snapshot wiped the record in progress off the screen; put it back so that erasing it
    // later (drawing its inverted lines again) finds it there.
    if (restore && m_overlayShown) {
        m_overlayShown = false;
        ShowOverlay();
    }
    Present();
}

// ---- Measurements ----

double AnnotationCanvas::ImageDx(double dx) const
{
    const int32_t shown = m_imageRect.Width();
    return m_frame.columns > 0 && shown > 0 ? dx * m_frame.columns / shown : dx;
}

double AnnotationCanvas::ImageDy(double dy) const
{
    const int32_t shown = m_imageRect.Height();
    return m_frame.rows > 0 && shown > 0 ? dy * m_frame.rows / shown : dy;
}

double AnnotationCanvas::RulerPixels(const ShapeAnnotation& shape) const
{
    const double dx = ImageDx(static_cast<double>(shape.points[3].x) - shape.points[2].x);
    const double dy = ImageDy(static_cast<double>(shape.points[3].y) - shape.points[2].y);
    return std::sqrt(dx * dx + dy * dy);
}

std::string AnnotationCanvas::LabelOf(const ShapeAnnotation& shape) const
{
    const auto& p = shape.points;
    if (shape.kind == ToolKind::Angle && p.size() >= 4)
        return FormatAngle(AngleDegrees(p[0], p[1], p[3]));
    if (shape.kind == ToolKind::Ruler && p.size() >= 6)
        return m_scale.FormatLength(
            ImageDx(static_cast<double>(p[3].x) - p[2].x), ImageDy(static_cast<double>(p[3].y) - p[2].y));
    return {};
}

bool AnnotationCanvas::InImage(const MouseMessage& message) const
{
    return m_imageRect.Contains(message.x, message.y);
}

// ---- Drawing ----

QRgb AnnotationCanvas::PenColour() const
{
    const LayerColour colour = m_layer.Colour();
    return qRgb(colour.red, colour.green, colour.blue);
}

AnnotationPainter AnnotationCanvas::Painter()
{
    return AnnotationPainter(m_dc, m_font, PenColour());
}

void AnnotationCanvas::DrawString(PixelRect& rect, const std::string& text)
{
    rect = Painter().String(rect, text);
}

void AnnotationCanvas::PaintLayer(const AnnotationPainter& painter, Held held) const
{
    const bool drawHeld = held == Held::Drawn && m_holding;
    for (const ShapeAnnotation& shape : m_layer.Shapes())
        painter.Shape(shape, PenMode::Copy, LabelOf(shape));
    if (drawHeld && m_shape)
        painter.Shape(*m_shape, PenMode::Copy, LabelOf(*m_shape));
    for (const TextAnnotation& text : m_layer.Texts())
        painter.Text(text);
    if (drawHeld && m_text)
        painter.Text(*m_text);
}

void AnnotationCanvas::PaintAnnotations(DrawContext& target, const ClientToPicture& mapping) const
{
    // The screen shows a held annotation inverted over the clean picture, outside the layer; the
    // picture carries it too.
    PaintLayer(AnnotationPainter(target, m_font, PenColour(), mapping), Held::Drawn);
}

PixelPatch AnnotationCanvas::TakeBackground(const PixelRect& rect) const
{
    const QImage& framebuffer = m_window.Framebuffer();
    PixelPatch patch;
    patch.left = std::max(rect.left, 0);
    patch.top = std::max(rect.top, 0);
    const int32_t right = std::min(rect.right, framebuffer.width());
    const int32_t bottom = std::min(rect.bottom, framebuffer.height());
    if (framebuffer.isNull() || right <= patch.left || bottom <= patch.top)
        return patch;
    patch.width = right - patch.left;
    patch.height = bottom - patch.top;
    patch.pixels.resize(static_cast<size_t>(patch.width) * patch.height);
    for (int32_t y = 0; y < patch.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(framebuffer.constScanLine(patch.top + y));
        std::memcpy(&patch.pixels[static_cast<size_t>(y) * patch.width], row + patch.left,
            static_cast<size_t>(patch.width) * sizeof(uint32_t));
    }
    return patch;
}

void AnnotationCanvas::PutBackground(const PixelPatch& patch)
{
    QImage& framebuffer = m_window.Framebuffer();
    if (patch.Empty() || framebuffer.isNull())
        return;
    // The window may have shrunk since the copy was taken.
    const int32_t right = std::min(patch.left + patch.width, framebuffer.width());
    const int32_t bottom = std::min(patch.top + patch.height, framebuffer.height());
    if (right <= patch.left)
        return;
    for (int32_t y = patch.top; y < bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(framebuffer.scanLine(y));
        std::memcpy(row + patch.left, &patch.pixels[static_cast<size_t>(y - patch.top) * patch.width],
            static_cast<size_t>(right - patch.left) * sizeof(uint32_t));
    }
}

void AnnotationCanvas::RestoreSnapshot()
{
    if (!m_snapshot.isNull())
        m_dc.CopyIn(m_snapshot, 0, 0);
}

void AnnotationCanvas::Present()
{
    m_window.update();
}

void AnnotationCanvas::ShowLabel(ShapeAnnotation& shape, const std::string& text)
{
    // The background covers the whole label rectangle and the text, whichever is larger, so that
    // putting it back always erases the text.
    shape.labelBackground = TakeBackground(Union(shape.labelRect, Painter().Measure(shape.labelRect, text)));
    DrawString(shape.labelRect, text);
}

void AnnotationCanvas::HideLabel(const ShapeAnnotation& shape)
{
    PutBackground(shape.labelBackground);
}

void AnnotationCanvas::ShowOverlay()
{
    if (m_overlayShown)
        return;
    if (m_shape) {
        if (m_shape->HasLabel() && m_labelShown != LabelShown::None) {
            const std::string text = m_labelShown == LabelShown::Value ? LabelOf(*m_shape)
                : m_shape->kind == ToolKind::Ruler                     ? m_scale.Placeholder()
                                                                       : std::string(ANGLE_PLACEHOLDER);
            ShowLabel(*m_shape, text);
        }
        Painter().Lines(*m_shape, PenMode::Not);
    } else if (m_text) {
        PixelRect box { Truncate(m_text->left), Truncate(m_text->top), 0, 0 };
        box = Painter().Measure(box, m_text->text);
        m_text->background = TakeBackground(box);
        DrawString(box, m_text->text);
        m_text->right = static_cast<float>(box.right);
        m_text->bottom = static_cast<float>(box.bottom);
    } else {
        return;
    }
    m_overlayShown = true;
    Present();
}

void AnnotationCanvas::HideOverlay()
{
    if (!m_overlayShown)
        return;
    m_overlayShown = false;
    if (m_shape) {
        Painter().Lines(*m_shape, PenMode::Not);
        if (m_shape->HasLabel() && m_labelShown != LabelShown::None)
            HideLabel(*m_shape);
    } else if (m_text) {
        PutBackground(m_text->background);
    }
    Present();
}

void AnnotationCanvas::Abandon()
{
    HideOverlay();
    m_buttonDown = false;
    m_angleClicks = 0;
    m_labelShown = LabelShown::None;
    if (m_holding) {
        m_holding = false;
        if (m_shape)
            m_layer.AddShape(*m_shape);
        else if (m_text)
            m_layer.AddText(*m_text);
        RedrawAll(true);
    }
}

} // namespace velmora
