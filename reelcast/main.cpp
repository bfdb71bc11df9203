#include "PlatformSession.h"
#include "QMainApplication.h"

#include <QIcon>

int main(int argc, char* argv[])
{
    // The window class (the application name) and the desktop file name match the installed
    // reelcast.desktop, so that docks group the window with its launcher.
    // Before the application object picks its platform.
    platform::chooseInterfacePlatform();
    QCoreApplication::setApplicationName(QStringLiteral("reelcast"));
    QGuiApplication::setDesktopFileName(QStringLiteral("reelcast"));
    QMainApplication app(argc, argv);
    app.setWindowIcon(
        QIcon::fromTheme(QStringLiteral("reelcast"), QIcon(QStringLiteral(":/image/logo.about.png"))));
    return app.start();
}
