#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>

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

signals:
    void time_changed(quint32 curTime);
    void record_finished(bool ok, QString msg);
    void finished(bool ok, QString msg);
    void record_error(QString msg);

private slots:
    void onRecordFinished(bool ok, QString msg);

private:
    QMediaManager();
    ~QMediaManager() override;

    void recordRun(int generation);
    void mergeRun();
    void saveRun();
    void removeWorkFiles();
    QString mergeFolder();
    QString freshWorkFolder() const;
    // The start of a merged file's name, which tells it from the segments beside it.
    static QString mergedPrefix();
    bool checkStarted(bool started);
    bool checkOutput(bool valid, const QByteArray& output);
    // Whether the run of `generation` is still wanted: not paused or stopped, and not
    // superseded by a newer run.
    bool runWanted(int generation) const;

    // Flags shared with the worker tasks, each written by one side and polled by the other.
    std::atomic<bool> busy_{false};
    std::atomic<bool> run_{false};
    std::atomic<bool> mergeGo_{false};
    std::atomic<bool> saveGo_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> runActive_{false};
    std::atomic<bool> closing_{false};
    std::atomic<int> generation_{0};
    std::atomic<int> totalSeconds_{0};
    std::atomic<int> currentSeconds_{0};
    std::atomic<int> state_{Stopped};

    QRect rect_;
    QString workFolder_;
    QString savedFile_;
    QString mergedFile_;
    QString mergeCreatedFolder_;
};
