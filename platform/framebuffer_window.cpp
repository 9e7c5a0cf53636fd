// The framebuffer window's paint cycle: invalid flag, erase, paint, present.
#include "platform/framebuffer_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace velmora {

FramebufferWindow::FramebufferWindow(QWidget* parent)
    : QWidget(parent)
{
    // The framebuffer covers every pixel: Qt need not clear behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void FramebufferWindow::Invalidate(Erase erase)
{
    Invalidate(ClientRect(), erase);
}

void FramebufferWindow::Invalidate(const PixelRect& rect, Erase erase)
{
    if (m_invalid) {
        m_invalidRect = { std::min(m_invalidRect.left, rect.left), std::min(m_invalidRect.top, rect.top),
            std::max(m_invalidRect.right, rect.right), std::max(m_invalidRect.bottom, rect.bottom) };
    } else {
        m_invalidRect = rect;
    }
    m_invalid = true;
    m_erase = m_erase || erase == Erase::Yes;
    update();
}

void FramebufferWindow::PaintNow()
{
    RunPaint();
    update();
}

void FramebufferWindow::UpdateNow()
{
    if (m_invalid)
        PaintNow();
}

void FramebufferWindow::PostRepaint()
{
    QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(REPAINT_EVENT)));
}

void FramebufferWindow::RunPaint()
{
    DrawContext dc(m_framebuffer);
    // Validate first: a paint handler that invalidates again is painted at the next cycle.
    const bool erase = m_erase;
    m_invalid = false;
    m_erase = false;
    m_invalidRect = {};
    if (m_framebuffer.isNull())
        return;
    if (erase)
        OnEraseBackground(dc);
    OnPaint(dc);
}

void FramebufferWindow::OnEraseBackground(DrawContext& dc)
{
    dc.Fill(dc.Bounds(), qRgb(0, 0, 0));
}

void FramebufferWindow::OnPaint(DrawContext&) { }

bool FramebufferWindow::event(QEvent* event)
{
    if (event->type() == static_cast<QEvent::Type>(REPAINT_EVENT)) {
        Invalidate(Erase::Yes);
        return true;
    }
    return QWidget::event(event);
}

void FramebufferWindow::paintEvent(QPaintEvent* event)
{
    if (m_invalid)
        RunPaint();
    QPainter painter(this);
    if (m_framebuffer.isNull())
        painter.fillRect(event->rect(), Qt::black);
    else
        painter.drawImage(event->rect(), m_framebuffer, event->rect());
}

void FramebufferWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (width() > 0 && height() > 0) {
        m_framebuffer = QImage(width(), height(), QImage::Format_RGB32);
        if (!m_framebuffer.isNull())
            m_framebuffer.fill(Qt::black);
    } else {
        m_framebuffer = QImage();
    }
    // A new size repaints the whole window, erasing first.
    Invalidate(Erase::Yes);
}

} // namespace velmora
