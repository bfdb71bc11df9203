#pragma once

#include <QString>

class QPath
{
public:
    // The program folder with "/" appended, kept for the whole run: what setProgramFolder() gave,
    // otherwise the working directory at the first call (hosts of the engine other than the
    // program: tests and tools that run it from a folder of their own).
    static const QString& programFolder();
    // Fixes the program folder before anything asks for it. The program passes the system's own
    // (platform::programFolder(): on Linux the executable's folder).
    static void setProgramFolder(const QString& folder);
};
