#pragma once

#include <QObject>
#include <QRect>
#include <QString>

class QDateTime;

// Builds the encoder's arguments for one recording run from the stored options, the
// watermark and the capture rectangle. Runs on a pool worker: the device checks start the
// encoder's listings and wait for them.
class QCommandLine : public QObject
{
    Q_OBJECT
public:
    // The DirectShow screen source of game recording and the system-sound source.
    static const QString SCREEN_CAPTURE_RECORDER;
    static const QString VIRTUAL_AUDIO_CAPTURE;

    // The argument string without the encoder path. When a needed device is missing the
    // result is incomplete and must not be run: check hasError() right after.
    static QString build(const QString& workFolder, const QRect& rect);
    // Whether the last build failed, and its message for the user (empty after success).
    static bool hasError();
    static QString errorString();
    // The container name for the stored format ("mp4", "flv", "wmv", "avi").
    static QString formatName();
    // The file a run started at `at` records into: named after that second, in `folder`.
    static QString segmentFile(const QString& folder, const QDateTime& at);

private:
    QCommandLine() = delete;
};
