#pragma once

#include <string>
#include <utility>
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

// An environment entry (name, value) that marks a child as started by this very process, so that
// a later sweep can tell a copy left behind by a dead program from the child of a live one. The
// name is empty where the system tells a process's parent without it (Windows).
std::pair<std::string, std::string> childMark();

// Asks the orphaned copies of the program file `executablePath` to end, without waiting: copies
// whose starter is gone, left behind by a program that crashed or was killed. A copy with a live
// parent (another program's encoder, an encoder's own helper) and the caller itself are never
// touched. Windows: a copy whose parent process no longer runs, by "taskkill /pid N" in a hidden
// window. Elsewhere: a process of the user's running that file (its executable or argv[0]) whose
// child mark names a program that has ended and whose parent does not carry the same mark (or,
// unmarked, whose parent is init), by SIGTERM, continued if it was stopped.
void endOrphanedProcesses(const std::wstring& executablePath);

} // namespace platform
