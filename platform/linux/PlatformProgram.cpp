#include "PlatformProgram.h"

#include <QFile>
#include <QFileInfo>

std::wstring platform::programFolder()
{
    const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (executable.isEmpty())
        return std::wstring();
    return (QFileInfo(executable).path() + QLatin1Char('/')).toStdWString();
}
