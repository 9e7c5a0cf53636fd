// Window properties as dynamic properties holding a pointer.
#include "platform/window_properties.h"

#include <QObject>
#include <QVariant>

namespace velmora {

bool SetWindowProperty(QObject* window, const char* name, void* value)
{
    if (window == nullptr || name == nullptr || *name == '\0' || value == nullptr)
        return false;
    window->setProperty(name, QVariant::fromValue(reinterpret_cast<quintptr>(value)));
    return true;
}

void* GetWindowProperty(const QObject* window, const char* name)
{
    if (window == nullptr || name == nullptr)
        return nullptr;
    const QVariant value = window->property(name);
    return value.isValid() ? reinterpret_cast<void*>(value.value<quintptr>()) : nullptr;
}

void* RemoveWindowProperty(QObject* window, const char* name)
{
    void* value = GetWindowProperty(window, name);
    if (value != nullptr)
        window->setProperty(name, QVariant());
    return value;
}

} // namespace velmora
