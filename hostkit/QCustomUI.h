#pragma once

#include "HostkitGlobal.h"

#include <QString>

// Look-related values shared by the host library's own windows.
class HOSTKIT_EXPORT QCustomUI
{
public:
    static void setAboutImage(const QString& path);
    static const QString& aboutImage();
};
