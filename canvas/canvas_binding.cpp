// CanvasBinding: creating, hooking and forwarding to a tile's annotation canvas.
#include "canvas/canvas_binding.h"

#include "platform/framebuffer_window.h"
#include "platform/window_properties.h"

namespace velmora {

namespace {

constexpr const char* PREVIOUS_HANDLER_PROPERTY = "prop0";
constexpr const char* CANVAS_PROPERTY = "prop1";

CanvasFactory& Factory()
{
    static CanvasFactory factory;
    return factory;
}

} // namespace

void InstallCanvasFactory(CanvasFactory factory)
{
    Factory() = std::move(factory);
}

const CanvasFactory& InstalledCanvasFactory()
{
    return Factory();
}

// The canvas's place in front of the window: finds the canvas through the window's "prop1" and
// gives it the mouse messages it handles; the window's own handlers run afterwards.
class CanvasBinding::Hook : public MouseHook {
public:
    void OnMouseMessage(QWidget* window, const MouseMessage& message) override
    {
        auto* canvas = static_cast<BindableCanvas*>(GetWindowProperty(window, CANVAS_PROPERTY));
        if (canvas == nullptr || GetWindowProperty(window, PREVIOUS_HANDLER_PROPERTY) == nullptr)
            return;
        switch (message.action) {
        case MouseAction::Move:
            canvas->MouseMove(message);
            break;
        case MouseAction::LeftDown:
            canvas->ButtonDown(message);
            break;
        case MouseAction::LeftUp:
            canvas->ButtonUp(message);
            break;
        default:
            break;
        }
    }
};

CanvasBinding::CanvasBinding()
    : m_hook(std::make_unique<Hook>())
{
}

CanvasBinding::~CanvasBinding()
{
    UnbindCanvas();
}

ResultCode CanvasBinding::BindCanvas(
    FramebufferWindow* window, AnnotationLayer* layer, const PixelRect* imageRect)
{
    if (m_canvas) {
        RemoveMouseHook(m_window);
        m_canvas.reset();
    }
    if (window == nullptr || layer == nullptr || !Factory())
        return ERROR_GENERAL_FAILURE;
    std::unique_ptr<BindableCanvas> canvas = Factory()(*window, *layer, imageRect);
    if (!canvas)
        return ERROR_GENERAL_FAILURE;
    // "prop0" is the handler every message goes on to: the window's own.
    const bool previousSet = SetWindowProperty(window, PREVIOUS_HANDLER_PROPERTY, window);
    const bool canvasSet = previousSet && SetWindowProperty(window, CANVAS_PROPERTY, canvas.get());
    if (!canvasSet) {
        RemoveWindowProperty(window, PREVIOUS_HANDLER_PROPERTY);
        RemoveWindowProperty(window, CANVAS_PROPERTY);
        return ERROR_GENERAL_FAILURE;
    }
    m_window = window;
    m_canvas = std::move(canvas);
    InstallMouseHook(window, m_hook.get());
    return SUCCESS;
}

void CanvasBinding::UnbindCanvas()
{
    if (m_window != nullptr) {
        RemoveWindowProperty(m_window, PREVIOUS_HANDLER_PROPERTY);
        RemoveWindowProperty(m_window, CANVAS_PROPERTY);
        if (InstalledMouseHook(m_window) == m_hook.get())
            RemoveMouseHook(m_window);
    }
    m_canvas.reset();
    m_window = nullptr;
}

ResultCode CanvasBinding::SetLayerName(const char* name)
{
    if (!m_canvas || name == nullptr || *name == '\0')
        return ERROR_GENERAL_FAILURE;
    return m_canvas->SetLayerName(name);
}

ResultCode CanvasBinding::SetCanvasMode(CanvasMode mode)
{
    if (!m_canvas)
        return ERROR_GENERAL_FAILURE;
    if (mode == CanvasMode::Off)
        RemoveMouseHook(m_window);
    else
        InstallMouseHook(m_window, m_hook.get());
    return m_canvas->SetCanvasMode(mode);
}

ResultCode CanvasBinding::StartTool(ToolKind kind, const char* text)
{
    return m_canvas ? m_canvas->StartTool(kind, text) : ERROR_GENERAL_FAILURE;
}

void CanvasBinding::SetColour(uint8_t red, uint8_t green, uint8_t blue, bool redraw)
{
    if (m_canvas)
        m_canvas->SetColour(red, green, blue, redraw);
}

void CanvasBinding::SetScale(float pixels, float millimetres)
{
    if (m_canvas)
        m_canvas->SetScale(pixels, millimetres);
}

ResultCode CanvasBinding::MoveAll(int32_t dx, int32_t dy)
{
    return m_canvas ? m_canvas->MoveAll(dx, dy) : ERROR_GENERAL_FAILURE;
}

ResultCode CanvasBinding::DeleteShape(int32_t index)
{
    return m_canvas ? m_canvas->DeleteShape(index) : ERROR_GENERAL_FAILURE;
}

int32_t CanvasBinding::LastShapeIndex() const
{
    return m_canvas ? m_canvas->LastShapeIndex() : -1;
}

ResultCode CanvasBinding::ShapeLength(int32_t index, float& length) const
{
    return m_canvas ? m_canvas->ShapeLength(index, length) : ERROR_GENERAL_FAILURE;
}

void CanvasBinding::SetImageRect(const PixelRect& rect)
{
    if (m_canvas)
        m_canvas->SetImageRect(rect);
}

void CanvasBinding::Refresh()
{
    if (m_canvas)
        m_canvas->Refresh();
}

void CanvasBinding::RedrawAll()
{
    if (m_canvas)
        m_canvas->RedrawAll(true);
}

void CanvasBinding::PaintAnnotations(DrawContext& target, const ClientToPicture& mapping) const
{
    if (m_canvas)
        m_canvas->PaintAnnotations(target, mapping);
}

BindableCanvas* CanvasBinding::CanvasOf(const FramebufferWindow* window)
{
    return static_cast<BindableCanvas*>(GetWindowProperty(window, CANVAS_PROPERTY));
}

} // namespace velmora
