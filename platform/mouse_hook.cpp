// The mouse hook: an event filter on the window that sees mouse events before the window does.
#include "platform/mouse_hook.h"

#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

namespace velmora {

namespace {

constexpr const char* HOOK_OBJECT_NAME = "velmora-mouse-hook";

uint32_t KeysOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    uint32_t keys = 0;
    if (buttons & Qt::LeftButton)
        keys |= KEY_LBUTTON;
    if (buttons & Qt::RightButton)
        keys |= KEY_RBUTTON;
    if (buttons & Qt::MiddleButton)
        keys |= KEY_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        keys |= KEY_SHIFT;
    if (modifiers & Qt::ControlModifier)
        keys |= KEY_CONTROL;
    return keys;
}

class HookFilter : public QObject {
public:
    HookFilter(QWidget* window, MouseHook* hook)
        : QObject(window)
        , m_window(window)
        , m_hook(hook)
    {
        setObjectName(HOOK_OBJECT_NAME);
    }
    MouseHook* Hook() const { return m_hook; }
    void SetHook(MouseHook* hook) { m_hook = hook; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        MouseMessage message;
        if (watched == m_window && m_hook != nullptr && ToMouseMessage(event, message))
            m_hook->OnMouseMessage(m_window, message);
        return false; // the window's own handlers always follow
    }

private:
    QWidget* m_window;
    MouseHook* m_hook;
};

HookFilter* FilterOf(const QWidget* window)
{
    return window ? window->findChild<HookFilter*>(HOOK_OBJECT_NAME, Qt::FindDirectChildrenOnly) : nullptr;
}

} // namespace

bool ToMouseMessage(const QEvent* event, MouseMessage& message)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease
        && type != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    const QPoint point = mouse->position().toPoint();
    message.x = point.x();
    message.y = point.y();
    message.keys = KeysOf(mouse->buttons(), mouse->modifiers());
    const Qt::MouseButton button = mouse->button();
    switch (type) {
    case QEvent::MouseMove:
        message.action = MouseAction::Move;
        break;
    case QEvent::MouseButtonPress:
        message.action = button == Qt::LeftButton ? MouseAction::LeftDown
            : button == Qt::RightButton           ? MouseAction::RightDown
                                                  : MouseAction::Other;
        break;
    case QEvent::MouseButtonRelease:
        message.action = button == Qt::LeftButton ? MouseAction::LeftUp
            : button == Qt::RightButton           ? MouseAction::RightUp
                                                  : MouseAction::Other;
        break;
    default:
        message.action = button == Qt::LeftButton ? MouseAction::LeftDoubleClick : MouseAction::Other;
        break;
    }
    return true;
}

void InstallMouseHook(QWidget* window, MouseHook* hook)
{
    if (window == nullptr)
        return;
    if (HookFilter* existing = FilterOf(window)) {
        existing->SetHook(hook);
        return;
    }
    window->installEventFilter(new HookFilter(window, hook));
}

void RemoveMouseHook(QWidget* window)
{
    if (HookFilter* existing = FilterOf(window)) {
        window->removeEventFilter(existing);
        delete existing;
    }
}

MouseHook* InstalledMouseHook(const QWidget* window)
{
    const HookFilter* existing = FilterOf(window);
    return existing ? existing->Hook() : nullptr;
}

} // namespace velmora
