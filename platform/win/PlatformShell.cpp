#include "PlatformShell.h"

// windows.h must come first: shellapi.h relies on its types.
#include <windows.h>

#include <shellapi.h>

void platform::startStartupScript(const std::wstring& programFolder)
{
    ShellExecuteW(nullptr, L"open", L"screen.bat", nullptr, programFolder.c_str(), SW_HIDE);
}

void platform::revealFile(const std::wstring& path)
{
    std::wstring command = explorerSelectCommand(path);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // Detached: Explorer lives on by itself; only the handles are given back.
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
