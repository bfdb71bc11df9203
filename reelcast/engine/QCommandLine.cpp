#include "QCommandLine.h"

#include "QDeviceManager.h"
#include "QMarkSettings.h"
#include "QProcessCommand.h"
#include "QRecordLog.h"
#include "QVideoSettings.h"
#include "UException.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include <functional>

const QString QCommandLine::SCREEN_CAPTURE_RECORDER = QStringLiteral("screen-capture-recorder");
const QString QCommandLine::VIRTUAL_AUDIO_CAPTURE = QStringLiteral("virtual-audio-capturer");

namespace {

// Unqualified, so that a failed check carries the condition as it reads here.
const QString& SCREEN_CAPTURE_RECORDER = QCommandLine::SCREEN_CAPTURE_RECORDER;
const QString& VIRTUAL_AUDIO_CAPTURE = QCommandLine::VIRTUAL_AUDIO_CAPTURE;

struct QualityProfile
{
    int frameRate;
    int videoKbps;
    int crf;
    int sampleRate;
    int audioKbps;
};

QualityProfile profileOf(int quality)
{
    switch (quality) {
    case Low:
        return {15, 180, 24, 44100, 128};
    case Recommended:
        return {18, 300, 22, 44100, 128};
    case High:
        return {24, 500, 20, 48000, 256};
    case HD:
        return {24, 800, 18, 48000, 256};
    default:
        return {30, 2000, 18, 44100, 128};
    }
}

QString overlayOf(int position)
{
    switch (position) {
    case TopLeft:
        return QStringLiteral("overlay=20:20");
    case TopRight:
        return QStringLiteral("overlay=(main_w-overlay_w) - 20:20");
    case BottomLeft:
        return QStringLiteral("overlay=20:(main_h - overlay_h) - 20");
    case BottomRight:
        return QStringLiteral("overlay=(main_w-overlay_w) - 20:(main_h - overlay_h) - 20");
    default:
        // Never an empty filter, which would take the next option for its graph.
        return QStringLiteral("overlay=(main_w-overlay_w) - 20:20");
    }
}

// Outcome of the last build, process-wide.
QMutex g_errorMutex;
bool g_hasError = false;
QString g_errorString;

void setOutcome(bool failed, const QString& message)
{
    QMutexLocker lock(&g_errorMutex);
    g_hasError = failed;
    g_errorString = message;
}

// Appends the pieces of one build in order; the device checks throw out of it.
class Builder
{
public:
    Builder(const QString& workFolder, const QRect& rect) : m_workFolder(workFolder), m_rect(rect) {}

    void run(QStringList& pieces);

private:
    bool addScreen(QStringList& pieces, int mode);
    bool addCamera(QStringList& pieces, int mode);
    bool addMark(QStringList& pieces, int markType);
    int addSound(QStringList& pieces);

    // The encoder's own device list, listed once per build however many checks need it.
    const QStringList& encoderDevices()
    {
        if (!m_encoderListed) {
            m_encoderDevices = QDeviceManager::encoderDeviceNames();
            m_encoderListed = true;
        }
        return m_encoderDevices;
    }

    // A missing device refuses the build with `message` in the user's words; the device's own
    // name goes to the encoder log only.
    static void requireDevice(bool present, const QString& device, const QString& message)
    {
        if (present)
            return;
        QRecordLog::writeFailure(QStringLiteral("Device not found: ") + device);
        throw UException("device present", message, __FILE__, __LINE__);
    }

    QString m_workFolder;
    QRect m_rect;
    bool m_encoderListed = false;
    QStringList m_encoderDevices;
};

bool Builder::addScreen(QStringList& pieces, int mode)
{
    if (mode == Camera)
        return false;
    if (mode == Game) {
        const QStringList& videoDevices = encoderDevices();
        requireDevice(videoDevices.contains(SCREEN_CAPTURE_RECORDER), SCREEN_CAPTURE_RECORDER,
                      QCommandLine::tr("无法录制整个桌面：屏幕画面无法获取。请在“模式”中选择其它录制模式。"));
        pieces << QStringLiteral("-f dshow")
               << QStringLiteral("-i video=") + QProcessCommand::quoted(SCREEN_CAPTURE_RECORDER);
        return true;
    }
    // The encoder's yuv420p output needs even dimensions.
    int width = m_rect.width();
    int height = m_rect.height();
    if (width % 2 != 0)
        width -= 1;
    if (height % 2 != 0)
        height -= 1;
    pieces << QStringLiteral("-f gdigrab") << QStringLiteral("-offset_x %1").arg(m_rect.x())
           << QStringLiteral("-offset_y %1").arg(m_rect.y())
           << QStringLiteral("-video_size %1x%2").arg(width).arg(height) << QStringLiteral("-draw_mouse 1")
           << QStringLiteral("-i desktop");
    return true;
}

bool Builder::addCamera(QStringList& pieces, int mode)
{
    if (mode != Camera || QVideoSettings::getCameraType() != On)
        return false;
    const QStringList videoDevices = QDeviceManager::videoInputNames();
    const QString deviceName = QVideoSettings::getCameraName();
    requireDevice(videoDevices.contains(deviceName), deviceName,
                  deviceName.isEmpty()
                      ? QCommandLine::tr("未检测到摄像头。请连接摄像头，或在“模式”中选择其它录制模式。")
                      : QCommandLine::tr("未检测到摄像头“%1”。请连接摄像头，或在“模式”中选择其它录制模式。")
                            .arg(deviceName));
    pieces << QStringLiteral("-f dshow");
    const QStringList sizes = QDeviceManager::cameraResolutions(deviceName);
    if (!sizes.isEmpty())
        pieces << QStringLiteral("-video_size %1").arg(sizes.first());
    pieces << QStringLiteral("-i video=") + QProcessCommand::quoted(deviceName);
    return true;
}

bool Builder::addMark(QStringList& pieces, int markType)
{
    if (markType == NoMark)
        return false;
    const QString file = QMarkSettings::markFile();
    if (!QFileInfo(file).isFile())
        return false;
    // The file is a PNG of our own making: the encoder is told so, and may open nothing but a
    // file for it, whatever the content claims to be.
    pieces << QStringLiteral("-f png_pipe -protocol_whitelist file -i ") +
                  QProcessCommand::quoted(QStringLiteral("file:") + file);
    return true;
}

int Builder::addSound(QStringList& pieces)
{
    const int type = QVideoSettings::getAudioType();
    int inputs = 0;
    if (type & MicrophoneOnly) {
        // The first microphone as it comes. A machine without one is refused rather than recorded
        // silently: the user would find their voice missing only after the recording.
        const QStringList microphones = QDeviceManager::audioInputNames();
        requireDevice(!microphones.isEmpty() && !microphones.first().isEmpty(),
                      QStringLiteral("microphone (no audio input listed)"),
                      QCommandLine::tr("未检测到麦克风。请连接麦克风，或在“声源”中选择其它声音来源。"));
        pieces << QStringLiteral("-f dshow")
               << QStringLiteral("-i audio=") + QProcessCommand::quoted(microphones.first());
        ++inputs;
    }
    if (type & SystemOnly) {
        const QStringList& audios = encoderDevices();
        requireDevice(audios.contains(VIRTUAL_AUDIO_CAPTURE), VIRTUAL_AUDIO_CAPTURE,
                      QCommandLine::tr("未找到系统声音来源：声音服务没有运行，或没有可录制的输出。"
                                       "请在“声源”中选择其它声音来源。"));
        pieces << QStringLiteral("-f dshow")
               << QStringLiteral("-i audio=") + QProcessCommand::quoted(VIRTUAL_AUDIO_CAPTURE);
        ++inputs;
    }
    if (inputs == 2)
        pieces << QStringLiteral("-filter_complex amix=inputs=2:duration=first:dropout_transition=2");
    return inputs;
}

void Builder::run(QStringList& pieces)
{
    pieces << QStringLiteral("-y");
    // Each read parses the settings file; one read each serves the whole build.
    const int mode = QVideoSettings::getMode();
    const bool screen = addScreen(pieces, mode);
    const bool camera = addCamera(pieces, mode);
    const int markType = QMarkSettings::getType();
    const bool mark = addMark(pieces, markType);
    if ((screen || camera) && mark) {
        const int position =
            markType == TextMark ? QMarkSettings::getTextPos() : QMarkSettings::getImagePos();
        pieces << QStringLiteral("-filter_complex ") + QProcessCommand::quoted(overlayOf(position));
    }
    const int soundInputs = addSound(pieces);

    const QualityProfile profile = profileOf(QVideoSettings::getQuality());
    pieces << QStringLiteral("-framerate %1").arg(profile.frameRate)
           << QStringLiteral("-r %1").arg(profile.frameRate)
           << QStringLiteral("-b:v %1k").arg(profile.videoKbps) << QStringLiteral("-crf %1").arg(profile.crf)
           << QStringLiteral("-c:v libx264") << QStringLiteral("-preset ultrafast")
           << QStringLiteral("-pix_fmt yuv420p");
    if (soundInputs > 0) {
        // The leading blank of the last piece is part of the established command line.
        pieces << QStringLiteral("-ar %1").arg(profile.sampleRate)
               << QStringLiteral("-ab %1k").arg(profile.audioKbps) << QStringLiteral(" -c:a aac");
    }

    pieces << QStringLiteral("-f %1 -movflags faststart").arg(QCommandLine::formatName());
    pieces << QProcessCommand::quoted(QCommandLine::segmentFile(m_workFolder, QDateTime::currentDateTime()));
}

} // namespace

QString QCommandLine::build(const QString& workFolder, const QRect& rect)
{
    setOutcome(false, QString());
    QStringList pieces;
    try {
        Builder(workFolder, rect).run(pieces);
    } catch (const UException& e) {
        setOutcome(true, QString::fromStdWString(e.message()));
    }
    return pieces.join(QLatin1Char(' '));
}

bool QCommandLine::hasError()
{
    QMutexLocker lock(&g_errorMutex);
    return g_hasError;
}

QString QCommandLine::errorString()
{
    QMutexLocker lock(&g_errorMutex);
    return g_errorString;
}

QString QCommandLine::formatName()
{
    switch (QVideoSettings::getFormat()) {
    case FLV:
        return QStringLiteral("flv");
    case WMV:
        return QStringLiteral("wmv");
    case AVI:
        return QStringLiteral("avi");
    default:
        return QStringLiteral("mp4");
    }
}

QString QCommandLine::segmentFile(const QString& folder, const QDateTime& at)
{
    return folder + QDir::separator() + at.toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss")) +
           QStringLiteral(".bak");
}
