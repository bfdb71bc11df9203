// Windows console test of platform/win, run under wine. Plain C++ and Win32 only.
// Started with "--window-target" it is instead the process that a stray sweep has to end;
// "--spawn-target" starts one and ends, leaving it orphaned.

#include "PlatformChannel.h"
#include "PlatformDevices.h"
#include "PlatformFiles.h"
#include "PlatformHotKeys.h"
#include "PlatformMonitors.h"
#include "PlatformProcesses.h"
#include "PlatformShell.h"
#include "PlatformWindow.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

int failures = 0;

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            ++failures;                                                                                      \
            std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #cond);                                      \
        }                                                                                                    \
    } while (0)

#define CHECK_EQ(a, b)                                                                                       \
    do {                                                                                                     \
        const auto va = (a);                                                                                 \
        const auto vb = (b);                                                                                 \
        if (!(va == vb)) {                                                                                   \
            ++failures;                                                                                      \
            std::printf("FAIL %s:%d: %s == %s (%lld vs %lld)\n", __FILE__, __LINE__, #a, #b,                 \
                        static_cast<long long>(va), static_cast<long long>(vb));                             \
        }                                                                                                    \
    } while (0)

const wchar_t* const readyEventName = L"reelcast_platform_test_target_ready";

std::string narrow(const std::wstring& s)
{
    return std::string(s.begin(), s.end());
}

std::wstring ownExePath()
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::wstring(buffer, n);
}

std::wstring baseName(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void writeFile(const std::wstring& path, const std::string& content)
{
    HANDLE f =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(f);
}

bool waitFor(const std::wstring& path, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!exists(path)) {
        if (GetTickCount64() > end)
            return false;
        Sleep(20);
    }
    return true;
}

bool processRunning(const std::wstring& exeName)
{
    const auto list = platform::runningProcesses();
    return std::any_of(list.begin(), list.end(), [&](const platform::ProcessEntry& p) {
        return _wcsicmp(p.exeName.c_str(), exeName.c_str()) == 0;
    });
}

// taskkill runs detached; wait until no instance is left so its effect is complete.
void waitForTaskkill()
{
    const ULONGLONG end = GetTickCount64() + 10000;
    while (processRunning(L"taskkill.exe") && GetTickCount64() < end)
        Sleep(20);
}

unsigned long long absDiff(unsigned long long a, unsigned long long b)
{
    return a > b ? a - b : b - a;
}

// ---- files -----------------------------------------------------------------------------------

void testDiskFree(const std::wstring& tempDir)
{
    ULARGE_INTEGER available{}, total{}, free{};
    CHECK(GetDiskFreeSpaceExW(L"C:\\", &available, &total, &free));
    // Others write to the same disk meanwhile: compare with some slack.
    const unsigned long long slack = 512ull << 20;

    const unsigned long long root = platform::diskFreeBytes(L"C:/");
    CHECK(root > 0);
    CHECK(absDiff(root, free.QuadPart) < slack);
    CHECK(root <= total.QuadPart);
    // Only the drive letter counts: missing folders, backslashes and lower case all name C:.
    CHECK(absDiff(platform::diskFreeBytes(L"C:/no such folder/deeper/video.mp4"), root) < slack);
    CHECK(absDiff(platform::diskFreeBytes(L"c:\\no such folder"), root) < slack);
    CHECK(absDiff(platform::diskFreeBytes(tempDir), root) < slack);

    CHECK_EQ(platform::diskFreeBytes(L""), 0ull);
    CHECK_EQ(platform::diskFreeBytes(L"/tmp/video.mp4"), 0ull);
    CHECK_EQ(platform::diskFreeBytes(L"\\\\server\\share\\video.mp4"), 0ull);
    CHECK_EQ(platform::diskFreeBytes(L"Q:/video.mp4"), 0ull); // no such drive
}

void testCreateAndRemove(const std::wstring& tempDir)
{
    using platform::CreateFileResult;
    const std::wstring probe = tempDir + L"\\probe.tmp";
    CHECK(platform::createAndRemoveFile(probe) == CreateFileResult::Created);
    CHECK(!exists(probe));

    CHECK(platform::createAndRemoveFile(tempDir + L"\\missing folder\\probe.tmp") ==
          CreateFileResult::Failed);

    // A folder in the way holds the name.
    const std::wstring folder = tempDir + L"\\a folder";
    CHECK(CreateDirectoryW(folder.c_str(), nullptr));
    CHECK(platform::createAndRemoveFile(folder) == CreateFileResult::Exists);
    CHECK(exists(folder));
    RemoveDirectoryW(folder.c_str());

    // A file that is there, held open or not, is neither truncated nor removed.
    const std::wstring busy = tempDir + L"\\busy.tmp";
    writeFile(busy, "the user's own");
    CHECK(platform::createAndRemoveFile(busy) == CreateFileResult::Exists);
    HANDLE held =
        CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(held != INVALID_HANDLE_VALUE);
    CHECK(platform::createAndRemoveFile(busy) == CreateFileResult::Exists);
    CloseHandle(held);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    CHECK(GetFileAttributesExW(busy.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == 14);
    DeleteFileW(busy.c_str());
}

void testHiddenSystem(const std::wstring& tempDir)
{
    const std::wstring file = tempDir + L"\\marked.dat";
    writeFile(file, "x");
    CHECK(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    CHECK(platform::setHiddenSystem(file));
    const DWORD attributes = GetFileAttributesW(file.c_str());
    CHECK(attributes != INVALID_FILE_ATTRIBUTES);
    CHECK(attributes & FILE_ATTRIBUTE_HIDDEN);
    CHECK(attributes & FILE_ATTRIBUTE_SYSTEM);
    CHECK(attributes & FILE_ATTRIBUTE_READONLY); // added to, not replaced
    // Marking twice is harmless.
    CHECK(platform::setHiddenSystem(file));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file.c_str());

    CHECK(!platform::setHiddenSystem(tempDir + L"\\missing.dat"));
    CHECK(!platform::setHiddenSystem(L""));
}

// ---- processes -------------------------------------------------------------------------------

// The kill target: a hidden top-level window that ends the process when it is closed.
LRESULT CALLBACK targetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool startCopy(const std::wstring& exe, const std::wstring& option, PROCESS_INFORMATION& pi)
{
    std::wstring commandLine = L"\"" + exe + L"\" " + option;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    return CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi);
}

int runWindowTarget()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = targetProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ReelcastKillTarget";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"kill target", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!window)
        return 3;
    // Never outlive a failed test for long.
    SetTimer(window, 1, 30000, nullptr);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, readyEventName);
    if (ready) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER)
            return 4;
        DispatchMessageW(&msg);
    }
    return 0;
}

void testProcesses(const std::wstring& tempDir)
{
    const std::wstring self = baseName(ownExePath());
    const auto list = platform::runningProcesses();
    CHECK(list.size() > 1);
    const auto me = std::find_if(list.begin(), list.end(), [](const platform::ProcessEntry& p) {
        return p.pid == GetCurrentProcessId();
    });
    CHECK(me != list.end());
    if (me != list.end())
        CHECK(_wcsicmp(me->exeName.c_str(), self.c_str()) == 0);
    for (const auto& p : list)
        CHECK(p.exeName.find_first_of(L"\\/") == std::wstring::npos);

    // Copies of this program as a stray sweep sees them: one started by this test (its parent
    // lives) and one whose starter ended at once (an orphan). Only the orphan is ended.
    const std::wstring target = tempDir + L"\\Kill_Target.exe";
    CHECK(CopyFileW(ownExePath().c_str(), target.c_str(), FALSE));
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyEventName);
    PROCESS_INFORMATION child{};
    const bool started = startCopy(target, L"--window-target", child);
    CHECK(started);
    CHECK(!started || WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0);
    ResetEvent(ready);
    PROCESS_INFORMATION spawner{};
    CHECK(startCopy(target, L"--spawn-target", spawner));
    CHECK(WaitForSingleObject(spawner.hProcess, 10000) == WAIT_OBJECT_0);
    CHECK(WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0);
    DWORD orphanPid = 0;
    for (const auto& p : platform::runningProcesses()) {
        if (p.exeName == L"Kill_Target.exe" && p.pid != child.dwProcessId && p.pid != spawner.dwProcessId)
            orphanPid = p.pid;
    }
    CHECK(orphanPid != 0);
    HANDLE orphan =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, orphanPid);
    CHECK(orphan != nullptr);

    platform::endOrphanedProcesses(target);
    if (orphan) {
        const DWORD waited = WaitForSingleObject(orphan, 10000);
        CHECK(waited == WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(orphan, &code);
        CHECK_EQ(code, 0ul); // closed through its window, not by its own time-out
        if (waited != WAIT_OBJECT_0)
            TerminateProcess(orphan, 1);
        CloseHandle(orphan);
    }
    waitForTaskkill();
    if (started) {
        CHECK(WaitForSingleObject(child.hProcess, 500) == WAIT_TIMEOUT);
        TerminateProcess(child.hProcess, 1);
        WaitForSingleObject(child.hProcess, 10000);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    CloseHandle(spawner.hThread);
    CloseHandle(spawner.hProcess);
    CloseHandle(ready);
    DeleteFileW(target.c_str());

    // Naming the caller's own program must leave the caller running.
    platform::endOrphanedProcesses(ownExePath());
    waitForTaskkill();
    const auto after = platform::runningProcesses();
    CHECK(std::any_of(after.begin(), after.end(),
                      [](const platform::ProcessEntry& p) { return p.pid == GetCurrentProcessId(); }));
    // A program nobody runs is harmless.
    platform::endOrphanedProcesses(tempDir + L"\\no_such_program.exe");
    waitForTaskkill();
    CHECK(platform::childMark().first.empty());
}

// ---- devices, monitors, window, channel, shell -----------------------------------------------

void testDevices()
{
    // Without COM on the thread: initialised for the call and left uninitialised afterwards.
    const auto names = platform::videoInputDeviceNames();
    std::printf("video input devices: %u\n", static_cast<unsigned>(names.size()));
    for (const auto& name : names)
        CHECK(!name.empty());
    CHECK(platform::videoInputDeviceNames() == names);
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CHECK(hr == S_OK);
    if (SUCCEEDED(hr))
        CoUninitialize();

    // A thread already in the multithreaded apartment keeps it, and still gets the list.
    std::thread mta([&] {
        CHECK(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK);
        CHECK(platform::videoInputDeviceNames() == names);
        const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CHECK(again == S_FALSE);
        if (SUCCEEDED(again))
            CoUninitialize();
        CoUninitialize();
    });
    mta.join();

    // A thread in a single-threaded apartment keeps its own initialisation too.
    std::thread sta([&] {
        CHECK(CoInitialize(nullptr) == S_OK);
        CHECK(platform::videoInputDeviceNames() == names);
        const HRESULT again = CoInitialize(nullptr);
        CHECK(again == S_FALSE);
        if (SUCCEEDED(again))
            CoUninitialize();
        CoUninitialize();
    });
    sta.join();
}

void testMonitors()
{
    const auto rects = platform::monitorRects();
    std::printf("monitors: %u\n", static_cast<unsigned>(rects.size()));
    CHECK_EQ(static_cast<int>(rects.size()), GetSystemMetrics(SM_CMONITORS));
    for (const auto& r : rects) {
        CHECK(r.width > 0);
        CHECK(r.height > 0);
    }
    // The primary monitor sits at the origin of the virtual desktop.
    if (!rects.empty()) {
        const auto primary = std::find_if(rects.begin(), rects.end(), [](const platform::MonitorRect& r) {
            return r.left == 0 && r.top == 0;
        });
        CHECK(primary != rects.end());
        if (primary != rects.end()) {
            CHECK_EQ(primary->width, GetSystemMetrics(SM_CXSCREEN));
            CHECK_EQ(primary->height, GetSystemMetrics(SM_CYSCREEN));
        }
    }
}

void testForegroundWindow()
{
    CHECK(!platform::setForegroundWindow(0));
    CHECK(!platform::setForegroundWindow(0x7ffe1234u)); // no window with this handle

    HWND window = CreateWindowExW(0, L"STATIC", L"foreground", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    CHECK(window != nullptr);
    if (window) {
        CHECK(platform::setForegroundWindow(reinterpret_cast<std::uintptr_t>(window)));
        CHECK(GetForegroundWindow() == window);
        DestroyWindow(window);
        CHECK(!platform::setForegroundWindow(reinterpret_cast<std::uintptr_t>(window)));
    }
}

void testHotKeys()
{
    // Alt+F6 under its identifier 116; the message Windows posts for it decodes to that identifier.
    CHECK(platform::registerHotKey(116, platform::HotKeyAlt, VK_F6));
    CHECK(!platform::registerHotKey(116, platform::HotKeyAlt, VK_F6)); // identifier in use
    CHECK(PostThreadMessageW(GetCurrentThreadId(), WM_HOTKEY, 116, MAKELPARAM(MOD_ALT, VK_F6)));
    MSG msg{};
    CHECK(PeekMessageW(&msg, nullptr, WM_HOTKEY, WM_HOTKEY, PM_REMOVE));
    const platform::NativeEvent event = platform::decodeNativeEvent("windows_generic_MSG", &msg);
    CHECK(event.kind == platform::NativeEvent::HotKey);
    CHECK_EQ(event.hotKeyId, 116);
    CHECK(platform::decodeNativeEvent("xcb_generic_event_t", &msg).kind == platform::NativeEvent::Other);
    platform::unregisterHotKey(116);
    CHECK(platform::registerHotKey(116, platform::HotKeyAlt, VK_F6)); // free again
    platform::unregisterHotKey(116);

    MSG device{};
    device.message = WM_DEVICECHANGE;
    CHECK(platform::decodeNativeEvent("windows_generic_MSG", &device).kind ==
          platform::NativeEvent::DeviceChange);
    device.message = WM_KEYDOWN;
    CHECK(platform::decodeNativeEvent("windows_generic_MSG", &device).kind == platform::NativeEvent::Other);
}

// A window with a child control: the child is found at its centre, the parent beside it.
void testWindowUnderCursor()
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"under cursor", WS_POPUP | WS_VISIBLE, 200, 200, 300, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExW(0, L"BUTTON", L"child", WS_CHILD | WS_VISIBLE, 100, 70, 100, 60, parent,
                                 nullptr, nullptr, nullptr);
    CHECK(parent && child);
    if (!parent || !child)
        return;
    SetWindowPos(parent, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const struct
    {
        int x, y;
        platform::WindowRect expected;
    } cases[] = {
        {350, 300, {300, 270, 100, 60}},
        {220, 220, {200, 200, 300, 200}},
    };
    for (const auto& c : cases) {
        CHECK(SetCursorPos(c.x, c.y));
        platform::WindowRect r;
        CHECK(platform::windowRectUnderCursor(r));
        CHECK_EQ(r.x, c.expected.x);
        CHECK_EQ(r.y, c.expected.y);
        CHECK_EQ(r.width, c.expected.width);
        CHECK_EQ(r.height, c.expected.height);
    }
    const auto handle = reinterpret_cast<std::uintptr_t>(parent);
    platform::enableWindow(handle, false);
    CHECK(!IsWindowEnabled(parent));
    platform::enableWindow(handle, true);
    CHECK(IsWindowEnabled(parent));
    DestroyWindow(parent);
}

void testChannel()
{
    CHECK(platform::localChannelAddress("reelcast_win") == "reelcast_win");
}

void testStartupScript(const std::wstring& tempDir)
{
    // A program folder with a space in its name, as under "Program Files".
    const std::wstring folder = tempDir + L"\\program folder";
    CreateDirectoryW(folder.c_str(), nullptr);
    writeFile(folder + L"\\screen.bat", "@echo off\r\necho started> started.txt\r\n");
    platform::startStartupScript(folder + L"\\");
    // The script runs in the program folder.
    CHECK(waitFor(folder + L"\\started.txt", 10000));
    DeleteFileW((folder + L"\\started.txt").c_str());
    DeleteFileW((folder + L"\\screen.bat").c_str());

    // Without a script, or without the folder, nothing happens.
    platform::startStartupScript(folder + L"\\");
    platform::startStartupScript(tempDir + L"\\missing folder\\");
    RemoveDirectoryW(folder.c_str());
}

// The saved file reaches Explorer with back-slashes only, however it was written.
void testRevealCommand()
{
    const struct
    {
        const wchar_t* path;
        const wchar_t* command;
    } rows[] = {
        {L"C:/Users/me/Videos/a.mp4", L"explorer.exe /select, \"C:\\Users\\me\\Videos\\a.mp4\""},
        {L"C:\\Videos\\a.mp4", L"explorer.exe /select, \"C:\\Videos\\a.mp4\""},
        {L"C://Videos//a b.mp4", L"explorer.exe /select, \"C:\\Videos\\a b.mp4\""},
        {L"C:\\Videos\\\\x.mp4", L"explorer.exe /select, \"C:\\Videos\\x.mp4\""},
    };
    for (const auto& row : rows)
        CHECK(platform::explorerSelectCommand(row.path) == row.command);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--window-target")
        return runWindowTarget();
    if (argc > 1 && std::string(argv[1]) == "--spawn-target") {
        // Starts a window target and ends at once, leaving it without its parent.
        PROCESS_INFORMATION pi{};
        if (!startCopy(ownExePath(), L"--window-target", pi))
            return 3;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return 0;
    }

    wchar_t tempPath[MAX_PATH];
    GetTempPathW(MAX_PATH, tempPath);
    const std::wstring tempDir =
        std::wstring(tempPath) + L"reelcast platform " + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(tempDir.c_str(), nullptr);
    std::printf("temporary folder: %s\n", narrow(tempDir).c_str());

    const struct
    {
        const char* name;
        void (*run)(const std::wstring&);
    } groups[] = {
        {"disk free", testDiskFree},
        {"create and remove", testCreateAndRemove},
        {"hidden system", testHiddenSystem},
        {"processes", testProcesses},
        {"devices", [](const std::wstring&) { testDevices(); }},
        {"monitors", [](const std::wstring&) { testMonitors(); }},
        {"foreground window", [](const std::wstring&) { testForegroundWindow(); }},
        {"window under cursor", [](const std::wstring&) { testWindowUnderCursor(); }},
        {"channel", [](const std::wstring&) { testChannel(); }},
        {"hot keys", [](const std::wstring&) { testHotKeys(); }},
        {"startup script", testStartupScript},
        {"reveal command", [](const std::wstring&) { testRevealCommand(); }},
    };
    for (const auto& group : groups) {
        const int before = failures;
        const ULONGLONG start = GetTickCount64();
        group.run(tempDir);
        std::printf("%s %s (%llu ms)\n", failures == before ? "PASS" : "FAIL", group.name,
                    static_cast<unsigned long long>(GetTickCount64() - start));
        std::fflush(stdout);
    }

    RemoveDirectoryW(tempDir.c_str());
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
