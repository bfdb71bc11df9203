#include "QVideoSettings.h"

#include "CGlobal.h"
#include "CSetting.h"

#include <QDir>

namespace {

const QString kVideo = QStringLiteral("video");
const QString kAudio = QStringLiteral("audio");
const QString kCamera = QStringLiteral("camera");
const QString kOutput = QStringLiteral("output");
const QString kHotKey = QStringLiteral("hot_key");

} // namespace

int QVideoSettings::getMode()
{
    return CSetting::getInt(kVideo, QStringLiteral("mode"), FullScreen);
}

void QVideoSettings::setMode(int mode)
{
    CSetting::setValue(kVideo, QStringLiteral("mode"), QVariant(mode));
}

int QVideoSettings::getQuality()
{
    return CSetting::getInt(kVideo, QStringLiteral("quality"), Recommended);
}

void QVideoSettings::setQuality(int quality)
{
    CSetting::setValue(kVideo, QStringLiteral("quality"), QVariant(quality));
}

int QVideoSettings::getFormat()
{
    return CSetting::getInt(kVideo, QStringLiteral("format"), MP4);
}

void QVideoSettings::setFormat(int format)
{
    CSetting::setValue(kVideo, QStringLiteral("format"), QVariant(format));
}

int QVideoSettings::getAudioType()
{
    return CSetting::getInt(kAudio, QStringLiteral("type"), SystemOnly);
}

void QVideoSettings::setAudioType(int type)
{
    CSetting::setValue(kAudio, QStringLiteral("type"), QVariant(type));
}

int QVideoSettings::getCameraType()
{
    return CSetting::getInt(kCamera, QStringLiteral("type"), Off);
}

void QVideoSettings::setCameraType(int type)
{
    CSetting::setValue(kCamera, QStringLiteral("type"), QVariant(type));
}

QString QVideoSettings::getCameraName()
{
    return CSetting::getString(kCamera, QStringLiteral("name"), QString());
}

void QVideoSettings::setCameraName(const QString& name)
{
    CSetting::setValue(kCamera, QStringLiteral("name"), QVariant(name));
}

QString QVideoSettings::getSavePath()
{
    // The default follows the host library at every call, never a value remembered here.
    const QString fallback = CGlobal::getOutputPath();
    const QString stored = CSetting::getString(kOutput, QStringLiteral("path"), fallback);
    // Only an absolute path names a local folder: "pipe:", "tcp:host:port" or a relative name
    // would reach the encoder as a protocol or a folder of the working directory.
    return QDir::isAbsolutePath(QDir::fromNativeSeparators(stored)) ? stored : fallback;
}

void QVideoSettings::setSavePath(const QString& path)
{
    CSetting::setValue(kOutput, QStringLiteral("path"), QVariant(path));
}

QString QVideoSettings::getKeyStartFirst()
{
    return CSetting::getString(kHotKey, QStringLiteral("key_start_first"), tr("Alt"));
}

void QVideoSettings::setKeyStartFirst(const QString& key)
{
    CSetting::setValue(kHotKey, QStringLiteral("key_start_first"), QVariant(key));
}

QString QVideoSettings::getKeyStartSecond()
{
    return CSetting::getString(kHotKey, QStringLiteral("key_start_second"), tr("F6"));
}

void QVideoSettings::setKeyStartSecond(const QString& key)
{
    CSetting::setValue(kHotKey, QStringLiteral("key_start_second"), QVariant(key));
}

QString QVideoSettings::getKeyStopFirst()
{
    return CSetting::getString(kHotKey, QStringLiteral("key_stop_first"), tr("Alt"));
}

void QVideoSettings::setKeyStopFirst(const QString& key)
{
    CSetting::setValue(kHotKey, QStringLiteral("key_stop_first"), QVariant(key));
}

QString QVideoSettings::getKeyStopSecond()
{
    return CSetting::getString(kHotKey, QStringLiteral("key_stop_second"), tr("F7"));
}

void QVideoSettings::setKeyStopSecond(const QString& key)
{
    CSetting::setValue(kHotKey, QStringLiteral("key_stop_second"), QVariant(key));
}
