#pragma once

#include "HostkitGlobal.h"

#include <QString>
#include <QUrl>

class HOSTKIT_EXPORT QCommonMethod
{
public:
    // Opens the page called `name` that ships in the program's help folder; `extra` is
    // appended as the URL query when not empty. Returns whether a browser was asked to open it.
    static bool openUrl(const QString& name, const QString& extra);
    // The local page behind a name; the index page when there is no page of that name.
    static QUrl pageUrl(const QString& name, const QString& extra);
};
