#pragma once

#include <QFileInfoList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QScreenCast;

// RecordState of the recording manager.
enum RecordState : int
{
    Recording = 1,
    Paused = 2,
    Stopped = 3
};

// The recording manager: runs the encoder once per recording segment on the worker pool,
// reports the elapsed time, joins the segments at stop and saves the result. Public
// operations run on the interface thread and never block; results arrive as queued signals.
// It is the one keeper of the recording's state: idle only when nothing records and nothing is
// being finished (merged, saved, cleaned up).
class QMediaManager : public QObject
{
    Q_OBJECT
public:
    static QMediaManager* instance();
    static void release();

    void start();
    void pause();
    void resume();
    void stop();
    void save();
    void cleanup();

    void setRect(const QRect& rect);
    QRect rect() const;
    bool isIdle() const;
    // Stopped and not yet idle: the file is being merged, saved or cleaned up. A start is refused.
    bool isFinishing() const;
    // Stopped, and the segments are joined (or the join has failed); the save has not run yet.
    bool isMerged() const;
    int elapsedSeconds() const;
    int state() const;
    // Bytes of the segment files written so far by the recording in progress; 0 when idle.
    qint64 backupSize() const;
    QString savedFile() const;
    QString workFolder() const;

    static bool isFileValid(const QString& path);

    // Work folders under the save folder with segments of a recording that was never saved (its
    // program or encoder died, or its save failed), oldest first.
    QStringList unfinishedRecordings() const;
    // Joins and saves what `folder` holds as if its recording had just been stopped: the merge is
    // posted, and save() then works as after a stop. False while busy or with nothing to join.
    bool recover(const QString& folder);
    // The free bytes under which the recording in progress must stop so that its merge fits.
    qint64 lowSpaceLimit() const;
    // The desktop's screen cast of the screen modes where the program cannot read the screen
    // itself; the area selection opens it before the start, which then keeps it.
    QScreenCast* screenCast() const { return cast_; }

signals:
    void time_changed(quint32 curTime);
    void record_finished(bool ok, QString msg);
    void finished(bool ok, QString msg);
    void record_error(QString msg);
    // The manager became idle: the recording is saved and cleaned up, or has failed.
    void idle();
    // The desktop ended its screen cast mid-recording: the run has ended, the recording is to
    // be stopped and saved.
    void cast_ended(QString msg);

private slots:
    void onRecordFinished(bool ok, QString msg);

private:
    // What one recording's tasks work on, taken when it starts (or is recovered), so that
    // nothing another thread may change under them is read again; filled in by the merge for the
    // save and the clean-up, which run after it in turn.
    struct Job
    {
        QString workFolder;
        QRect rect;
        QString savePath;
        QString format;
        QString mergedFile;
        // Segments that are in the merged file, and those that could not be read.
        QStringList merged;
        QStringList leftOut;
        // The screen comes from the desktop's cast.
        bool cast = false;
    };
    using JobPtr = std::shared_ptr<Job>;

    QMediaManager();
    ~QMediaManager() override;

    void recordRun(JobPtr job, int generation);
    void mergeRun(JobPtr job);
    void saveRun(JobPtr job);
    void removeWorkFiles(JobPtr job);
    JobPtr newJob(const QString& workFolder) const;
    static QString freshWorkFolder(const QString& savePath);
    // The start of a merged file's name, which tells it from the segments beside it.
    static QString mergedPrefix();
    // Seconds of picture and sound a file holds as the encoder reads it, or a negative number
    // when it cannot read it.
    static double readableSeconds(const QString& file, QByteArray* output = nullptr);
    bool joinSegments(Job& job, const QFileInfoList& segments, double seconds);
    bool checkStarted(bool started);
    bool checkOutput(bool valid, const QByteArray& output);
    // Whether the run of `generation` is still wanted: not paused or stopped, and not
    // superseded by a newer run.
    bool runWanted(int generation) const;
    void becomeIdle();
    void postRun();
    void onCastOpened();
    // A start that never recorded: the desktop's dialog was cancelled (quietly, `msg` empty) or
    // the cast failed.
    void abandonStart(const QString& msg);
    void onCastEnded();

    enum Phase : int
    {
        Idle,
        Running,
        Finishing
    };

    enum SaveResult : int
    {
        SavePending,
        SaveOk,
        SaveFailed
    };

    // Flags shared with the worker tasks, each written by one side and polled by the other.
    std::atomic<int> phase_{Idle};
    std::atomic<bool> run_{false};
    std::atomic<bool> mergeGo_{false};
    std::atomic<bool> mergeDone_{false};
    std::atomic<int> saveResult_{SavePending};
    std::atomic<bool> saveGo_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> runActive_{false};
    std::atomic<bool> closing_{false};
    std::atomic<int> generation_{0};
    std::atomic<int> totalSeconds_{0};
    std::atomic<int> currentSeconds_{0};
    std::atomic<int> state_{Stopped};

    QRect rect_;
    // The recording in progress or being finished; set on the interface thread only.
    JobPtr job_;
    bool saveAsked_ = false;
    bool cleanupAsked_ = false;
    QString savedFile_;
    QScreenCast* cast_ = nullptr;
    // The start waits for the desktop's answer.
    bool castAwaited_ = false;
    std::atomic<bool> castEnded_{false};
};
