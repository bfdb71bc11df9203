#include "QMediaManager.h"

#include "LogCategories.h"
#include "QCommandLine.h"
#include "QEventManager.h"
#include "QGlobalSettings.h"
#include "QMarkSettings.h"
#include "QPath.h"
#include "QProcessCommand.h"
#include "QProcessStop.h"
#include "QRecordLog.h"
#include "QRecordSafety.h"
#include "QVideoSettings.h"
#include "TaskPool.h"
#include "Utilities.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegExp>
#include <QSet>

#include <chrono>
#include <thread>

namespace {

const char* const kTimeFormat = "yyyy-MM-dd-hh-mm-ss";
constexpr int kPollMs = 200;
// A run whose encoder died keeps its segment once the encoder reported this many seconds: by
// then the segment holds pictures a reader can use.
constexpr int kKeptSeconds = 2;

QMediaManager* g_instance = nullptr;

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

QString separator()
{
    return QString(QDir::separator());
}

// A path in the concat list: single-quoted, with a single quote inside escaped as '\''.
QString concatPath(const QString& path)
{
    QString inner = path;
    inner.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

QFileInfoList segmentsOf(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    QFileInfoList list =
        QDir(folder).entryInfoList({QStringLiteral("*.bak")}, QDir::Files | QDir::NoSymLinks, QDir::Time);
    std::reverse(list.begin(), list.end());
    return list;
}

QSet<QString> segmentNames(const QString& folder)
{
    QSet<QString> names;
    for (const QFileInfo& fi : segmentsOf(folder))
        names.insert(fi.fileName());
    return names;
}

// Changes while an encoder still writes its segment: sizes and modification times together, so
// that rewriting a file in place counts too.
qint64 segmentActivity(const QString& folder)
{
    qint64 sum = 0;
    for (const QFileInfo& fi : segmentsOf(folder))
        sum += fi.size() + fi.lastModified().toMSecsSinceEpoch();
    return sum;
}

// The log the failure message sends the user to gets the cause; so do the diagnostics.
void logFailure(const QString& cause, const QByteArray& output = QByteArray())
{
    QRecordLog::writeFailure(cause, output);
    qCWarning(lcEngine).noquote() << cause;
}

QString exitText(const QProcess& process)
{
    if (process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("killed or crashed");
    return QStringLiteral("exit code %1").arg(process.exitCode());
}

// Clears a flag when the scope is left, however it is left.
struct ClearOnExit
{
    std::atomic<bool>& flag;
    ~ClearOnExit() { flag = false; }
};

} // namespace

QMediaManager* QMediaManager::instance()
{
    if (!g_instance)
        g_instance = new QMediaManager();
    return g_instance;
}

void QMediaManager::release()
{
    delete g_instance;
    g_instance = nullptr;
}

QMediaManager::QMediaManager()
{
    TaskPool::instance()->start(5);
    QEventManager::instance()->registerObject(MediaManager, this);
    connect(this, &QMediaManager::record_finished, this, &QMediaManager::onRecordFinished);
    QMarkSettings::refresh();
}

QMediaManager::~QMediaManager()
{
    mergeGo_ = false;
    saveGo_ = false;
    closing_ = true;
    stop();
    TaskPool::instance()->shutdown();
}

void QMediaManager::start()
{
    if (busy_)
        return;
    workFolder_ = freshWorkFolder();
    mergedFile_.clear();
    mergeCreatedFolder_.clear();
    failed_ = false;
    busy_ = true;
    run_ = true;
    totalSeconds_ = 0;
    currentSeconds_ = 0;
    saveGo_ = false;
    mergeGo_ = false;
    state_ = Recording;
    QRecordLog::create();
    const int generation = ++generation_;
    TaskPool::instance()->post([this, generation] { recordRun(generation); });
}

void QMediaManager::pause()
{
    if (state_ != Recording)
        return;
    run_ = false;
    state_ = Paused;
}

void QMediaManager::resume()
{
    if (!busy_ || state_ != Paused)
        return;
    run_ = true;
    state_ = Recording;
    const int generation = ++generation_;
    TaskPool::instance()->post([this, generation] { recordRun(generation); });
}

void QMediaManager::stop()
{
    // Nothing to stop, or a stop is under way already: a second merge would race the first.
    if (!busy_ || state_ == Stopped)
        return;
    TaskPool::instance()->post([this] { mergeRun(); });
    run_ = false;
    if (state_ == Paused)
        emit record_finished(true, QString());
    state_ = Stopped;
}

void QMediaManager::save()
{
    TaskPool::instance()->post([this] { saveRun(); });
}

void QMediaManager::cleanup()
{
    QRecordLog::discard();
    TaskPool::instance()->post([this] { removeWorkFiles(); });
}

void QMediaManager::setRect(const QRect& rect)
{
    rect_ = rect;
}

QRect QMediaManager::rect() const
{
    return rect_;
}

bool QMediaManager::isIdle() const
{
    return !busy_;
}

int QMediaManager::elapsedSeconds() const
{
    return currentSeconds_;
}

int QMediaManager::state() const
{
    return state_;
}

qint64 QMediaManager::backupSize() const
{
    if (!busy_)
        return 0;
    qint64 total = 0;
    for (const QFileInfo& fi : segmentsOf(workFolder_))
        total += fi.size();
    return total;
}

QString QMediaManager::savedFile() const
{
    return savedFile_;
}

QString QMediaManager::workFolder() const
{
    return workFolder_;
}

bool QMediaManager::isFileValid(const QString& path)
{
    const QFileInfo fi(path);
    return fi.exists() && fi.size() > 0;
}

bool QMediaManager::runWanted(int generation) const
{
    return run_ && generation == generation_;
}

QString QMediaManager::freshWorkFolder() const
{
    const QString base = QVideoSettings::getSavePath() + separator() + QGlobalSettings::appName();
    QDir dir;
    if (!dir.mkpath(base)) {
        dir.mkdir(base);
        setHiddenSystem(base.toStdWString());
    }
    const QString stamp = base + separator() + QDateTime::currentDateTime().toString(kTimeFormat);
    // Two recordings started within one second must not share a folder: the second would
    // merge the first one's files into its own.
    QString folder = stamp;
    for (int n = 1; !QDir(folder).isEmpty() && n < 100; ++n)
        folder = stamp + QStringLiteral("-%1").arg(n);
    if (!QFileInfo::exists(folder))
        dir.mkpath(folder);
    return folder;
}

void QMediaManager::recordRun(int generation)
{
    // A run never overlaps the previous one of the same recording: wait for it to end.
    bool idle = false;
    while (!runActive_.compare_exchange_weak(idle, true)) {
        idle = false;
        if (closing_)
            return;
        sleepMs(50);
    }
    ClearOnExit clearActive{runActive_};
    failed_ = false;

    QString message;
    QString failureCause;
    bool success = false;
    bool encoderDied = false;
    int lastSeconds = 0;
    QSet<QString> before;

    QProcess process;
    process.setWorkingDirectory(QPath::programFolder());
    process.setProcessChannelMode(QProcess::MergedChannels);

    if (!QFileInfo(QVideoSettings::getSavePath()).isDir()) {
        message = tr("视频保存目录不存在！");
        logFailure(QStringLiteral("Recording failed: the save folder \"%1\" does not exist")
                       .arg(QVideoSettings::getSavePath()));
    } else {
        // Segment files are named after the second their run starts; a quick pause and resume
        // must not reuse (and overwrite) the previous segment's name.
        const QDateTime started = QDateTime::currentDateTime();
        const QString now = started.toString(kTimeFormat);
        for (int i = 0; i < 12 && QFileInfo::exists(QCommandLine::segmentFile(workFolder_, started)) &&
                        QDateTime::currentDateTime().toString(kTimeFormat) == now;
             ++i)
            sleepMs(100);
        before = segmentNames(workFolder_);
        const QString arguments = QCommandLine::build(workFolder_, rect_);
        if (QCommandLine::hasError()) {
            message = QCommandLine::errorString();
            logFailure(QStringLiteral("Recording failed: ") + message);
        } else {
            if (!QProcessCommand::startAndWait(process, QProcessCommand::encoderCommand(arguments))) {
                message = tr("ffmpeg进程启动失败！");
                logFailure(
                    QStringLiteral("Recording failed: the encoder \"%1\" did not start: %2")
                        .arg(QPath::programFolder() + QProcessCommand::ENCODER, process.errorString()));
            } else {
                QRecordLog::beginRun();
                const QRegExp timePattern(QStringLiteral("\\d{2}:\\d{2}:\\d{2}"));
                // The end of the console output, for the cause of a failure.
                QByteArray tail;
                auto keepTail = [&tail](const QByteArray& bytes) {
                    tail = (tail + bytes).right(8192);
                    return bytes;
                };
                // An encoder that ignores "q" is terminated, then killed, once its segments stop
                // changing (or after the finish limit).
                QProcessStop stopper(process);
                while (process.state() != QProcess::NotRunning && !process.waitForFinished(kPollMs)) {
                    if (!runWanted(generation))
                        stopper.poll(segmentActivity(workFolder_));
                    const QString text = QString::fromUtf8(keepTail(process.readAll()));
                    const int at = timePattern.indexIn(text);
                    if (at >= 0) {
                        const QStringList parts = timePattern.cap(0).split(QLatin1Char(':'));
                        if (parts.size() == 3) {
                            lastSeconds = parts[0].toInt() * 3600 + parts[1].toInt() * 60 + parts[2].toInt();
                            currentSeconds_ = totalSeconds_ + lastSeconds;
                            emit time_changed(quint32(currentSeconds_));
                        }
                    }
                    QRecordLog::writeFiltered(text);
                }
                process.waitForFinished(10000);
                if (runWanted(generation)) {
                    QRecordLog::write(keepTail(process.readAll()));
                    message = tr("视频录制失败，详情请查看错误日志！");
                    encoderDied = true;
                    failureCause = QStringLiteral("Recording failed: the encoder ended by itself (%1) while "
                                                  "recording into \"%2\"; its last lines: %3")
                                       .arg(exitText(process), workFolder_, QRecordLog::lastLines(tail));
                } else {
                    QRecordLog::writeFiltered(QString::fromUtf8(process.readAll()));
                    totalSeconds_ += lastSeconds;
                    currentSeconds_ = int(totalSeconds_);
                    process.waitForFinished(kPollMs);
                    success = true;
                }
                QRecordLog::endRun();
                if (!failureCause.isEmpty())
                    logFailure(failureCause);
            }
        }
    }

    if (!success) {
        state_ = Stopped;
        failed_ = true;
        // Only what this run wrote goes; segments of earlier runs stay on disk, and so does what
        // a dying encoder left after a while of recording, so that it can be saved.
        if (!encoderDied || lastSeconds < kKeptSeconds) {
            for (const QString& name : segmentNames(workFolder_) - before)
                QFile::remove(workFolder_ + separator() + name);
        }
        if (!workFolder_.isEmpty() && QDir(workFolder_).isEmpty())
            QDir().rmdir(workFolder_);
    }
    emit record_finished(success, message);
}

void QMediaManager::onRecordFinished(bool ok, QString msg)
{
    if (ok)
        return;
    busy_ = false;
    run_ = false;
    state_ = Stopped;
    QRecordLog::close();
    emit record_error(msg);
}

QString QMediaManager::mergeFolder()
{
    const QString savePath = QVideoSettings::getSavePath();
    if (workFolder_.startsWith(savePath))
        return workFolder_;
    mergeCreatedFolder_ = freshWorkFolder();
    return mergeCreatedFolder_;
}

void QMediaManager::mergeRun()
{
    ClearOnExit clearBusy{busy_};

    mergeGo_ = true;
    // Only our own run is waited for, never a process of another program under the same name.
    while (!closing_ && runActive_ && mergeGo_)
        sleepMs(kPollMs);

    const QFileInfoList segments = QRecordSafety::segments(workFolder_, mergedPrefix());
    if (segments.isEmpty()) {
        // Nothing to save: the folder vanished, or every run failed (and said why already).
        failed_ = true;
        logFailure(QStringLiteral("Save failed: the work folder \"%1\" %2")
                       .arg(workFolder_, QFileInfo(workFolder_).isDir() ? QStringLiteral("holds no segment")
                                                                        : QStringLiteral("does not exist")));
        return;
    }
    mergedFile_ = mergeFolder() + separator() + tr("Rec %1").arg(segments.first().fileName());

    if (segments.size() == 1) {
        QFile::remove(mergedFile_);
        QFile segment(segments.first().filePath());
        if (!segment.rename(mergedFile_)) {
            // Copy across file systems; the segment stays until the recording is cleaned up.
            QFile source(segments.first().filePath());
            if (!source.copy(mergedFile_)) {
                failed_ = true;
                logFailure(QStringLiteral("Save failed: cannot move \"%1\" to \"%2\": %3")
                               .arg(source.fileName(), mergedFile_, source.errorString()));
            }
        }
        return;
    }

    const QString listFile = workFolder_ + separator() + QStringLiteral("concat.txt");
    QFile list(listFile);
    if (!checkStarted(list.open(QIODevice::WriteOnly | QIODevice::Truncate))) {
        logFailure(QStringLiteral("Save failed: cannot write the segment list \"%1\": %2")
                       .arg(listFile, list.errorString()));
        return;
    }
    struct RemoveList
    {
        QString path;
        ~RemoveList() { QFile::remove(path); }
    } removeList{listFile};
    for (const QFileInfo& segment : segments) {
        const QString line =
            QStringLiteral("file %1\r\n").arg(concatPath(workFolder_ + separator() + segment.fileName()));
        list.write(line.toUtf8());
    }
    list.close();

    QProcess process;
    process.setWorkingDirectory(QPath::programFolder());
    // FFmpeg tells why a merge failed on standard error.
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString command = QProcessCommand::encoderCommand(
        QStringLiteral("-y -f concat -safe 0 -i %1 -c copy -f %2 %3")
            .arg(QProcessCommand::quoted(listFile), QCommandLine::formatName(),
                 QProcessCommand::quoted(mergedFile_)));
    if (!checkStarted(QProcessCommand::startAndWait(process, command))) {
        logFailure(QStringLiteral("Save failed: the encoder \"%1\" did not start for the merge: %2")
                       .arg(QPath::programFolder() + QProcessCommand::ENCODER, process.errorString()));
        return;
    }
    while (!process.waitForFinished(kPollMs) && process.state() != QProcess::NotRunning && mergeGo_) {
    }
    if (mergeGo_) {
        process.waitForFinished(kPollMs);
        const QByteArray output = process.readAll();
        if (!checkOutput(isFileValid(mergedFile_), output))
            logFailure(
                QStringLiteral("Save failed: the merge left %1 \"%2\" (encoder %3); its last lines: %4")
                    .arg(QFileInfo::exists(mergedFile_) ? QStringLiteral("an empty file")
                                                        : QStringLiteral("no file"),
                         mergedFile_, exitText(process), QRecordLog::lastLines(output)));
    } else {
        process.write("q\r\n");
        process.waitForFinished(1000);
    }
}

bool QMediaManager::checkStarted(bool started)
{
    if (!started)
        failed_ = true;
    return started;
}

bool QMediaManager::checkOutput(bool valid, const QByteArray& output)
{
    if (!valid) {
        failed_ = true;
        QRecordLog::writeError(output);
    }
    return valid;
}

void QMediaManager::saveRun()
{
    saveGo_ = true;
    while (busy_ && saveGo_)
        sleepMs(kPollMs);
    if (!saveGo_)
        return;
    bool ok = !failed_;
    if (ok) {
        const QString finalFile = QVideoSettings::getSavePath() + separator() + tr("Vexlo录屏") +
                                  QDateTime::currentDateTime().toString(kTimeFormat) + QLatin1Char('.') +
                                  QCommandLine::formatName();
        // Renamed into place where it can be: a copy needs the room of the whole recording once
        // more. The merged file stays where it is when that fails, so nothing is lost.
        QFile merged(mergedFile_);
        // A file of that name that was there before is not ours to remove.
        const bool finalExisted = QFileInfo::exists(finalFile);
        QString cause;
        if (!isFileValid(mergedFile_))
            cause = QStringLiteral("the merged file \"%1\" %2")
                        .arg(mergedFile_,
                             merged.exists() ? QStringLiteral("is empty") : QStringLiteral("is missing"));
        else if (!QFileInfo(QVideoSettings::getSavePath()).isDir())
            cause =
                QStringLiteral("the save folder \"%1\" does not exist").arg(QVideoSettings::getSavePath());
        else if (!QRecordSafety::placeFile(mergedFile_, finalFile))
            cause = QStringLiteral("cannot move or copy \"%1\" to \"%2\"").arg(mergedFile_, finalFile);
        if (cause.isEmpty()) {
            savedFile_ = finalFile;
            QRecordSafety::markSaved(workFolder_, finalFile);
        } else {
            if (!finalExisted)
                QFile::remove(finalFile);
            failed_ = true;
            ok = false;
            logFailure(QStringLiteral("Save failed: ") + cause);
        }
    }
    emit finished(ok, tr("视频保存失败,详情请查看日志！"));
}

void QMediaManager::removeWorkFiles()
{
    removeFolder(workFolder_);
    // A merge into a fresh folder under a changed save path: that folder goes too, and its
    // base folder only when nothing else (other recordings) is left in it.
    if (!mergeCreatedFolder_.isEmpty()) {
        const QString base = QFileInfo(mergeCreatedFolder_).path();
        removeFolder(mergeCreatedFolder_);
        QDir().rmdir(base);
    }
}

QString QMediaManager::mergedPrefix()
{
    return tr("Rec %1").arg(QString());
}

QStringList QMediaManager::unfinishedRecordings() const
{
    const QString base = QVideoSettings::getSavePath() + separator() + QGlobalSettings::appName();
    return QRecordSafety::unfinishedFolders(base, mergedPrefix(), busy_ ? workFolder_ : QString());
}

bool QMediaManager::recover(const QString& folder)
{
    if (busy_ || QRecordSafety::segments(folder, mergedPrefix()).isEmpty())
        return false;
    workFolder_ = folder;
    mergedFile_.clear();
    mergeCreatedFolder_.clear();
    failed_ = false;
    run_ = false;
    busy_ = true;
    saveGo_ = false;
    mergeGo_ = false;
    totalSeconds_ = 0;
    currentSeconds_ = 0;
    state_ = Stopped;
    // A failed merge is written down as for any recording.
    QRecordLog::create();
    TaskPool::instance()->post([this] { mergeRun(); });
    return true;
}

qint64 QMediaManager::lowSpaceLimit() const
{
    if (!busy_)
        return QRecordSafety::kLowSpaceBytes;
    return QRecordSafety::lowSpaceLimit(workFolder_, mergedPrefix());
}
