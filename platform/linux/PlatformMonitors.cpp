#include "PlatformMonitors.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

std::vector<platform::MonitorRect> platform::monitorRects()
{
    std::vector<MonitorRect> rects;
    // Screens are known only to a GUI application; without one there is no display to list.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return rects;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        const QRect g = screen->geometry();
        if (!g.isValid())
            continue;
        rects.push_back({g.x(), g.y(), g.width(), g.height()});
    }
    return rects;
}
