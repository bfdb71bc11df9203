#include "FakeEncoder.h"
#include "QDeviceManager.h"
#include "QPath.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

// A listing as the encoder prints it: each device with its alternative name, one camera with
// parentheses and one with a non-ASCII name, the screen source listed twice.
static const char* const kListing =
    "[dshow @ 000001] DirectShow video devices (some may be both video and audio devices)\n"
    "[dshow @ 000001]  \"USB Cam\"\n"
    "[dshow @ 000001]     Alternative name \"@device_pnp_\\\\?\\usb#vid_046d&pid_0825#{65e8773d}\\global\"\n"
    "[dshow @ 000001]  \"HD Camera (USB)\"\n"
    "[dshow @ 000001]     Alternative name \"@device_pnp_\\\\?\\usb#vid_0bda\"\n"
    "[dshow @ 000001]  \"\xe7\xbd\x97\xe6\x8a\x80 Cam\"\n"
    "[dshow @ 000001]  \"screen-capture-recorder\"\n"
    "[dshow @ 000001]     Alternative name \"@device_sw_{860BB310-5D01-11D0-BD3B-00A0C911CE86}\"\n"
    "[dshow @ 000001] DirectShow audio devices\n"
    "[dshow @ 000001]  \"Mic A 2.0\"\n"
    "[dshow @ 000001]  \"virtual-audio-capturer\"\n"
    "[dshow @ 000001]  \"screen-capture-recorder\"\n"
    "dummy: Immediate exit requested\n";

static const char* const kOptions =
    "[dshow @ 000001] DirectShow video device options (from video devices)\n"
    "[dshow @ 000001]  Pin \"Capture\" (alternative pin name \"0\")\n"
    "[dshow @ 000001]   vcodec=mjpeg  min s=1280x720 fps=5 max s=1280x720 fps=30\n"
    "[dshow @ 000001]   pixel_format=yuyv422  min s=640x480 fps=5 max s=640x480 fps=30\n"
    "[dshow @ 000001]   pixel_format=yuyv422  min s=160x120 fps=5 max s=160x120 fps=30\n"
    "[dshow @ 000001]   vcodec=mjpeg  min s=1920x1080 fps=5 max s=1920x1080 fps=30\n"
    "[dshow @ 000001]   pixel_format=yuyv422  min s=1280x720 fps=5 max s=1280x720 fps=10\n"
    "[dshow @ 000001]   pixel_format=yuyv422  min s=80x60 fps=5 max s=80x60 fps=30\n";

static const QStringList kExpectedDevices = {
    QStringLiteral("USB Cam"), QStringLiteral("screen-capture-recorder"), QStringLiteral("Mic A 2.0"),
    QStringLiteral("virtual-audio-capturer")};
static const QStringList kExpectedSizes = {QStringLiteral("1280x720"), QStringLiteral("640x480"),
                                           QStringLiteral("160x120"), QStringLiteral("1920x1080")};

class TestDeviceManager : public QObject
{
    Q_OBJECT
    TestEnvironment env;
    QString programFolder;

private slots:
    void initTestCase()
    {
        programFolder = env.home() + QStringLiteral("/program");
        QDir().mkpath(programFolder);
        // The program folder is the working directory at its first use.
        QVERIFY(QDir::setCurrent(programFolder));
        QCOMPARE(QPath::programFolder(), QDir::currentPath() + QLatin1Char('/'));
    }

    void cleanup()
    {
        QDeviceManager::resetProvider();
        qunsetenv("REELCAST_DEVICES");
    }

    void parsesListings()
    {
        QCOMPARE(QDeviceManager::parseDeviceListing(QString::fromUtf8(kListing)), kExpectedDevices);
        QCOMPARE(QDeviceManager::parseResolutions(QString::fromUtf8(kOptions)), kExpectedSizes);
        QVERIFY(QDeviceManager::parseDeviceListing(QString()).isEmpty());
        QVERIFY(QDeviceManager::parseResolutions(QStringLiteral("no sizes 99x99 here")).isEmpty());
        // Names differing only in case are different devices.
        QCOMPARE(QDeviceManager::parseDeviceListing(QStringLiteral("\"Cam\" x \"cam\" \"Cam\"")),
                 QStringList({QStringLiteral("Cam"), QStringLiteral("cam")}));
    }

    void runsTheProgramFolderEncoder()
    {
        FakeEncoder encoder(programFolder);
        encoder.install(QString::fromUtf8(kListing), QString::fromUtf8(kOptions));

        QCOMPARE(QDeviceManager::encoderDeviceNames(), kExpectedDevices);
        QCOMPARE(encoder.lastArguments(),
                 QStringList({QStringLiteral("-f"), QStringLiteral("dshow"), QStringLiteral("-list_devices"),
                              QStringLiteral("true"), QStringLiteral("-i"), QStringLiteral("dummy")}));

        QCOMPARE(QDeviceManager::cameraResolutions(QStringLiteral("USB Cam")), kExpectedSizes);
        QCOMPARE(
            encoder.lastArguments(),
            QStringList({QStringLiteral("-list_options"), QStringLiteral("true"), QStringLiteral("-f"),
                         QStringLiteral("dshow"), QStringLiteral("-i"), QStringLiteral("video=USB Cam")}));

        // A camera name with double quotes reaches the encoder as one intact argument.
        const QString odd = QStringLiteral("Cam \"Pro\" 2\"");
        QDeviceManager::cameraResolutions(odd);
        QCOMPARE(encoder.lastArguments().value(5), QStringLiteral("video=") + odd);
    }

    void missingEncoderGivesEmptyLists()
    {
        FakeEncoder encoder(programFolder);
        encoder.remove();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(QDeviceManager::encoderDeviceNames().isEmpty());
        QVERIFY(QDeviceManager::cameraResolutions(QStringLiteral("USB Cam")).isEmpty());
        QVERIFY(timer.elapsed() < 10000);
    }

    void hangingEncoderIsCutOff()
    {
        FakeEncoder encoder(programFolder);
        encoder.install(QStringLiteral("[dshow @ 1]  \"screen-capture-recorder\"\n"), QString(),
                        FakeEncoder::Hangs);
        QElapsedTimer timer;
        timer.start();
        // What it printed before the limit still counts.
        QCOMPARE(QDeviceManager::encoderDeviceNames(),
                 QStringList({QStringLiteral("screen-capture-recorder")}));
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 29000 && elapsed < 40000, qPrintable(QString::number(elapsed)));
        encoder.remove();
    }

    void simulatedCamera()
    {
        QVERIFY(!QDeviceManager::videoInputNames().contains(QStringLiteral("Test Camera")));
        qputenv("REELCAST_DEVICES", "simulated");
        QCOMPARE(QDeviceManager::videoInputNames().value(0), QStringLiteral("Test Camera"));
    }

    void providerReplacesTheMachine()
    {
        int listings = 0;
        QDeviceManager::Provider provider;
        provider.encoderDeviceNames = [&] {
            ++listings;
            return QStringList({QStringLiteral("virtual-audio-capturer")});
        };
        provider.audioInputNames = [] { return QStringList({QStringLiteral("Mic A")}); };
        provider.monitorRects = [] { return QList<QRect>({QRect(-1920, 0, 1920, 1080)}); };
        QDeviceManager::setProvider(provider);
        QCOMPARE(QDeviceManager::encoderDeviceNames(),
                 QStringList({QStringLiteral("virtual-audio-capturer")}));
        QCOMPARE(QDeviceManager::audioInputNames(), QStringList({QStringLiteral("Mic A")}));
        QCOMPARE(QDeviceManager::monitorRects(), QList<QRect>({QRect(-1920, 0, 1920, 1080)}));
        QCOMPARE(listings, 1);

        // Queries without an override still ask the machine; after a reset everything does.
        FakeEncoder encoder(programFolder);
        encoder.install(QString(), QStringLiteral("s=320x240"));
        QCOMPARE(QDeviceManager::cameraResolutions(QStringLiteral("x")),
                 QStringList({QStringLiteral("320x240")}));
        QDeviceManager::resetProvider();
        QVERIFY(QDeviceManager::encoderDeviceNames().isEmpty());
        QCOMPARE(listings, 1);
    }

    // The real adapter's listings, in simulated mode so that no hardware is needed.
    void readsTheAdapterListings()
    {
        const QString adapter = TestEnvironment::programDir() + QStringLiteral("/zrk_video_capture.exe");
        if (!QFileInfo::exists(adapter))
            QSKIP("the encoder adapter is not built");
        FakeEncoder placeholder(programFolder);
        placeholder.remove();
        QVERIFY(QFile::copy(adapter, placeholder.programPath()));
        qputenv("REELCAST_DEVICES", "simulated");
        const QStringList devices = QDeviceManager::encoderDeviceNames();
        QVERIFY2(devices.contains(QStringLiteral("Test Camera")), qPrintable(devices.join('|')));
        QVERIFY2(devices.contains(QStringLiteral("virtual-audio-capturer")), qPrintable(devices.join('|')));
        QCOMPARE(QDeviceManager::cameraResolutions(QStringLiteral("Test Camera")),
                 QStringList({QStringLiteral("1280x720"), QStringLiteral("640x480")}));
        placeholder.remove();
    }

    void monitorsAreReadOnce()
    {
        const QList<QRect> first = QDeviceManager::monitorRects();
        QCOMPARE(first.size(), QGuiApplication::screens().size());
        QCOMPARE(first.value(0), QGuiApplication::primaryScreen()->geometry());
        QCOMPARE(QDeviceManager::monitorRects(), first);
    }
};

QTEST_MAIN(TestDeviceManager)
#include "tst_devicemanager.moc"
