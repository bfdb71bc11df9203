#include "QPath.h"

#include <QDir>

namespace {

QString& folder()
{
    static QString value = QDir::currentPath() + QLatin1Char('/');
    return value;
}

} // namespace

const QString& QPath::programFolder()
{
    return folder();
}

void QPath::setProgramFolder(const QString& path)
{
    const QString cleaned = QDir::fromNativeSeparators(path);
    folder() = cleaned.endsWith(QLatin1Char('/')) ? cleaned : cleaned + QLatin1Char('/');
}
