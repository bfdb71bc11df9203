#include "PlatformShell.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>

void platform::startStartupScript(const std::wstring& programFolder)
{
    const QString folder = QString::fromStdWString(programFolder);
    const QString script = QDir(folder).filePath(QStringLiteral("screen.sh"));
    if (!QFileInfo(script).isFile())
        return;
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({script});
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.startDetached();
}
