#include "PlatformProcesses.h"

#include <windows.h>
// tlhelp32.h needs the types of windows.h first.
#include <tlhelp32.h>

#include <map>

namespace {

struct Snapshot
{
    DWORD pid;
    DWORD parent;
    std::wstring exeName;
};

std::vector<Snapshot> snapshot()
{
    std::vector<Snapshot> result;
    HANDLE handle = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return result;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (Process32FirstW(handle, &entry)) {
        do {
            result.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
        } while (Process32NextW(handle, &entry));
    }
    CloseHandle(handle);
    return result;
}

bool sameIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// Creation time and full image path of `pid`; false when it cannot be opened.
bool processDetails(DWORD pid, ULONGLONG& created, std::wstring* image)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return false;
    FILETIME creation{}, exit{}, kernel{}, user{};
    bool ok = GetProcessTimes(process, &creation, &exit, &kernel, &user) != 0;
    created = (ULONGLONG(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
    if (ok && image) {
        wchar_t buffer[MAX_PATH * 4];
        DWORD size = DWORD(sizeof buffer / sizeof buffer[0]);
        ok = QueryFullProcessImageNameW(process, 0, buffer, &size) != 0;
        if (ok)
            image->assign(buffer, size);
    }
    CloseHandle(process);
    return ok;
}

std::wstring withBackSlashes(std::wstring path)
{
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

} // namespace

std::vector<platform::ProcessEntry> platform::runningProcesses()
{
    std::vector<ProcessEntry> result;
    for (const Snapshot& entry : snapshot()) {
        ProcessEntry process;
        process.pid = entry.pid;
        process.exeName = entry.exeName;
        result.push_back(process);
    }
    return result;
}

std::pair<std::string, std::string> platform::childMark()
{
    return {};
}

void platform::endOrphanedProcesses(const std::wstring& executablePath)
{
    const std::wstring path = withBackSlashes(executablePath);
    const std::wstring::size_type slash = path.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::vector<Snapshot> processes = snapshot();
    std::map<DWORD, bool> present;
    for (const Snapshot& entry : processes)
        present[entry.pid] = true;
    const DWORD self = GetCurrentProcessId();
    for (const Snapshot& entry : processes) {
        if (entry.pid == self || !sameIgnoringCase(entry.exeName, name))
            continue;
        ULONGLONG created = 0;
        std::wstring image;
        if (!processDetails(entry.pid, created, &image) || !sameIgnoringCase(image, path))
            continue;
        // Parent ids are not released with the parent: a process started later may hold it now.
        ULONGLONG parentCreated = 0;
        const bool parentLives = present.count(entry.parent) != 0 &&
                                 processDetails(entry.parent, parentCreated, nullptr) &&
                                 parentCreated <= created;
        if (parentLives)
            continue;
        const std::string command = "taskkill /pid " + std::to_string(entry.pid);
        WinExec(command.c_str(), SW_HIDE);
    }
}
