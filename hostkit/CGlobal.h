#pragma once

#include "HostkitGlobal.h"

#include <QString>

// Standard per-user folders and the location of the settings store.
class HOSTKIT_EXPORT CGlobal
{
public:
    static void init();
    static void release();

    // Writable per-user data folder; always ends with a separator.
    static const QString& getAppDataPath();
    static const QString& getDesktopPath();
    // Default folder for finished recordings.
    static const QString& getOutputPath();
    // The INI file behind CSetting.
    static const QString& getSettingsFile();

private:
    static void ensurePaths();
};
