#include "QCameraFeed.h"

#include <QtGlobal>

namespace {

// Never faster than real time (a simulated camera would run flat out), and no wider than the
// small window needs, so the pipe stays light.
const char kFilters[] = "realtime,scale=w='min(960,iw)':h=-1";

// Reads one decimal header field of a PPM picture at `pos`, skipping white space.
bool readField(const QByteArray& data, int& pos, int& value)
{
    while (pos < data.size() &&
           (data[pos] == ' ' || data[pos] == '\n' || data[pos] == '\r' || data[pos] == '\t'))
        ++pos;
    const int start = pos;
    while (pos < data.size() && data[pos] >= '0' && data[pos] <= '9')
        ++pos;
    if (pos == start || pos >= data.size())
        return false;
    bool ok = false;
    value = data.mid(start, pos - start).toInt(&ok);
    return ok;
}

} // namespace

QCameraFeed::QCameraFeed(QObject* parent) : QObject(parent)
{
    process_ = new QProcess(this);
    connect(process_, &QProcess::readyReadStandardOutput, this, &QCameraFeed::onReadyRead);
    connect(process_, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &QCameraFeed::onFinished);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit ended(process_->errorString());
    });
}

QCameraFeed::~QCameraFeed()
{
    stop();
}

QStringList QCameraFeed::encoderArguments(const QStringList& inputArgs)
{
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                     QStringLiteral("error")};
    args << inputArgs;
    args << QStringLiteral("-an") << QStringLiteral("-vf") << QLatin1String(kFilters) << QStringLiteral("-f")
         << QStringLiteral("image2pipe") << QStringLiteral("-vcodec") << QStringLiteral("ppm")
         << QStringLiteral("-");
    return args;
}

void QCameraFeed::start(const QString& encoder, const QStringList& inputArgs)
{
    stopping_ = false;
    buffer_.clear();
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(encoder, encoderArguments(inputArgs), QIODevice::ReadOnly);
}

void QCameraFeed::stop()
{
    if (process_->state() == QProcess::NotRunning)
        return;
    stopping_ = true;
    process_->kill();
    process_->waitForFinished(3000);
}

void QCameraFeed::onReadyRead()
{
    buffer_ += process_->readAllStandardOutput();
    const QImage frame = takeFrames();
    if (!frame.isNull())
        emit frameReady(frame);
}

QImage QCameraFeed::takeFrames()
{
    // Only the newest picture is handed out: walk the buffer, copy that one, trim once.
    int start = 0;
    int newestPos = -1, newestWidth = 0, newestHeight = 0;
    for (;;) {
        if (buffer_.size() - start < 2)
            break;
        if (buffer_.at(start) != 'P' || buffer_.at(start + 1) != '6') {
            // Out of step with the stream: skip to the next picture start.
            const int next = buffer_.indexOf("P6", start + 1);
            start = next < 0 ? buffer_.size() : next;
            continue;
        }
        int pos = start + 2;
        int width = 0, height = 0, maxValue = 0;
        if (!readField(buffer_, pos, width) || !readField(buffer_, pos, height) ||
            !readField(buffer_, pos, maxValue))
            break;
        ++pos; // the single white space before the samples
        if (width <= 0 || height <= 0 || width > 8192 || height > 8192 || maxValue != 255) {
            start += 2;
            continue;
        }
        const qint64 bytes = qint64(width) * height * 3;
        if (buffer_.size() - pos < bytes)
            break;
        newestPos = pos;
        newestWidth = width;
        newestHeight = height;
        start = pos + int(bytes);
    }
    QImage newest;
    if (newestPos >= 0) {
        newest = QImage(reinterpret_cast<const uchar*>(buffer_.constData() + newestPos), newestWidth,
                        newestHeight, newestWidth * 3, QImage::Format_RGB888)
                     .copy();
    }
    buffer_.remove(0, start);
    return newest;
}

void QCameraFeed::onFinished()
{
    if (stopping_)
        return;
    const QString details = QString::fromLocal8Bit(process_->readAllStandardError()).trimmed();
    emit ended(details);
}
