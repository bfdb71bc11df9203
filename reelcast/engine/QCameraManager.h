#pragma once

#include <QObject>
#include <QString>

class QProcess;

// Owns the one camera preview process (vcamera.exe from the program folder). When the preview
// ends without having been asked to, the stored camera state becomes Off and refresh_camera()
// tells the camera tile. start() and stop() block the calling thread while the process starts
// or quits.
class QCameraManager : public QObject
{
    Q_OBJECT
public:
    static QCameraManager* instance();

    // Previews the camera with this DirectShow friendly name, ending a running preview first.
    void start(const QString& name);
    // Asks the preview to quit; one that has not quit within the quit timeout is killed.
    void stop();

    bool isRunning() const { return running_; }
    // How long stop() waits for the preview to quit before killing it (default 30 s).
    void setQuitTimeout(int msecs) { quitTimeoutMs_ = msecs; }

    // The preview command for a camera, as started.
    static QString command(const QString& programFolder, const QString& name);

signals:
    void refresh_camera();

private slots:
    void onFinished(int exitCode);

private:
    explicit QCameraManager(QObject* parent = nullptr);

    QProcess* process_ = nullptr;
    bool running_ = false;
    bool stopping_ = false;
    int quitTimeoutMs_ = 30000;
};
