#include "PlatformWindow.h"

#include <windows.h>

bool platform::setForegroundWindow(std::uintptr_t nativeHandle)
{
    return SetForegroundWindow(reinterpret_cast<HWND>(nativeHandle)) != FALSE;
}
