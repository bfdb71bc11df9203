#include "CGlobal.h"
#include "CSetting.h"
#include "QVideoSettings.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QtTest>

#include <functional>

using IntGetter = std::function<int()>;
using IntSetter = std::function<void(int)>;
using StringGetter = std::function<QString()>;
using StringSetter = std::function<void(const QString&)>;
Q_DECLARE_METATYPE(IntGetter)
Q_DECLARE_METATYPE(IntSetter)
Q_DECLARE_METATYPE(StringGetter)
Q_DECLARE_METATYPE(StringSetter)

class TestVideoSettings : public QObject
{
    Q_OBJECT
    TestEnvironment env;

    static void clearStore() { QFile::remove(CGlobal::getSettingsFile()); }

private slots:
    void init() { clearStore(); }

    void intOptions_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("defaultValue");
        QTest::addColumn<IntGetter>("get");
        QTest::addColumn<IntSetter>("set");
        QTest::newRow("mode") << "video"
                              << "mode" << int(FullScreen) << IntGetter(&QVideoSettings::getMode)
                              << IntSetter(&QVideoSettings::setMode);
        QTest::newRow("quality") << "video"
                                 << "quality" << int(Recommended) << IntGetter(&QVideoSettings::getQuality)
                                 << IntSetter(&QVideoSettings::setQuality);
        QTest::newRow("format") << "video"
                                << "format" << int(MP4) << IntGetter(&QVideoSettings::getFormat)
                                << IntSetter(&QVideoSettings::setFormat);
        QTest::newRow("audio") << "audio"
                               << "type" << int(SystemOnly) << IntGetter(&QVideoSettings::getAudioType)
                               << IntSetter(&QVideoSettings::setAudioType);
        QTest::newRow("camera") << "camera"
                                << "type" << int(Off) << IntGetter(&QVideoSettings::getCameraType)
                                << IntSetter(&QVideoSettings::setCameraType);
    }

    // Defaults on an empty store, the stored key, no caching, and values outside the
    // enumeration returned as stored.
    void intOptions()
    {
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(int, defaultValue);
        QFETCH(IntGetter, get);
        QFETCH(IntSetter, set);
        QCOMPARE(get(), defaultValue);
        for (int value : {2, 3, 9, -1, 0}) {
            set(value);
            QCOMPARE(get(), value);
            QCOMPARE(CSetting::getInt(group, key, 12345), value);
        }
        // Written behind the store's back (another process, a hand edit): seen at once.
        CSetting::setValue(group, key, 7);
        QCOMPARE(get(), 7);
    }

    void stringOptions_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<StringGetter>("get");
        QTest::addColumn<StringSetter>("set");
        QTest::newRow("camera name") << "camera"
                                     << "name" << QString() << StringGetter(&QVideoSettings::getCameraName)
                                     << StringSetter(&QVideoSettings::setCameraName);
        QTest::newRow("start first") << "hot_key"
                                     << "key_start_first"
                                     << "Alt" << StringGetter(&QVideoSettings::getKeyStartFirst)
                                     << StringSetter(&QVideoSettings::setKeyStartFirst);
        QTest::newRow("start second") << "hot_key"
                                      << "key_start_second"
                                      << "F6" << StringGetter(&QVideoSettings::getKeyStartSecond)
                                      << StringSetter(&QVideoSettings::setKeyStartSecond);
        QTest::newRow("stop first") << "hot_key"
                                    << "key_stop_first"
                                    << "Alt" << StringGetter(&QVideoSettings::getKeyStopFirst)
                                    << StringSetter(&QVideoSettings::setKeyStopFirst);
        QTest::newRow("stop second") << "hot_key"
                                     << "key_stop_second"
                                     << "F7" << StringGetter(&QVideoSettings::getKeyStopSecond)
                                     << StringSetter(&QVideoSettings::setKeyStopSecond);
    }

    void stringOptions()
    {
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        QFETCH(StringGetter, get);
        QFETCH(StringSetter, set);
        QCOMPARE(get(), defaultValue);
        for (const QString& value :
             {QStringLiteral("Ctrl"), QStringLiteral("罗技 HD \"Pro\" (USB)"), QString()}) {
            set(value);
            QCOMPARE(get(), value);
            QCOMPARE(CSetting::getString(group, key, QStringLiteral("absent")), value);
        }
    }

    void savePathFollowsTheHostLibrary()
    {
        QCOMPARE(QVideoSettings::getSavePath(), CGlobal::getOutputPath());
        const QString chosen = env.home() + QStringLiteral("/录像 \"mine\"");
        QVideoSettings::setSavePath(chosen);
        QCOMPARE(QVideoSettings::getSavePath(), chosen);
        QCOMPARE(CSetting::getString("output", "path", QString()), chosen);
    }

    void emptyCameraNameWithCameraOn()
    {
        QVideoSettings::setCameraType(On);
        QVideoSettings::setCameraName(QString());
        QCOMPARE(QVideoSettings::getCameraType(), int(On));
        QCOMPARE(QVideoSettings::getCameraName(), QString());
    }
};

QTEST_GUILESS_MAIN(TestVideoSettings)
#include "tst_videosettings.moc"
