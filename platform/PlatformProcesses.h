#pragma once

#include <string>
#include <vector>

namespace platform {

struct ProcessEntry
{
    unsigned long pid = 0;
    // Executable file name without folder, e.g. "zrk_video_capture.exe".
    std::wstring exeName;
};

// The running processes this user may end. Windows: every process of a Tool Help snapshot.
// Elsewhere: the processes of the same user, named by the base name of their argv[0] (so a
// program that execs another under its own name keeps that name), leaving out the camera
// preview's own feed (a child of vcamera.exe). Empty when it cannot be read.
std::vector<ProcessEntry> runningProcesses();

// Asks every process named `exeName` (ASCII case ignored) to end, without waiting for it.
// Windows: "taskkill /im NAME" in a hidden window. Elsewhere: SIGTERM to the user's own
// processes of that name, never to the caller itself.
void killProcessesNamed(const std::wstring& exeName);

} // namespace platform
