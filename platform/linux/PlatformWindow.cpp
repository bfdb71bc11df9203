#include "PlatformWindow.h"

#include <QWidget>

bool platform::setForegroundWindow(std::uintptr_t nativeHandle)
{
    // The window manager decides about focus here; raising and activating is the request it honours.
    QWidget* window = QWidget::find(static_cast<WId>(nativeHandle));
    if (!window)
        return false;
    window->raise();
    window->activateWindow();
    return true;
}
