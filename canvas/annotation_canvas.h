// AnnotationCanvas: draws a tile's annotation layer over the image and edits it with the mouse.
// It keeps a clean snapshot of the window (the bare image), so that rubber-band lines (drawn with
// an inverting pen, twice restores), moved annotations and labels are erased without repainting
// the image. The mouse tools (annotation_tools.cpp) draw arrows, angles, rulers and texts in Draw
// mode and pick annotations up and move them in Select mode. Lengths are measured through the
// size the frame is shown at, in millimetres when the image has a scale (measurement_scale.h).
// Bound to a tile by CanvasBinding; sits in the canvas layer, on the platform layer.
#pragma once

#include "canvas/annotation_layer.h"
#include "canvas/annotation_painter.h"
#include "canvas/canvas_binding.h"
#include "canvas/measurement_scale.h"
#include "platform/draw_context.h"

#include <QImage>
#include <functional>
#include <optional>
#include <string>

namespace velmora {

class FramebufferWindow;

// What the canvas knows of the frame it annotates: its size in pixels and its Pixel Spacing.
struct FrameGeometry {
    uint32_t columns = 0;
    uint32_t rows = 0;
    std::optional<PixelSpacing> spacing;
};

class AnnotationCanvas : public BindableCanvas {
public:
    // A canvas over `window` drawing `layer`; `imageRect` null means the client rectangle. Takes
    // the clean snapshot and draws the layer. Check Valid() afterwards.
    AnnotationCanvas(FramebufferWindow& window, AnnotationLayer& layer, const PixelRect* imageRect,
        const FrameGeometry& frame);
    ~AnnotationCanvas() override;
    AnnotationCanvas(const AnnotationCanvas&) = delete;
    AnnotationCanvas& operator=(const AnnotationCanvas&) = delete;

    // False when the snapshot could not be made.
    bool Valid() const { return m_valid; }
    // Distinct for every canvas made in this run (an address may be reused, a serial is not).
    uint64_t Serial() const { return m_serial; }
    // How the Select-mode cursor is shown; by default on the window alone. Tiles share one
    // cursor, as a window class does.
    void SetCursorSetter(std::function<void(Qt::CursorShape)> setter) { m_setCursor = std::move(setter); }

    // BindableCanvas.
    void MouseMove(const MouseMessage& message) override;
    void ButtonDown(const MouseMessage& message) override;
    void ButtonUp(const MouseMessage& message) override;
    ResultCode SetLayerName(const char* name) override;
    ResultCode SetCanvasMode(CanvasMode mode) override;
    ResultCode StartTool(ToolKind kind, const char* text) override;
    void SetColour(uint8_t red, uint8_t green, uint8_t blue, bool redraw) override;
    // `pixels` image pixels are `millimetres` long; ignored for a length that is not positive.
    void SetScale(float pixels, float millimetres) override;
    ResultCode MoveAll(int32_t dx, int32_t dy) override;
    ResultCode DeleteShape(int32_t index) override;
    int32_t LastShapeIndex() const override;
    // A ruler's length in the label unit (mm with a scale, image pixels without).
    ResultCode ShapeLength(int32_t index, float& length) const override;
    void SetImageRect(const PixelRect& rect) override;
    void Refresh() override;
    void RedrawAll(bool restore) override;
    void PaintAnnotations(DrawContext& target, const ClientToPicture& mapping) const override;

    // A ruler's length in image pixels, through the size the frame is shown at.
    ResultCode ShapePixelLength(int32_t index, double& pixels) const;
    // Takes the ruler at `index` as `millimetres` long: sets the scale and removes the ruler.
    // ERROR_GENERAL_FAILURE, nothing changed, for no ruler or one without length.
    ResultCode CalibrateWith(int32_t index, double millimetres);
    const MeasurementScale& Scale() const { return m_scale; }
    Hit HitTest(float x, float y) const { return m_layer.HitTest(x, y); }

    CanvasMode Mode() const { return m_mode; }
    ToolKind Tool() const { return m_tool; }
    int32_t AngleClicks() const { return m_angleClicks; }
    bool ButtonIsDown() const { return m_buttonDown; }
    // Whether the last left-button release finished a ruler in Draw mode (the calibration prompt
    // that runs after it takes that ruler as its reference).
    bool ReleaseFinishedRuler() const { return m_finishedRuler; }
    const std::optional<ShapeAnnotation>& ShapeInProgress() const { return m_shape; }
    const std::optional<TextAnnotation>& TextInProgress() const { return m_text; }
    const QImage& CleanSnapshot() const { return m_snapshot; }
    const PixelRect& ImageRect() const { return m_imageRect; }
    const TextFont& Font() const { return m_font; }
    const AnnotationLayer& Layer() const { return m_layer; }

    // The label a shape shows now: "%3.1f" degrees for an angle, the length for a ruler.
    std::string LabelOf(const ShapeAnnotation& shape) const;

private:
    // What the label of the record in progress shows while it is on screen.
    enum class LabelShown { None, Placeholder, Value };

    // Drawing.
    QRgb PenColour() const;
    // Draws on screen, into the window's framebuffer.
    AnnotationPainter Painter();
    // Draws `text` with its top-left at the rectangle's, which is resized to the text.
    void DrawString(PixelRect& rect, const std::string& text);
    // Whether PaintLayer draws an annotation held in Select mode (out of the layer meanwhile).
    enum class Held : uint8_t { Left, Drawn };
    // Every annotation of the layer, shapes then texts; a held one drawn where it is now, last of
    // its kind, as it lies once put down.
    void PaintLayer(const AnnotationPainter& painter, Held held = Held::Left) const;
    PixelPatch TakeBackground(const PixelRect& rect) const;
    void PutBackground(const PixelPatch& patch);
    void RestoreSnapshot();
    void Present();
    // Retakes a shape's label background and draws its label (at its label rectangle).
    void ShowLabel(ShapeAnnotation& shape, const std::string& text);
    void HideLabel(const ShapeAnnotation& shape);

    // The record in progress on screen: label (background first) then inverted lines for a
    // shape, background then string for a text. Hiding undoes exactly that, in reverse.
    void ShowOverlay();
    void HideOverlay();
    // Drops the record in progress: its overlay is erased, a held annotation goes back.
    void Abandon();
    ResultCode BeginRecord(ToolKind kind, const char* text);

    // Image pixels of a window displacement, by the size the frame is shown at.
    double ImageDx(double dx) const;
    double ImageDy(double dy) const;
    double RulerPixels(const ShapeAnnotation& shape) const;
    bool InImage(const MouseMessage& message) const;

    // The mouse tools (annotation_tools.cpp).
    void DrawPress(const MouseMessage& message);
    void DrawMove(const MouseMessage& message);
    void DrawRelease();
    void SelectPress(const MouseMessage& message);
    void SelectMove(const MouseMessage& message);
    void SelectRelease();
    void PressArrow(FloatPoint at);
    void PressRuler(FloatPoint at);
    void PressAngle(FloatPoint at);
    void PressText(FloatPoint at);
    void Finish();
    void UpdateCursor(const MouseMessage& message);
    void ShowCursor(Qt::CursorShape shape);

    FramebufferWindow& m_window;
    DrawContext m_dc;
    AnnotationLayer& m_layer;
    FrameGeometry m_frame;
    bool m_valid = false;
    uint64_t m_serial = 0;
    QImage m_snapshot;
    PixelRect m_imageRect;
    CanvasMode m_mode = CanvasMode::Draw;
    ToolKind m_tool = ToolKind::None;
    std::optional<ShapeAnnotation> m_shape;
    std::optional<TextAnnotation> m_text;
    bool m_buttonDown = false;
    bool m_holding = false; // Select mode: the record in progress was picked up from the layer
    FloatPoint m_anchor;
    int32_t m_angleClicks = 0;
    bool m_finishedRuler = false;
    bool m_overlayShown = false;
    LabelShown m_labelShown = LabelShown::None;
    MeasurementScale m_scale;
    uint32_t m_layerIndex = 0;
    TextFont m_font { QString(), 12, 10, 400 };
    std::function<void(Qt::CursorShape)> m_setCursor;
};

} // namespace velmora
