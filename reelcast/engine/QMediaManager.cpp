#include "QMediaManager.h"

#include "LogCategories.h"
#include "PlatformFiles.h"
#include "PlatformScreenCast.h"
#include "QCastProcess.h"
#include "QCommandLine.h"
#include "QEventManager.h"
#include "QGlobalSettings.h"
#include "QMarkSettings.h"
#include "QPath.h"
#include "QProcessCommand.h"
#include "QProcessStop.h"
#include "QRecordLog.h"
#include "QRecordSafety.h"
#include "QScreenCast.h"
#include "QVideoSettings.h"
#include "TaskPool.h"
#include "Utilities.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegExp>
#include <QRegularExpression>
#include <QSet>

#include <chrono>
#include <thread>

namespace {

const char* const kTimeFormat = "yyyy-MM-dd-hh-mm-ss";
constexpr int kPollMs = 200;
constexpr int kMergeStallMs = 60000;
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

// Formats the merge reads: the segment list, and the containers the program writes (FFmpeg's
// names of its MP4, FLV, ASF and AVI readers). Nothing else may open, so a planted playlist
// posing as a segment cannot pull other files in.
const char* const kSegmentFormats = "mov,mp4,flv,asf,avi";
const char* const kFileProtocolOnly = "-protocol_whitelist file";

QFileInfoList segmentsOf(const QString& folder)
{
    return QRecordSafety::segments(folder, QString());
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

// A path the encoder takes as a file whatever its name looks like.
QString fileUrl(const QString& path)
{
    return QStringLiteral("file:") + path;
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
    cast_ = new QScreenCast(this);
    connect(cast_, &QScreenCast::opened, this, &QMediaManager::onCastOpened);
    connect(cast_, &QScreenCast::cancelled, this, [this] { abandonStart(QString()); });
    connect(cast_, &QScreenCast::failed, this, &QMediaManager::abandonStart);
    connect(cast_, &QScreenCast::closed, this, &QMediaManager::onCastEnded);
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

QMediaManager::JobPtr QMediaManager::newJob(const QString& workFolder) const
{
    auto job = std::make_shared<Job>();
    job->workFolder = workFolder;
    job->rect = rect_;
    job->savePath = QVideoSettings::getSavePath();
    job->format = QCommandLine::formatName();
    return job;
}

void QMediaManager::start()
{
    // Refused while a recording runs or is still being finished: its tasks use the work folder.
    if (phase_ != Idle)
        return;
    job_ = newJob(freshWorkFolder(QVideoSettings::getSavePath()));
    savedFile_.clear();
    saveAsked_ = false;
    cleanupAsked_ = false;
    saveResult_ = SavePending;
    failed_ = false;
    phase_ = Running;
    run_ = true;
    totalSeconds_ = 0;
    currentSeconds_ = 0;
    saveGo_ = false;
    mergeGo_ = false;
    mergeDone_ = false;
    state_ = Recording;
    castEnded_ = false;
    castAwaited_ = false;
    QRecordLog::create();
    const int mode = QVideoSettings::getMode();
    job_->cast = QScreenCast::needed(mode);
    if (job_->cast && !cast_->isOpenFor(mode)) {
        // The runs begin once the desktop has answered, however long its dialog waits.
        castAwaited_ = true;
        // Full screen: the monitor chosen in the mode tile, if the desktop remembers one for it.
        cast_->open(mode, mode == FullScreen ? rect_ : QRect());
        return;
    }
    if (job_->cast)
        onCastOpened();
    else
        postRun();
}

void QMediaManager::postRun()
{
    const int generation = ++generation_;
    TaskPool::instance()->post([this, job = job_, generation] { recordRun(job, generation); });
}

void QMediaManager::onCastOpened()
{
    castAwaited_ = false;
    if (phase_ != Running || !job_ || !job_->cast)
        return;
    // Full screen is the monitor the desktop's dialog gave, wherever the program thought it was.
    if (QVideoSettings::getMode() == FullScreen) {
        job_->rect = cast_->monitorRect();
        rect_ = job_->rect;
    }
    if (state_ == Recording)
        postRun();
}

void QMediaManager::abandonStart(const QString& msg)
{
    if (!castAwaited_ || phase_ != Running)
        return;
    castAwaited_ = false;
    run_ = false;
    state_ = Stopped;
    ++generation_;
    // Nothing was recorded: neither the work folder nor the log stays, unless the log says why.
    if (job_ && QDir(job_->workFolder).isEmpty()) {
        const QString base = QFileInfo(job_->workFolder).path();
        QDir().rmdir(job_->workFolder);
        QDir().rmdir(base);
    }
    if (msg.isEmpty())
        QRecordLog::discard();
    else
        QRecordLog::close();
    becomeIdle();
    emit record_error(msg);
}

void QMediaManager::onCastEnded()
{
    // Once per recording: the desktop's signal and the encoder's own end may both say it.
    if (phase_ != Running || !job_ || !job_->cast || state_ == Stopped || castEnded_.exchange(true))
        return;
    logFailure(QStringLiteral("Recording stopped: the desktop ended its screen cast; what was recorded "
                              "into \"%1\" is saved")
                   .arg(job_->workFolder));
    emit cast_ended(tr("桌面已结束屏幕共享，录制已停止。已录制的内容将被保存。"));
}

void QMediaManager::pause()
{
    if (phase_ != Running || state_ != Recording)
        return;
    run_ = false;
    state_ = Paused;
}

void QMediaManager::resume()
{
    if (phase_ != Running || state_ != Paused)
        return;
    run_ = true;
    state_ = Recording;
    if (castAwaited_)
        return; // the first run begins once the desktop has answered
    postRun();
}

void QMediaManager::stop()
{
    // Nothing to stop, or a stop is under way already: a second merge would race the first.
    if (phase_ != Running || state_ == Stopped)
        return;
    // Stopped before the desktop answered: its dialog goes, and nothing was recorded, so there
    // is nothing to merge or to say.
    if (castAwaited_) {
        cast_->close();
        abandonStart(QString());
        return;
    }
    phase_ = Finishing;
    TaskPool::instance()->post([this, job = job_] { mergeRun(job); });
    run_ = false;
    if (state_ == Paused)
        emit record_finished(true, QString());
    state_ = Stopped;
}

void QMediaManager::save()
{
    // One save per recording: a second would move the merged file away from the first.
    if (phase_ != Finishing || saveAsked_)
        return;
    saveAsked_ = true;
    TaskPool::instance()->post([this, job = job_] { saveRun(job); });
}

void QMediaManager::cleanup()
{
    // A log that names a piece left out of the saved file stays for the user.
    if (job_ && !job_->leftOut.isEmpty())
        QRecordLog::close();
    else
        QRecordLog::discard();
    if (phase_ != Finishing || !saveAsked_ || cleanupAsked_)
        return;
    cleanupAsked_ = true;
    TaskPool::instance()->post([this, job = job_] { removeWorkFiles(job); });
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
    return phase_ == Idle;
}

bool QMediaManager::isFinishing() const
{
    return phase_ == Finishing;
}

bool QMediaManager::isMerged() const
{
    return phase_ == Finishing && mergeDone_;
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
    if (phase_ == Idle || !job_)
        return 0;
    qint64 total = 0;
    for (const QFileInfo& fi : segmentsOf(job_->workFolder))
        total += fi.size();
    return total;
}

QString QMediaManager::savedFile() const
{
    return savedFile_;
}

QString QMediaManager::workFolder() const
{
    return job_ ? job_->workFolder : QString();
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

void QMediaManager::becomeIdle()
{
    phase_ = Idle;
    // The cast goes with the recording, on the thread it lives on.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (phase_ == Idle)
                cast_->close();
        },
        Qt::QueuedConnection);
    emit idle();
}

QString QMediaManager::freshWorkFolder(const QString& savePath)
{
    const QString base = QDir::cleanPath(savePath + separator() + QGlobalSettings::appName());
    // The base and the work folders are the user's alone; one that is a link or someone
    // else's is not used (the run then fails on it and says so).
    QRecordSafety::makePrivateFolder(base, true);
    const QString stamp = base + separator() + QDateTime::currentDateTime().toString(kTimeFormat);
    // Two recordings started within one second must not share a folder: the second would
    // merge the first one's files into its own.
    QString folder = stamp;
    for (int n = 1; n < 1000; ++n) {
        if (!platform::nameTaken(folder.toStdWString()) && QRecordSafety::makePrivateFolder(folder))
            break;
        folder = stamp + QStringLiteral("-%1").arg(n);
    }
    return folder;
}

void QMediaManager::recordRun(JobPtr job, int generation)
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

    const QString& workFolder = job->workFolder;
    QString message;
    QString failureCause;
    bool success = false;
    bool encoderDied = false;
    int lastSeconds = 0;
    QSet<QString> before;

    QCastProcess process;
    process.setWorkingDirectory(QPath::programFolder());
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Each run reads the desktop's cast through a remote of its own.
    struct Remote
    {
        int fd = -1;
        ~Remote() { platform::closeDescriptor(fd); }
    } remote;
    if (job->cast) {
        remote.fd = cast_->remote();
        process.setInheritedDescriptor(remote.fd);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(cast_->environment(remote.fd));
        process.setProcessEnvironment(environment);
    }

    if (job->cast && remote.fd < 0) {
        message = tr("桌面已结束屏幕共享，无法继续录制！");
        logFailure(
            QStringLiteral("Recording failed: the desktop's screen cast is closed; no PipeWire remote"));
    } else if (!QFileInfo(job->savePath).isDir()) {
        message = tr("视频保存目录不存在！");
        logFailure(
            QStringLiteral("Recording failed: the save folder \"%1\" does not exist").arg(job->savePath));
    } else {
        // Segment files are named after the second their run starts; a quick pause and resume
        // must not reuse (and overwrite) the previous segment's name.
        const QDateTime started = QDateTime::currentDateTime();
        const QString now = started.toString(kTimeFormat);
        for (int i = 0; i < 12 && QFileInfo::exists(QCommandLine::segmentFile(workFolder, started)) &&
                        QDateTime::currentDateTime().toString(kTimeFormat) == now;
             ++i)
            sleepMs(100);
        before = segmentNames(workFolder);
        const QString arguments = QCommandLine::build(workFolder, job->rect);
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
                        stopper.poll(segmentActivity(workFolder));
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
                // The adapter's status when the desktop ended the cast: the segment is whole.
                constexpr int kCastEnded = 3;
                const bool castEnded = job->cast && process.exitStatus() == QProcess::NormalExit &&
                                       process.exitCode() == kCastEnded;
                if (castEnded && runWanted(generation)) {
                    QRecordLog::writeFiltered(QString::fromUtf8(keepTail(process.readAll())));
                    totalSeconds_ += lastSeconds;
                    currentSeconds_ = int(totalSeconds_);
                    // As after a pause: the stop that follows ends the recording and saves it.
                    run_ = false;
                    state_ = Paused;
                    success = true;
                    QMetaObject::invokeMethod(this, &QMediaManager::onCastEnded, Qt::QueuedConnection);
                } else if (runWanted(generation)) {
                    QRecordLog::write(keepTail(process.readAll()));
                    message = tr("视频录制失败，详情请查看错误日志！");
                    encoderDied = true;
                    failureCause = QStringLiteral("Recording failed: the encoder ended by itself (%1) while "
                                                  "recording into \"%2\"; its last lines: %3")
                                       .arg(exitText(process), workFolder, QRecordLog::lastLines(tail));
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
            for (const QString& name : segmentNames(workFolder) - before)
                QFile::remove(workFolder + separator() + name);
        }
        if (!workFolder.isEmpty() && QDir(workFolder).isEmpty())
            QDir().rmdir(workFolder);
    }
    emit record_finished(success, message);
}

void QMediaManager::onRecordFinished(bool ok, QString msg)
{
    if (ok || phase_ != Running)
        return;
    run_ = false;
    state_ = Stopped;
    QRecordLog::close();
    becomeIdle();
    emit record_error(msg);
}

double QMediaManager::readableSeconds(const QString& file, QByteArray* output)
{
    // Read through to the end without decoding: the last time reached is what the file holds.
    QProcess process;
    process.setWorkingDirectory(QPath::programFolder());
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString command = QProcessCommand::encoderCommand(
        QStringLiteral("-hide_banner -nostdin %1 -format_whitelist %2 -i %3 -map 0 -c copy -f null -")
            .arg(QLatin1String(kFileProtocolOnly), QLatin1String(kSegmentFormats),
                 QProcessCommand::quoted(fileUrl(file))));
    if (!QProcessCommand::startAndWait(process, command))
        return -1;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    const QByteArray text = process.readAll();
    if (output)
        *output = text;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return -1;
    const QRegularExpression timePattern(QStringLiteral("time=(\\d+):(\\d{2}):(\\d{2}(?:\\.\\d+)?)"));
    double seconds = -1;
    for (auto it = timePattern.globalMatch(QString::fromUtf8(text)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        seconds = m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 + m.captured(3).toDouble();
    }
    return seconds;
}

void QMediaManager::mergeRun(JobPtr job)
{
    struct SetOnExit
    {
        std::atomic<bool>& flag;
        ~SetOnExit() { flag = true; }
    } merged{mergeDone_};

    // Only this recording's own run is waited for; it ends by itself once it sees the stop.
    mergeGo_ = true;
    while (!closing_ && runActive_ && mergeGo_)
        sleepMs(kPollMs);

    const QString& workFolder = job->workFolder;
    const QFileInfoList segments = QRecordSafety::segments(workFolder, mergedPrefix());
    if (segments.isEmpty()) {
        // Nothing to save: the folder vanished, or every run failed (and said why already).
        failed_ = true;
        logFailure(QStringLiteral("Save failed: the work folder \"%1\" %2")
                       .arg(workFolder, QFileInfo(workFolder).isDir() ? QStringLiteral("holds no segment")
                                                                      : QStringLiteral("does not exist")));
        return;
    }

    // Each segment as the encoder reads it: what it cannot read is left out openly and stays.
    QFileInfoList readable;
    double seconds = 0;
    for (const QFileInfo& segment : segments) {
        QByteArray output;
        const double length = readableSeconds(segment.filePath(), &output);
        if (length > 0) {
            readable.append(segment);
            seconds += length;
        } else {
            job->leftOut << segment.fileName();
            logFailure(QStringLiteral("Save: the segment \"%1\" cannot be read and is left out; it stays in "
                                      "\"%2\"; the encoder said: %3")
                           .arg(segment.fileName(), workFolder, QRecordLog::lastLines(output)));
        }
    }
    if (readable.isEmpty()) {
        failed_ = true;
        logFailure(QStringLiteral("Save failed: no segment in \"%1\" can be read").arg(workFolder));
        return;
    }
    job->mergedFile =
        QRecordSafety::freeName(workFolder + separator() + tr("Rec %1").arg(readable.first().fileName()));

    if (readable.size() == 1) {
        QFile segment(readable.first().filePath());
        if (!platform::renameFile(segment.fileName().toStdWString(), job->mergedFile.toStdWString())) {
            failed_ = true;
            logFailure(QStringLiteral("Save failed: cannot rename \"%1\" to \"%2\"")
                           .arg(segment.fileName(), job->mergedFile));
            job->mergedFile.clear();
            return;
        }
        job->merged << readable.first().fileName();
        return;
    }
    if (!joinSegments(*job, readable, seconds)) {
        // An incomplete merge is ours and of no use; the segments stay for a later try.
        if (!job->mergedFile.isEmpty() && platform::isOwnFile(job->mergedFile.toStdWString()))
            QFile::remove(job->mergedFile);
        job->mergedFile.clear();
        failed_ = true;
    }
}

bool QMediaManager::joinSegments(Job& job, const QFileInfoList& segments, double seconds)
{
    const QString listFile = job.workFolder + separator() + QRecordSafety::LIST_FILE;
    // A list left by an earlier try is the program's own; anything else of that name is not
    // written through.
    if (platform::isOwnFile(listFile.toStdWString()))
        QFile::remove(listFile);
    // Bare names, read relative to the list: nothing of the folder's path reaches the list.
    QByteArray lines;
    for (const QFileInfo& segment : segments)
        lines += QStringLiteral("file '%1'\r\n").arg(segment.fileName()).toUtf8();
    if (!checkStarted(QRecordSafety::writeNewFile(listFile, lines))) {
        logFailure(
            QStringLiteral("Save failed: cannot write the segment list \"%1\"%2")
                .arg(listFile, QFileInfo(listFile).isDir() ? QStringLiteral(": Is a directory") : QString()));
        return false;
    }
    struct RemoveList
    {
        QString path;
        ~RemoveList() { QFile::remove(path); }
    } removeList{listFile};

    QProcess process;
    process.setWorkingDirectory(QPath::programFolder());
    // FFmpeg tells why a merge failed on standard error.
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString command = QProcessCommand::encoderCommand(
        QStringLiteral("-y %1 -format_whitelist concat,%2 -f concat -safe 1 -i %3 -c copy -f %4 %5")
            .arg(QLatin1String(kFileProtocolOnly), QLatin1String(kSegmentFormats),
                 QProcessCommand::quoted(fileUrl(listFile)), job.format,
                 QProcessCommand::quoted(fileUrl(job.mergedFile))));
    if (!checkStarted(QProcessCommand::startAndWait(process, command))) {
        logFailure(QStringLiteral("Save failed: the encoder \"%1\" did not start for the merge: %2")
                       .arg(QPath::programFolder() + QProcessCommand::ENCODER, process.errorString()));
        return false;
    }
    // A merge whose file stops changing for a minute (a stopped or hung encoder) is ended and
    // fails, with the work folder kept, rather than holding the save for ever.
    QElapsedTimer quiet;
    quiet.start();
    qint64 activity = -1;
    while (!process.waitForFinished(kPollMs) && process.state() != QProcess::NotRunning && mergeGo_) {
        const QFileInfo merged(job.mergedFile);
        const qint64 now = merged.size() + merged.lastModified().toMSecsSinceEpoch();
        if (now != activity) {
            activity = now;
            quiet.start();
        } else if (quiet.elapsed() > kMergeStallMs) {
            QProcessStop(process).finish();
            logFailure(
                QStringLiteral("Save failed: the merge into \"%1\" made no progress for %2 s and was ended")
                    .arg(job.mergedFile)
                    .arg(kMergeStallMs / 1000));
            return false;
        }
    }
    if (!mergeGo_) {
        process.write("q\r\n");
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
        return false;
    }
    process.waitForFinished(kPollMs);
    const QByteArray output = process.readAll();
    if (!checkOutput(isFileValid(job.mergedFile), output)) {
        logFailure(QStringLiteral("Save failed: the merge left %1 \"%2\" (encoder %3); its last lines: %4")
                       .arg(QFileInfo::exists(job.mergedFile) ? QStringLiteral("an empty file")
                                                              : QStringLiteral("no file"),
                            job.mergedFile, exitText(process), QRecordLog::lastLines(output)));
        return false;
    }
    // The merged file must hold every segment that could be read: FFmpeg ends a concat that
    // could not open a piece with success all the same.
    const bool exitedWell = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const bool missedPiece = output.contains("Impossible to open");
    const double mergedSeconds = readableSeconds(job.mergedFile);
    const double tolerance = 0.25 + 0.1 * segments.size();
    if (!exitedWell || missedPiece || mergedSeconds < seconds - tolerance) {
        QRecordLog::writeError(output);
        logFailure(
            QStringLiteral("Save failed: the merge of %1 segments (%2 s) into \"%3\" holds %4 s (encoder "
                           "%5%6); the work folder \"%7\" is kept; its last lines: %8")
                .arg(segments.size())
                .arg(seconds, 0, 'f', 2)
                .arg(job.mergedFile)
                .arg(mergedSeconds, 0, 'f', 2)
                .arg(exitText(process),
                     missedPiece ? QStringLiteral(", a segment could not be opened") : QString(),
                     job.workFolder, QRecordLog::lastLines(output)));
        return false;
    }
    for (const QFileInfo& segment : segments)
        job.merged << segment.fileName();
    return true;
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

void QMediaManager::saveRun(JobPtr job)
{
    saveGo_ = true;
    while (!mergeDone_ && saveGo_)
        sleepMs(kPollMs);
    if (!saveGo_)
        return;
    bool ok = !failed_;
    if (ok) {
        // A second recording saved within the same second gets a suffix; nothing is replaced.
        const QString finalFile = QRecordSafety::freeName(job->savePath + separator() + tr("Vexlo录屏") +
                                                          QDateTime::currentDateTime().toString(kTimeFormat) +
                                                          QLatin1Char('.') + job->format);
        // Renamed into place where it can be: a copy needs the room of the whole recording once
        // more. The merged file stays where it is when that fails, so nothing is lost.
        QString cause;
        if (!isFileValid(job->mergedFile))
            cause =
                QStringLiteral("the merged file \"%1\" %2")
                    .arg(job->mergedFile, QFileInfo::exists(job->mergedFile) ? QStringLiteral("is empty")
                                                                             : QStringLiteral("is missing"));
        else if (!QFileInfo(job->savePath).isDir())
            cause = QStringLiteral("the save folder \"%1\" does not exist").arg(job->savePath);
        else if (!QRecordSafety::placeFile(job->mergedFile, finalFile))
            cause = QStringLiteral("cannot move or copy \"%1\" to \"%2\"").arg(job->mergedFile, finalFile);
        if (cause.isEmpty()) {
            savedFile_ = finalFile;
            QRecordSafety::markSaved(job->workFolder, finalFile);
        } else {
            failed_ = true;
            ok = false;
            logFailure(QStringLiteral("Save failed: ") + cause);
        }
    }
    // A failed save ends here, its work folder kept; a saved one once it is cleaned up.
    saveResult_ = ok ? SaveOk : SaveFailed;
    if (!ok)
        becomeIdle();
    emit finished(ok, tr("视频保存失败,详情请查看日志！"));
}

void QMediaManager::removeWorkFiles(JobPtr job)
{
    // Nothing goes before the recording is saved, and nothing at all when its save failed.
    while (saveResult_ == SavePending && !closing_)
        sleepMs(kPollMs / 4);
    if (saveResult_ != SaveOk)
        return;
    // Only the program's own files go, by name; what could not be read stays with the saved
    // mark, so the folder is not offered again and nothing unread is lost.
    QRecordSafety::removeOwnFiles(
        job->workFolder, mergedPrefix(),
        job->leftOut.isEmpty() ? QStringList() : job->leftOut + QStringList{QRecordSafety::SAVED_MARK});
    // The base folder goes with its last work folder.
    QDir().rmdir(QFileInfo(job->workFolder).path());
    becomeIdle();
}

QString QMediaManager::mergedPrefix()
{
    return tr("Rec %1").arg(QString());
}

QStringList QMediaManager::unfinishedRecordings() const
{
    QStringList bases;
    for (const QString& name : QGlobalSettings::appNames())
        bases << QVideoSettings::getSavePath() + separator() + name;
    return QRecordSafety::unfinishedFolders(bases, mergedPrefix(),
                                            phase_ != Idle && job_ ? job_->workFolder : QString());
}

bool QMediaManager::recover(const QString& folder)
{
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (phase_ != Idle || !unfinishedRecordings().contains(path) ||
        QRecordSafety::segments(folder, mergedPrefix()).isEmpty())
        return false;
    job_ = newJob(path);
    savedFile_.clear();
    saveAsked_ = false;
    cleanupAsked_ = false;
    saveResult_ = SavePending;
    failed_ = false;
    run_ = false;
    phase_ = Finishing;
    saveGo_ = false;
    mergeGo_ = false;
    mergeDone_ = false;
    totalSeconds_ = 0;
    currentSeconds_ = 0;
    state_ = Stopped;
    // A failed merge is written down as for any recording.
    QRecordLog::create();
    TaskPool::instance()->post([this, job = job_] { mergeRun(job); });
    return true;
}

qint64 QMediaManager::lowSpaceLimit() const
{
    if (phase_ == Idle || !job_)
        return QRecordSafety::kLowSpaceBytes;
    return QRecordSafety::lowSpaceLimit(job_->workFolder, mergedPrefix());
}
