#include "PlatformShell.h"

#include <shellapi.h>
#include <windows.h>

void platform::startStartupScript(const std::wstring& programFolder)
{
    ShellExecuteW(nullptr, L"open", L"screen.bat", nullptr, programFolder.c_str(), SW_HIDE);
}
