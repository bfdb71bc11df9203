#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QProcess>
#include <QStringList>

// Runs the program folder's encoder to decode the camera into PPM pictures on a pipe and hands
// out the newest picture. The encoder maps the DirectShow camera name to the system's camera.
class QCameraFeed : public QObject
{
    Q_OBJECT
public:
    explicit QCameraFeed(QObject* parent = nullptr);
    ~QCameraFeed() override;

    // inputArgs: the encoder's input options, "-i" and its value included.
    void start(const QString& encoder, const QStringList& inputArgs);
    void stop();

    // The encoder arguments for the given input options.
    static QStringList encoderArguments(const QStringList& inputArgs);

signals:
    void frameReady(const QImage& frame);
    // The encoder ended or never started; `details` is the last of what it printed.
    void ended(const QString& details);

private slots:
    void onReadyRead();
    void onFinished();

private:
    // Takes every complete picture off the front of the buffer; returns the newest.
    QImage takeFrames();

    QProcess* process_ = nullptr;
    QByteArray buffer_;
    bool stopping_ = false;
};
