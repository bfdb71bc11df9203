#pragma once

#include <string>

namespace platform {

// The program folder, ending with a separator: where the program's own files (the encoder,
// app.ini, the skin, the start-up script) are taken from. Windows: the current directory (the
// shortcut's "start in" folder). Elsewhere: the folder of the running executable, links resolved,
// so that a start from any directory finds the same files and nothing of that directory. Empty
// when it cannot be told.
std::wstring programFolder();

} // namespace platform
