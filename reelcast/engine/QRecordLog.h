#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

// The encoder log of one recording: what the encoder printed during its runs, without the
// repeated progress lines. One log is current per process; the recording manager drives it
// through the static operations, which do nothing while the current log is not open.
class QRecordLog : public QObject
{
    Q_OBJECT
public:
    ~QRecordLog() override;

    // Starts a new log file named after the current second (with "-2", "-3", ... for further
    // logs of the same second) and makes it current; the previous log is closed and stays on disk.
    static void create();
    // Opens the block of one encoder run.
    static void beginRun();
    // Writes a chunk of console output without its leading progress lines.
    static void writeFiltered(const QString& text);
    // Writes the bytes as they are (the rest of a run that ended by itself).
    static void write(const QByteArray& bytes);
    // Closes the block of one encoder run.
    static void endRun();
    // A whole block holding the output of a failed merge.
    static void writeError(const QByteArray& output);
    // A whole block telling why a recording or its save failed: `output` if any, then one line
    // with the time and `cause`. Written at once, so the log is complete when the user opens it.
    static void writeFailure(const QString& cause, const QByteArray& output = QByteArray());
    // Closes the file and keeps it, so the user can read it after a failure.
    static void close();
    // Closes the file and deletes it; the recording was saved.
    static void discard();

    // The file of the current log; empty before the first create().
    static QString fileName();
    static bool isOpen();
    // "<application data>ffmpeg": where the logs are kept.
    static QString folder();
    // The text writeFiltered() writes for a chunk.
    static QString filtered(const QString& chunk);
    // The last `count` lines of console output that are not progress lines, quoted and joined
    // by " | " for a cause line; "nothing" when there are none.
    static QString lastLines(const QByteArray& output, int count = 3);

private:
    QRecordLog();
    void writeBytes(const QByteArray& bytes);
    void closeFile();

    QFile file_;
    // The name as composed; QFile::fileName() would give it back with '/' separators on Windows.
    QString fileName_;
};
