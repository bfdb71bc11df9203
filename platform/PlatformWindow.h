#pragma once

#include <cstdint>

namespace platform {

// Brings the top-level window with this native handle (a QWidget's winId()) to the foreground
// and gives it the input focus; false when no such window exists.
bool setForegroundWindow(std::uintptr_t nativeHandle);

} // namespace platform
