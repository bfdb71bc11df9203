#pragma once

#include "RecordTypes.h"

#include <QObject>
#include <QString>

// The persisted recording options. Nothing is cached: each getter reads the store and each
// setter writes at once, so the next command line sees a change immediately. Values outside
// their enumeration are returned unchanged; the readers decide what they mean.
class QVideoSettings : public QObject
{
    Q_OBJECT
public:
    static int getMode();
    static void setMode(int mode);
    static int getQuality();
    static void setQuality(int quality);
    static int getFormat();
    static void setFormat(int format);
    static int getAudioType();
    static void setAudioType(int type);
    static int getCameraType();
    static void setCameraType(int type);
    static QString getCameraName();
    static void setCameraName(const QString& name);
    // The stored save folder if it is an absolute path, otherwise the default output folder.
    static QString getSavePath();
    static void setSavePath(const QString& path);

    static QString getKeyStartFirst();
    static void setKeyStartFirst(const QString& key);
    static QString getKeyStartSecond();
    static void setKeyStartSecond(const QString& key);
    static QString getKeyStopFirst();
    static void setKeyStopFirst(const QString& key);
    static QString getKeyStopSecond();
    static void setKeyStopSecond(const QString& key);

private:
    QVideoSettings() = delete;
};
