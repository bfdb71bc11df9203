#include "QProcessCommand.h"

#include "PlatformProcesses.h"
#include "QPath.h"

#include <QProcess>
#include <QProcessEnvironment>
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
    // Marked as ours, so that a stray sweep of a later start can tell whether we still live.
    const std::pair<std::string, std::string> mark = platform::childMark();
    if (!mark.first.empty()) {
        const QString name = QString::fromStdString(mark.first);
        // The caller's own environment is kept; one made here at an earlier start of the same
        // process object is taken afresh, so that a reused process sees today's environment.
        QProcessEnvironment environment = process.processEnvironment();
        if (environment.isEmpty() || environment.contains(name))
            environment = QProcessEnvironment::systemEnvironment();
        environment.insert(name, QString::fromStdString(mark.second));
        process.setProcessEnvironment(environment);
    }
    process.start(program, words, mode);
}

void QProcessCommand::endStrayEncoders()
{
    platform::endOrphanedProcesses((QPath::programFolder() + ENCODER).toStdWString());
}

bool QProcessCommand::startAndWait(QProcess& process, const QString& command)
{
    start(process, command);
    return process.waitForStarted(kStartTimeoutMs);
}
