// Mouse messages and the hook that sees them before the window does. A hook is an event filter
// on one window: it is called for every mouse move, press, release and double click, then the
// event goes on to the window unchanged. Key states use the bits of a desktop mouse message, so
// "exactly the left button" is `keys == KEY_LBUTTON`. Sits in the platform layer, on Qt.
#pragma once

#include <QObject>
#include <cstdint>

class QEvent;
class QWidget;

namespace velmora {

// Buttons held and modifier keys down during a mouse message.
enum KeyStateBits : uint32_t {
    KEY_LBUTTON = 0x0001,
    KEY_RBUTTON = 0x0002,
    KEY_SHIFT = 0x0004,
    KEY_CONTROL = 0x0008,
    KEY_MBUTTON = 0x0010,
};

enum class MouseAction { Move, LeftDown, LeftUp, RightDown, RightUp, LeftDoubleClick, Other };

struct MouseMessage {
    MouseAction action = MouseAction::Other;
    int32_t x = 0; // client coordinates
    int32_t y = 0;
    uint32_t keys = 0; // KeyStateBits after the event (a release no longer holds its button)
};

// The message for a mouse event; false for other events.
bool ToMouseMessage(const QEvent* event, MouseMessage& message);

class MouseHook {
public:
    virtual ~MouseHook() = default;
    virtual void OnMouseMessage(QWidget* window, const MouseMessage& message) = 0;
};

// Puts `hook` (not owned) in front of `window`'s own mouse handling, replacing an earlier hook.
void InstallMouseHook(QWidget* window, MouseHook* hook);
// Takes the hook away; the window's own handlers see the mouse directly again.
void RemoveMouseHook(QWidget* window);
// The hook in front of `window`, null when none.
MouseHook* InstalledMouseHook(const QWidget* window);

} // namespace velmora
