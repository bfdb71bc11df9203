#pragma once

#include <vector>

namespace platform {

// One monitor in virtual-desktop coordinates, the whole monitor (taskbar/panels included).
struct MonitorRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The monitors in the system's enumeration order; a monitor whose geometry cannot be read is
// skipped. Empty when there is no display.
std::vector<MonitorRect> monitorRects();

} // namespace platform
