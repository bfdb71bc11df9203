#pragma once

#include <string>

namespace platform {

// Starts the start-up script of the program folder (screen.bat on Windows, screen.sh
// elsewhere) hidden and detached; a missing script or a failed start is ignored.
void startStartupScript(const std::wstring& programFolder);

} // namespace platform
