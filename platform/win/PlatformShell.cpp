#include "PlatformShell.h"

#include <windows.h>
#include <shellapi.h>

void platform::startStartupScript(const std::wstring& programFolder)
{
    ShellExecuteW(nullptr, L"open", L"screen.bat", nullptr, programFolder.c_str(), SW_HIDE);
}
