#include "QCameraManager.h"

#include "QPath.h"
#include "QProcessCommand.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"

#include <QProcess>
#include <QStringList>

namespace {

const int kKillWaitMs = 30000;

} // namespace

QCameraManager* QCameraManager::instance()
{
    static QCameraManager* manager = new QCameraManager();
    return manager;
}

QCameraManager::QCameraManager(QObject* parent) : QObject(parent)
{
    process_ = new QProcess(this);
    process_->setWorkingDirectory(QPath::programFolder());
    process_->setProcessChannelMode(QProcess::MergedChannels);
    connect(process_, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus) { onFinished(exitCode); });
    // Nobody reads the preview's console; keep the pipe from filling up.
    connect(process_, &QProcess::readyRead, process_, [this]() { process_->readAll(); });
}

QString QCameraManager::command(const QString& programFolder, const QString& name)
{
    return QStringLiteral("\"%1/vcamera.exe\" -f dshow -i video=%2  -preset ultrafast")
        .arg(programFolder, QProcessCommand::quoted(name));
}

void QCameraManager::start(const QString& name)
{
    if (running_)
        stop();
    stopping_ = false;
    running_ = QProcessCommand::startAndWait(*process_, command(QPath::programFolder(), name));
}

void QCameraManager::stop()
{
    stopping_ = true;
    if (process_->state() == QProcess::NotRunning)
        return;
    process_->write("quit\n");
    if (!process_->waitForFinished(quitTimeoutMs_) && process_->state() != QProcess::NotRunning) {
        // A preview that ignores "quit" must not stay beside the next one.
        process_->kill();
        process_->waitForFinished(kKillWaitMs);
    }
}

void QCameraManager::onFinished(int)
{
    running_ = false;
    if (stopping_)
        return;
    QVideoSettings::setCameraType(Off);
    emit refresh_camera();
}
