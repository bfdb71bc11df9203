#pragma once

#include <string>
#include <vector>

namespace platform {

// Friendly names of the machine's video capture devices (cameras) in the order the system
// reports them; a name that occurs twice is listed twice. Empty when enumeration fails.
std::vector<std::wstring> videoInputDeviceNames();

} // namespace platform
