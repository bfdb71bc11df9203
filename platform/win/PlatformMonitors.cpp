#include "PlatformMonitors.h"

#include <windows.h>

namespace {

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    auto* rects = reinterpret_cast<std::vector<platform::MonitorRect>*>(data);
    MONITORINFO info;
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info)) {
        const RECT& r = info.rcMonitor;
        rects->push_back({r.left, r.top, r.right - r.left, r.bottom - r.top});
    }
    // Go on whatever happened to this monitor.
    return TRUE;
}

} // namespace

std::vector<platform::MonitorRect> platform::monitorRects()
{
    std::vector<MonitorRect> rects;
    HDC screen = GetDC(nullptr);
    EnumDisplayMonitors(screen, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&rects));
    ReleaseDC(nullptr, screen);
    return rects;
}
