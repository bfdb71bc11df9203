#include "TestEnvironment.h"

#include <QDir>
#include <QFile>

TestEnvironment::TestEnvironment()
{
    const QString h = dir_.path();
    for (const char* sub : {"config", "data", "Desktop", "Videos", "run"})
        QDir().mkpath(h + QLatin1Char('/') + QLatin1String(sub));
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", h.toUtf8());
    qputenv("XDG_CONFIG_HOME", (h + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (h + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtimeDir().toUtf8());
    // Without a user-dirs file Qt falls back to $HOME/Videos and $HOME/Desktop.
}

QString TestEnvironment::programDir()
{
    return QString::fromLocal8Bit(qgetenv("REELCAST_PROGRAM_DIR"));
}

QString TestEnvironment::sourceDir()
{
    return QString::fromLocal8Bit(qgetenv("REELCAST_SOURCE_DIR"));
}
