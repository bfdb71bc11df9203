#include "PlatformWindow.h"

#include <windows.h>

bool platform::setForegroundWindow(std::uintptr_t nativeHandle)
{
    return SetForegroundWindow(reinterpret_cast<HWND>(nativeHandle)) != FALSE;
}

void platform::enableWindow(std::uintptr_t nativeHandle, bool enable)
{
    EnableWindow(reinterpret_cast<HWND>(nativeHandle), enable ? TRUE : FALSE);
}

bool platform::windowRectUnderCursor(WindowRect& rect)
{
    POINT point;
    if (!GetCursorPos(&point))
        return false;
    HWND found = ChildWindowFromPointEx(GetDesktopWindow(), point, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED);
    if (!found)
        return false;
    for (;;) {
        GetCursorPos(&point);
        ScreenToClient(found, &point);
        HWND child = ChildWindowFromPointEx(found, point, CWP_SKIPINVISIBLE);
        if (!child || child == found)
            break;
        found = child;
    }
    RECT r;
    if (!GetWindowRect(found, &r))
        return false;
    rect.x = r.left;
    rect.y = r.top;
    rect.width = r.right - r.left;
    rect.height = r.bottom - r.top;
    return true;
}

bool platform::translucentWindowsShown()
{
    return true;
}
