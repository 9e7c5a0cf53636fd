// Named properties of a window (pointer-sized values kept on the window object, as dynamic Qt
// properties), which the canvas binding uses to find its canvas from the window alone.
// Sits in the platform layer, on Qt.
#pragma once

class QObject;

namespace velmora {

// Sets property `name` to `value`; false when `name` is empty or `value` null.
bool SetWindowProperty(QObject* window, const char* name, void* value);
// The value, null when absent.
void* GetWindowProperty(const QObject* window, const char* name);
// Removes the property and returns its value (null when absent).
void* RemoveWindowProperty(QObject* window, const char* name);

} // namespace velmora
