// FramebufferWindow: a child window whose client area is a 32-bit framebuffer. Drawing into the
// framebuffer (through Context()) is drawing into the window; paintEvent only presents it. The
// window keeps an invalid flag with an erase request, as the paint cycle of a desktop window
// does: Invalidate marks it and schedules a present; before presenting, the pending erase
// (OnEraseBackground) and paint (OnPaint) run into the framebuffer. PaintNow runs the paint at
// once (a synchronous repaint, used while dragging). Sits in the platform layer, on Qt.
#pragma once

#include "platform/draw_context.h"

#include <QImage>
#include <QWidget>

namespace velmora {

enum class Erase { No, Yes };

class FramebufferWindow : public QWidget {
    Q_OBJECT
public:
    explicit FramebufferWindow(QWidget* parent = nullptr);

    // The client area's pixels (Format_RGB32), always the window's size.
    QImage& Framebuffer() { return m_framebuffer; }
    const QImage& Framebuffer() const { return m_framebuffer; }
    // A context drawing into the framebuffer; what is drawn is shown at the next present.
    DrawContext Context() { return DrawContext(m_framebuffer); }
    PixelRect ClientRect() const { return { 0, 0, width(), height() }; }

    // Marks the window for repainting, optionally with erasing first.
    void Invalidate(Erase erase = Erase::Yes);
    // Marks a part of it (the paint still repaints what it paints; the erase covers the window's
    // erase rule).
    void Invalidate(const PixelRect& rect, Erase erase);
    // Runs a pending erase and the paint into the framebuffer now, whether or not anything was
    // invalid, and schedules the present.
    void PaintNow();
    // Runs the pending erase and paint now if the window is invalid (nothing otherwise).
    void UpdateNow();
    // Posts a repaint request: when it arrives, the whole window is invalidated with erasing.
    void PostRepaint();
    bool Invalid() const { return m_invalid; }
    PixelRect InvalidRect() const { return m_invalidRect; }

    // The event type of the posted repaint request.
    static constexpr int REPAINT_EVENT = 1024 + 1;

protected:
    // Default: fills the framebuffer black (the window's background).
    virtual void OnEraseBackground(DrawContext& dc);
    // Default: nothing.
    virtual void OnPaint(DrawContext& dc);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RunPaint();

    QImage m_framebuffer;
    bool m_invalid = false;
    bool m_erase = false;
    PixelRect m_invalidRect;
};

} // namespace velmora
