#include "QProcessCommand.h"

#include "QPath.h"

#include <QProcess>
#include <QStringList>

namespace {

constexpr int kStartTimeoutMs = 30000;

} // namespace

const QString QProcessCommand::ENCODER = QStringLiteral("zrk_video_capture.exe");

QString QProcessCommand::encoderCommand(const QString& arguments)
{
    return quoted(QPath::programFolder() + ENCODER) + QLatin1Char(' ') + arguments;
}

QString QProcessCommand::quoted(const QString& text)
{
    // Inside a double-quoted argument, three double quotes stand for one literal quote when
    // the command string is split into arguments.
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void QProcessCommand::start(QProcess& process, const QString& command, QIODevice::OpenMode mode)
{
    QStringList words = QProcess::splitCommand(command);
    if (words.isEmpty())
        return;
    const QString program = words.takeFirst();
    process.start(program, words, mode);
}

bool QProcessCommand::startAndWait(QProcess& process, const QString& command)
{
    start(process, command);
    return process.waitForStarted(kStartTimeoutMs);
}
