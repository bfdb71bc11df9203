#include "PlatformSession.h"

#include <cstdlib>
#include <cstring>

namespace {

bool detectWayland()
{
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type && *type)
        return std::strcmp(type, "wayland") == 0;
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display && *display;
}

} // namespace

bool platform::waylandSession()
{
    // Read once: the program itself changes the platform variable at its start.
    static const bool wayland = detectWayland();
    return wayland;
}

void platform::chooseInterfacePlatform()
{
    if (!waylandSession())
        return;
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen && *chosen)
        return;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
}
