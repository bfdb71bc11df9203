#include "QPath.h"

#include <QDir>

const QString& QPath::programFolder()
{
    static const QString folder = QDir::currentPath() + QLatin1Char('/');
    return folder;
}
