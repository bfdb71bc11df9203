#pragma once

// Installs the crash hand-over for this process (see platform::installCrashHandler): a crash
// starts the dump program "mindump.exe" of the current directory, which writes a report, and then
// ends the process. Call once, early, with QCoreApplication::applicationName().
//
// Test hook: with REELCAST_CRASH_TEST in the environment the process faults once its event loop
// runs (with the value "abort" it aborts), so the whole hand-over can be checked on the program.
void installCrashHandler(const wchar_t* applicationName);
