#pragma once

namespace platform {

// Size of the block handed to the dump program: process id at 0, crashing thread id at 4, a
// 32-bit address at 8 (Windows: the EXCEPTION_POINTERS record; elsewhere: the low 32 bits of the
// signal's ucontext), all little-endian, the rest zero.
constexpr unsigned crashBlockSize = 1024;

// Fills the crash context from the program folder and the application name, then installs the
// crash filter: on a crash the dump program "mindump.exe" of that folder is started with the
// command line " NAME MAPPING" and waited for (at most 10 minutes) while the block is shared under
// MAPPING; then the process ends. Windows: the current directory is the program folder, MAPPING is
// "Mapping_NAMEDumpData", the filter an unhandled-exception filter. Elsewhere: the executable's
// folder, MAPPING "Mapping_NAMEDumpData-UID-PID" (a file of /dev/shm created for the user alone,
// never through a link), handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT on an alternate
// stack, ending the process with the signal's default action. Call it once.
void installCrashHandler(const wchar_t* applicationName);

// Gives the calling thread a stack of its own for the crash handler, so that a thread whose stack
// overflowed is still handed over; it is freed when the thread ends. Every thread the program
// starts calls it first. Nothing to do on Windows.
void prepareCrashStack();

} // namespace platform
