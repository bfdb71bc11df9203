#pragma once

namespace platform {

// Whether the desktop session is a Wayland one, as the session told at the program's start
// (XDG_SESSION_TYPE, else WAYLAND_DISPLAY). There the program is an X client of XWayland, which
// sees neither the screen (its root is black) nor the windows of native clients. Windows: false.
bool waylandSession();

// Called before the application object exists. On a Wayland desktop the interface runs under
// XWayland, where windows are placed where asked and stay on top, unless the user chose another
// platform. Elsewhere nothing changes.
void chooseInterfacePlatform();

} // namespace platform
