// CanvasBinding: how a tile talks to its annotation canvas. Binding creates a canvas for the
// tile window and hooks it in front of the window's mouse handling; the window then carries the
// properties "prop0" (the window's own handler, which the hook passes every message on to) and
// "prop1" (the canvas). While no canvas is bound every operation does nothing or returns
// ERROR_GENERAL_FAILURE.
// The annotation code provides the canvas through BindableCanvas and installs a CanvasFactory;
// until it does, BindCanvas fails and tiles have no canvas. Sits in the canvas layer.
#pragma once

#include "canvas/annotation_geometry.h"
#include "imaging/paint_target.h"
#include "platform/mouse_hook.h"
#include "toolkit/result_code.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace velmora {

class AnnotationLayer;
class ClientToPicture;
class DrawContext;
class FramebufferWindow;

// What the binding asks of an annotation canvas.
class BindableCanvas {
public:
    virtual ~BindableCanvas() = default;
    // Mouse handlers, called by the hook before the tile's own handlers.
    virtual void MouseMove(const MouseMessage& message) = 0;
    virtual void ButtonDown(const MouseMessage& message) = 0;
    virtual void ButtonUp(const MouseMessage& message) = 0;

    virtual ResultCode SetLayerName(const char* name) = 0;
    virtual ResultCode SetCanvasMode(CanvasMode mode) = 0;
    virtual ResultCode StartTool(ToolKind kind, const char* text) = 0;
    virtual void SetColour(uint8_t red, uint8_t green, uint8_t blue, bool redraw) = 0;
    virtual void SetScale(float pixels, float millimetres) = 0;
    virtual ResultCode MoveAll(int32_t dx, int32_t dy) = 0;
    virtual ResultCode DeleteShape(int32_t index) = 0;
    virtual int32_t LastShapeIndex() const = 0;
    virtual ResultCode ShapeLength(int32_t index, float& length) const = 0;
    virtual void SetImageRect(const PixelRect& rect) = 0;
    virtual void Refresh() = 0;
    // Copies the clean snapshot back over the client area (when `restore`), then draws every
    // annotation.
    virtual void RedrawAll(bool restore) = 0;
    // Draws every annotation the window shows (the layer's, and one held in Select mode) into
    // `target`, placed there by `mapping` (the picture of an export); the window is left as it is.
    virtual void PaintAnnotations(DrawContext& target, const ClientToPicture& mapping) const = 0;
};

// What the annotation code installs once at start-up: makes a canvas over `window` drawing
// `layer`, initialised with `imageRect` (null: the client rectangle), its clean snapshot taken;
// null when that fails.
using CanvasFactory = std::function<std::unique_ptr<BindableCanvas>(
    FramebufferWindow& window, AnnotationLayer& layer, const PixelRect* imageRect)>;
void InstallCanvasFactory(CanvasFactory factory);
const CanvasFactory& InstalledCanvasFactory();

class CanvasBinding {
public:
    CanvasBinding();
    ~CanvasBinding();
    CanvasBinding(const CanvasBinding&) = delete;
    CanvasBinding& operator=(const CanvasBinding&) = delete;

    // Unbinds an earlier canvas, creates a new one, sets "prop0" / "prop1" on `window` and hooks
    // the canvas in front of it. ERROR_GENERAL_FAILURE when no canvas could be made or a
    // property could not be set; then nothing stays bound.
    ResultCode BindCanvas(FramebufferWindow* window, AnnotationLayer* layer, const PixelRect* imageRect);
    // Removes the hook and the properties, destroys the canvas.
    void UnbindCanvas();
    bool Bound() const { return m_canvas != nullptr; }
    BindableCanvas* Canvas() const { return m_canvas.get(); }

    ResultCode SetLayerName(const char* name);
    // Off takes the hook away; Draw and Select put the canvas in front of the window's handlers.
    ResultCode SetCanvasMode(CanvasMode mode);
    ResultCode StartTool(ToolKind kind, const char* text);
    void SetColour(uint8_t red, uint8_t green, uint8_t blue, bool redraw);
    void SetScale(float pixels, float millimetres);
    ResultCode MoveAll(int32_t dx, int32_t dy);
    ResultCode DeleteShape(int32_t index);
    int32_t LastShapeIndex() const; // -1 without a canvas
    ResultCode ShapeLength(int32_t index, float& length) const;
    void SetImageRect(const PixelRect& rect);
    void Refresh();
    void RedrawAll();
    // The canvas's annotations drawn into `target` (nothing without a canvas).
    void PaintAnnotations(DrawContext& target, const ClientToPicture& mapping) const;

    // The canvas bound to `window` (its "prop1"), null when none.
    static BindableCanvas* CanvasOf(const FramebufferWindow* window);

private:
    class Hook;
    std::unique_ptr<BindableCanvas> m_canvas;
    std::unique_ptr<Hook> m_hook;
    FramebufferWindow* m_window = nullptr;
};

} // namespace velmora
