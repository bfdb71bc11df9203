#pragma once

#include <cstdint>

namespace platform {

// Brings the top-level window with this native handle (a QWidget's winId()) to the foreground
// and gives it the input focus; false when no such window exists.
bool setForegroundWindow(std::uintptr_t nativeHandle);

// Rectangle in native screen pixels (root-window coordinates on X11).
struct WindowRect
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Excludes a window of this process from windowRectUnderCursor while disabled, so that an
// overlay covering the screen does not find itself. Windows: EnableWindow, which also refuses
// the window input until it is enabled again.
void enableWindow(std::uintptr_t nativeHandle, bool enable);

// The deepest visible window under the mouse pointer: the topmost top-level window there (disabled
// ones skipped), then its child controls down to the last one that contains the pointer. On X11 it
// is the client window, not the window manager's frame around it. False when there is none.
bool windowRectUnderCursor(WindowRect& rect);

// True when the desktop composes translucent windows over what lies below them. An X server
// without a compositing manager shows their transparent pixels black instead. Windows: always.
bool translucentWindowsShown();

} // namespace platform
