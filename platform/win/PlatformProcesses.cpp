#include "PlatformProcesses.h"

#include <windows.h>
// tlhelp32.h needs the types of windows.h first.
#include <tlhelp32.h>

std::vector<platform::ProcessEntry> platform::runningProcesses()
{
    std::vector<ProcessEntry> result;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return result;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (Process32FirstW(snapshot, &entry)) {
        do {
            ProcessEntry process;
            process.pid = entry.th32ProcessID;
            process.exeName = entry.szExeFile;
            result.push_back(process);
        } while (Process32NextW(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return result;
}

void platform::killProcessesNamed(const std::wstring& exeName)
{
    const int length = WideCharToMultiByte(CP_ACP, 0, exeName.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return;
    std::string name(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, exeName.c_str(), -1, &name[0], length, nullptr, nullptr);
    name.resize(static_cast<size_t>(length - 1));
    const std::string command = "taskkill /im " + name;
    WinExec(command.c_str(), SW_HIDE);
}
