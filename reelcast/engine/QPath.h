#pragma once

#include <QString>

class QPath
{
public:
    // The working directory at the first call with "/" appended; kept for the whole run.
    static const QString& programFolder();
};
