// Windows console test of the crash hand-over, run under wine. Plain C++ and Win32 only.
// The same program plays three parts: the test (no arguments), a crashing child ("--crash MODE",
// run in a folder of its own) and, copied into that folder as mindump.exe, the stub dump program
// that records what it was handed.

#include "PlatformCrash.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int failures = 0;

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            ++failures;                                                                                      \
            std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #cond);                                      \
        }                                                                                                    \
    } while (0)

std::wstring ownExePath()
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::wstring(buffer, n);
}

bool endsWith(const std::wstring& s, const std::wstring& tail)
{
    return s.size() >= tail.size() && _wcsicmp(s.c_str() + s.size() - tail.size(), tail.c_str()) == 0;
}

void writeFile(const std::wstring& path, const void* data, DWORD size)
{
    HANDLE f =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(f, data, size, &written, nullptr);
    CloseHandle(f);
}

std::string readFile(const std::wstring& path)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return std::string();
    std::string content(65536, '\0');
    DWORD got = 0;
    ReadFile(f, &content[0], static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(f);
    content.resize(got);
    return content;
}

DWORD get32(const std::string& data, size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}

// ---- the stub dump program -------------------------------------------------------------------

int runStubDump()
{
    const std::wstring line = GetCommandLineW();
    writeFile(L"stub-command-line.txt", line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)));
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Mapping_reelcastDumpData");
    if (mapping) {
        if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, platform::crashBlockSize)) {
            writeFile(L"stub-block.bin", view, platform::crashBlockSize);
            UnmapViewOfFile(view);
        }
        CloseHandle(mapping);
    }
    return 0;
}

// ---- the crashing child ----------------------------------------------------------------------

int* volatile nowhere = nullptr;

int runCrash(const std::string& mode)
{
    platform::installCrashHandler(L"reelcast");
    if (mode == "debug-print") {
        // The installed filter, asked directly: a debugger print is not its business.
        LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(nullptr);
        EXCEPTION_RECORD record{};
        CONTEXT context{};
        EXCEPTION_POINTERS pointers{&record, &context};
        int passed = 0;
        for (DWORD code : {DWORD(0x40010006), DWORD(0x4001000A)}) {
            record.ExceptionCode = code;
            if (filter && filter(&pointers) == EXCEPTION_CONTINUE_SEARCH)
                ++passed;
        }
        return passed == 2 ? 0 : 1;
    }
    const DWORD thread = GetCurrentThreadId();
    writeFile(L"crash-thread.txt", &thread, sizeof thread);
    *nowhere = 1;
    return 2;
}

// ---- the test --------------------------------------------------------------------------------

struct Child
{
    bool ended = false;
    DWORD exitCode = 0;
    DWORD pid = 0;
    ULONGLONG elapsedMs = 0;
};

Child runChild(const std::wstring& folder, const wchar_t* mode)
{
    std::wstring commandLine = L"\"" + ownExePath() + L"\" --crash " + mode;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    Child c;
    const ULONGLONG start = GetTickCount64();
    if (!CreateProcessW(ownExePath().c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &si, &pi))
        return c;
    c.pid = pi.dwProcessId;
    c.ended = WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
    c.elapsedMs = GetTickCount64() - start;
    if (!c.ended)
        TerminateProcess(pi.hProcess, 1);
    GetExitCodeProcess(pi.hProcess, &c.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return c;
}

std::wstring makeFolder(const std::wstring& tempDir, const wchar_t* name, bool withStub)
{
    const std::wstring folder = tempDir + L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    if (withStub)
        CopyFileW(ownExePath().c_str(), (folder + L"\\mindump.exe").c_str(), FALSE);
    return folder;
}

void testDebugPrintPassesThrough(const std::wstring& tempDir)
{
    const std::wstring folder = makeFolder(tempDir, L"debug print", true);
    const Child c = runChild(folder, L"debug-print");
    CHECK(c.ended);
    CHECK(c.exitCode == 0);
    // Nothing was handed over.
    CHECK(readFile(folder + L"\\stub-command-line.txt").empty());
}

void testAccessViolationIsHandedOver(const std::wstring& tempDir)
{
    const std::wstring folder = makeFolder(tempDir, L"access violation", true);
    const Child c = runChild(folder, L"access-violation");
    CHECK(c.ended);
    CHECK(c.exitCode == EXCEPTION_ACCESS_VIOLATION);

    const std::string line = readFile(folder + L"\\stub-command-line.txt");
    const std::wstring expected = L" reelcast Mapping_reelcastDumpData";
    CHECK(line.size() == expected.size() * sizeof(wchar_t) &&
          std::memcmp(line.data(), expected.data(), line.size()) == 0);
    const std::string block = readFile(folder + L"\\stub-block.bin");
    const std::string thread = readFile(folder + L"\\crash-thread.txt");
    CHECK(block.size() == platform::crashBlockSize);
    CHECK(thread.size() == 4);
    if (block.size() == platform::crashBlockSize && thread.size() == 4) {
        CHECK(get32(block, 0) == c.pid);
        CHECK(get32(block, 4) == get32(thread, 0));
        CHECK(get32(block, 8) != 0);
        CHECK(block.find_first_not_of('\0', 12) == std::string::npos);
    }
    // The block is gone with the crashed process.
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Mapping_reelcastDumpData");
    CHECK(mapping == nullptr);
    if (mapping)
        CloseHandle(mapping);
}

void testMissingDumpProgramEndsAtOnce(const std::wstring& tempDir)
{
    const std::wstring folder = makeFolder(tempDir, L"no dump program", false);
    const Child c = runChild(folder, L"access-violation");
    CHECK(c.ended);
    // A system error dialog (or a debugger) would keep the process alive instead.
    CHECK(c.exitCode == EXCEPTION_ACCESS_VIOLATION);
    std::printf("ended after %llu ms without a dump program\n", c.elapsedMs);
    CHECK(c.elapsedMs < 5000);
}

} // namespace

int main(int argc, char** argv)
{
    if (endsWith(ownExePath(), L"\\mindump.exe"))
        return runStubDump();
    if (argc > 2 && std::string(argv[1]) == "--crash")
        return runCrash(argv[2]);

    wchar_t tempPath[MAX_PATH];
    GetTempPathW(MAX_PATH, tempPath);
    const std::wstring tempDir =
        std::wstring(tempPath) + L"reelcast crash " + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(tempDir.c_str(), nullptr);

    const struct
    {
        const char* name;
        void (*run)(const std::wstring&);
    } groups[] = {
        {"debug print passes through", testDebugPrintPassesThrough},
        {"access violation is handed over", testAccessViolationIsHandedOver},
        {"missing dump program ends at once", testMissingDumpProgramEndsAtOnce},
    };
    for (const auto& group : groups) {
        const int before = failures;
        const ULONGLONG start = GetTickCount64();
        group.run(tempDir);
        std::printf("%s %s (%llu ms)\n", failures == before ? "PASS" : "FAIL", group.name,
                    static_cast<unsigned long long>(GetTickCount64() - start));
        std::fflush(stdout);
    }
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
