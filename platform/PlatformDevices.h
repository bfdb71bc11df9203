#pragma once

#include <string>
#include <vector>

namespace platform {

// Friendly names of the machine's video capture devices (cameras) in the order the system
// reports them. Windows lists a name that occurs twice twice; Linux tells such cameras apart by
// " #2", " #3", ... as the encoder adapter names them. Empty when enumeration fails.
std::vector<std::wstring> videoInputDeviceNames();

} // namespace platform
