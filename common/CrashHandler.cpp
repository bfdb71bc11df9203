#include "CrashHandler.h"

#include "PlatformCrash.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>

namespace {

int* volatile nowhere = nullptr;

// Kept out of line so that a report names it as the faulting function.
[[gnu::noinline]] void crashTestFault()
{
    *nowhere = 1;
}

} // namespace

void installCrashHandler(const wchar_t* applicationName)
{
    platform::installCrashHandler(applicationName);
    if (!qEnvironmentVariableIsSet("REELCAST_CRASH_TEST") || !QCoreApplication::instance())
        return;
    const bool abort = qgetenv("REELCAST_CRASH_TEST") == "abort";
    QTimer::singleShot(0, QCoreApplication::instance(), [abort] {
        if (abort)
            std::abort();
        crashTestFault();
    });
}
