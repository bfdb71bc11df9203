#include "CGlobal.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

namespace {

// The folder name is fixed rather than taken from the application name, so the program,
// its helper programs and the tests all share one store.
const char* const kFolderName = "reelcast";

struct Paths
{
    bool ready = false;
    QString appData;
    QString desktop;
    QString output;
    QString settings;
};

Paths& paths()
{
    static Paths p;
    return p;
}

QMutex& pathsMutex()
{
    static QMutex m;
    return m;
}

QString withSeparator(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

} // namespace

void CGlobal::ensurePaths()
{
    QMutexLocker lock(&pathsMutex());
    Paths& p = paths();
    if (p.ready)
        return;

    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    p.appData = withSeparator(data + QLatin1Char('/') + QLatin1String(kFolderName));
    QDir().mkpath(p.appData);

    p.desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (p.desktop.isEmpty())
        p.desktop = QDir::homePath();

    p.output = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (p.output.isEmpty())
        p.output = QDir::homePath() + QStringLiteral("/Videos");

    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    p.settings = config + QLatin1Char('/') + QLatin1String(kFolderName) + QStringLiteral("/reelcast.ini");
    p.ready = true;
}

void CGlobal::init()
{
    ensurePaths();
    // A first recording must find its default folder; the user may not have one yet.
    QDir().mkpath(paths().output);
}

void CGlobal::release() {}

const QString& CGlobal::getAppDataPath()
{
    ensurePaths();
    return paths().appData;
}

const QString& CGlobal::getDesktopPath()
{
    ensurePaths();
    return paths().desktop;
}

const QString& CGlobal::getOutputPath()
{
    ensurePaths();
    return paths().output;
}

const QString& CGlobal::getSettingsFile()
{
    ensurePaths();
    return paths().settings;
}
