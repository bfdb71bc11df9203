#include "PlatformCrash.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstring>
#include <cwchar>

namespace {

constexpr DWORD debugPrint = 0x40010006;     // DBG_PRINTEXCEPTION_C
constexpr DWORD debugPrintWide = 0x4001000A; // DBG_PRINTEXCEPTION_WIDE_C
constexpr DWORD dumpWaitMs = 600000;

// Set once by installCrashHandler. Each value is kept twice and the copies are compared before
// use, so that memory the crash has overwritten never starts a program from garbage.
struct CrashContext
{
    wchar_t dumpProgram[2][MAX_PATH];
    wchar_t mappingName[2][MAX_PATH];
    DWORD processId[2];
    wchar_t commandLine[MAX_PATH];
};

CrashContext context;

// Serialises crashes on several threads; ready before main runs.
struct CrashLock
{
    CRITICAL_SECTION section;
    CrashLock() { InitializeCriticalSection(&section); }
} crashLock;

void put32(unsigned char* at, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool contextIntact()
{
    return std::wcscmp(context.dumpProgram[0], context.dumpProgram[1]) == 0 &&
           std::wcscmp(context.mappingName[0], context.mappingName[1]) == 0 &&
           context.processId[0] == context.processId[1];
}

LONG handOver(EXCEPTION_POINTERS* pointers)
{
    const DWORD code = pointers && pointers->ExceptionRecord ? pointers->ExceptionRecord->ExceptionCode : 0;
    if (code == debugPrint || code == debugPrintWide)
        return EXCEPTION_CONTINUE_SEARCH;
    if (!contextIntact())
        return EXCEPTION_EXECUTE_HANDLER;

    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        platform::crashBlockSize, context.mappingName[0]);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0) : nullptr;
    if (view) {
        auto* block = static_cast<unsigned char*>(view);
        std::memset(block, 0, platform::crashBlockSize);
        put32(block, context.processId[0]);
        put32(block + 4, GetCurrentThreadId());
        put32(block + 8, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pointers)));
    }

    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line.
    wchar_t commandLine[MAX_PATH];
    std::wcscpy(commandLine, context.commandLine);
    if (CreateProcessW(context.dumpProgram[0], commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, dumpWaitMs);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
    return EXCEPTION_EXECUTE_HANDLER;
}

LONG WINAPI crashFilter(EXCEPTION_POINTERS* pointers)
{
    EnterCriticalSection(&crashLock.section);
    const LONG result = handOver(pointers);
    LeaveCriticalSection(&crashLock.section);
    return result;
}

} // namespace

void platform::installCrashHandler(const wchar_t* applicationName)
{
    const wchar_t* name = applicationName ? applicationName : L"";
    wchar_t program[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, program);
    PathAppendW(program, L"mindump.exe");
    wchar_t mapping[MAX_PATH] = {};
    _snwprintf(mapping, MAX_PATH - 1, L"Mapping_%lsDumpData", name);
    for (int i = 0; i < 2; ++i) {
        std::wcscpy(context.dumpProgram[i], program);
        std::wcscpy(context.mappingName[i], mapping);
        context.processId[i] = GetCurrentProcessId();
    }
    _snwprintf(context.commandLine, MAX_PATH - 1, L" %ls %ls", name, mapping);
    SetUnhandledExceptionFilter(crashFilter);
}

void platform::prepareCrashStack() {}
