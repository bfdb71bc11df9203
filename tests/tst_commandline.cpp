#include "CGlobal.h"
#include "QCommandLine.h"
#include "QDeviceManager.h"
#include "QMarkSettings.h"
#include "QPath.h"
#include "QRecordLog.h"
#include "QVideoSettings.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {

const QString kWorkFolder = QStringLiteral("/videos/Vexlo录屏助手/2024-05-01-10-20-30");
const QString kEncoding18 =
    QStringLiteral("-framerate 18 -r 18 -b:v 300k -crf 22 -c:v libx264 -preset ultrafast -pix_fmt yuv420p");

struct Machine
{
    QStringList encoderDevices = {QStringLiteral("screen-capture-recorder"),
                                  QStringLiteral("virtual-audio-capturer")};
    QStringList cameras = {QStringLiteral("USB Cam")};
    QStringList microphones = {QStringLiteral("Mic A")};
    QStringList sizes = {QStringLiteral("1280x720"), QStringLiteral("640x480")};
    int listings = 0;
    QStringList sizeQueries;
};

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
    TestEnvironment env;
    Machine machine;

    void useMachine()
    {
        QDeviceManager::Provider p;
        p.encoderDeviceNames = [this] {
            ++machine.listings;
            return machine.encoderDevices;
        };
        p.videoInputNames = [this] { return machine.cameras; };
        p.audioInputNames = [this] { return machine.microphones; };
        p.cameraResolutions = [this](const QString& camera) {
            machine.sizeQueries << camera;
            return machine.sizes;
        };
        QDeviceManager::setProvider(p);
    }

    // Builds and returns the arguments, with the segment name the build must have used in `segment`.
    QString build(const QRect& rect, QString* segment = nullptr, const QString& workFolder = kWorkFolder)
    {
        for (;;) {
            const QString before = QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm-ss");
            const QString args = QCommandLine::build(workFolder, rect);
            const QString after = QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm-ss");
            if (before != after)
                continue;
            if (segment)
                *segment = QStringLiteral("\"%1%2%3.bak\"").arg(workFolder, QDir::separator(), before);
            return args;
        }
    }

    static void writeMarkFile()
    {
        QFile f(QMarkSettings::markFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("png");
    }

private slots:
    void init()
    {
        QFile::remove(CGlobal::getSettingsFile());
        QFile::remove(QMarkSettings::markFile());
        machine = Machine();
        useMachine();
    }

    void fullScreenSystemSound()
    {
        QVideoSettings::setMode(FullScreen);
        QVideoSettings::setAudioType(SystemOnly);
        QString segment;
        const QString args = build(QRect(0, 0, 1920, 1080), &segment);
        QVERIFY(!QCommandLine::hasError());
        QCOMPARE(QCommandLine::errorString(), QString());
        QCOMPARE(args, "-y -f gdigrab -offset_x 0 -offset_y 0 -video_size 1920x1080 -draw_mouse 1 -i desktop "
                       "-f dshow -i audio=\"virtual-audio-capturer\" " +
                           kEncoding18 + " -ar 44100 -ab 128k  -c:a aac -f mp4 -movflags faststart " +
                           segment);
    }

    void areaWithTextMarkAndBothSounds()
    {
        QVideoSettings::setMode(Area);
        QVideoSettings::setAudioType(SystemAndMicrophone);
        QVideoSettings::setQuality(HD);
        QVideoSettings::setFormat(FLV);
        QMarkSettings::setType(TextMark);
        QMarkSettings::setTextPos(BottomRight);
        QMarkSettings::setImagePos(TopLeft);
        writeMarkFile();
        QString segment;
        const QString args = build(QRect(100, 200, 1001, 601), &segment);
        QVERIFY(!QCommandLine::hasError());
        QCOMPARE(args,
                 "-y -f gdigrab -offset_x 100 -offset_y 200 -video_size 1000x600 -draw_mouse 1 -i desktop "
                 "-f png_pipe -protocol_whitelist file -i \"file:" +
                     CGlobal::getAppDataPath() +
                     "mark.png\" "
                     "-filter_complex \"overlay=(main_w-overlay_w) - 20:(main_h - overlay_h) - 20\" "
                     "-f dshow -i audio=\"Mic A\" -f dshow -i audio=\"virtual-audio-capturer\" "
                     "-filter_complex amix=inputs=2:duration=first:dropout_transition=2 "
                     "-framerate 24 -r 24 -b:v 800k -crf 18 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
                     "-ar 48000 -ab 256k  -c:a aac -f flv -movflags faststart " +
                     segment);
        // The encoder's device list is asked once however many checks need it.
        QCOMPARE(machine.listings, 1);

        // A picture mark takes the picture's corner.
        QMarkSettings::setType(ImageMark);
        QVERIFY(build(QRect(0, 0, 640, 480)).contains("-filter_complex \"overlay=20:20\" "));
        QMarkSettings::setImagePos(TopRight);
        QVERIFY(
            build(QRect(0, 0, 640, 480)).contains("-filter_complex \"overlay=(main_w-overlay_w) - 20:20\" "));
        QMarkSettings::setImagePos(BottomLeft);
        QVERIFY(build(QRect(0, 0, 640, 480))
                    .contains("-filter_complex \"overlay=20:(main_h - overlay_h) - 20\" "));
        // A corner outside the table is the default corner, never an empty expression.
        QMarkSettings::setImagePos(4);
        QVERIFY(
            build(QRect(0, 0, 640, 480)).contains("-filter_complex \"overlay=(main_w-overlay_w) - 20:20\" "));
    }

    void camera()
    {
        QVideoSettings::setMode(Camera);
        QVideoSettings::setCameraType(On);
        QVideoSettings::setCameraName("USB Cam");
        QVideoSettings::setAudioType(NoAudio);
        QVideoSettings::setQuality(Low);
        QVideoSettings::setFormat(AVI);
        QString segment;
        const QString args = build(QRect(0, 0, 1920, 1080), &segment);
        QVERIFY(!QCommandLine::hasError());
        QCOMPARE(args, "-y -f dshow -video_size 1280x720 -i video=\"USB Cam\" -framerate 15 -r 15 -b:v 180k "
                       "-crf 24 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -f avi -movflags faststart " +
                           segment);
        QCOMPARE(machine.sizeQueries, QStringList({"USB Cam"}));

        // A camera without listed sizes gets no size option.
        machine.sizes.clear();
        QVERIFY(build(QRect()).startsWith("-y -f dshow -i video=\"USB Cam\" -framerate 15 "));
    }

    void game()
    {
        QVideoSettings::setMode(Game);
        QVideoSettings::setAudioType(NoAudio);
        QString segment;
        const QString args = build(QRect(0, 0, 1920, 1080), &segment);
        QVERIFY(!QCommandLine::hasError());
        QCOMPARE(args, "-y -f dshow -i video=\"screen-capture-recorder\" " + kEncoding18 +
                           " -f mp4 -movflags faststart " + segment);
    }

    void rectangleIsEvenedAndSigned_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("expected");
        QTest::newRow("odd width") << QRect(0, 0, 1001, 600)
                                   << "-offset_x 0 -offset_y 0 -video_size 1000x600 ";
        QTest::newRow("odd height") << QRect(0, 0, 800, 601)
                                    << "-offset_x 0 -offset_y 0 -video_size 800x600 ";
        QTest::newRow("even") << QRect(10, 20, 1002, 602)
                              << "-offset_x 10 -offset_y 20 -video_size 1002x602 ";
        QTest::newRow("left monitor")
            << QRect(-1920, 0, 1920, 1080) << "-offset_x -1920 -offset_y 0 -video_size 1920x1080 ";
        QTest::newRow("above") << QRect(-5, -1079, 3, 1079)
                               << "-offset_x -5 -offset_y -1079 -video_size 2x1078 ";
    }

    void rectangleIsEvenedAndSigned()
    {
        QFETCH(QRect, rect);
        QFETCH(QString, expected);
        // Any mode but game and camera captures the rectangle.
        QVideoSettings::setMode(7);
        QVideoSettings::setAudioType(NoAudio);
        QCOMPARE(build(rect).section("-f gdigrab ", 1).left(expected.size()), expected);
    }

    void cameraOffLeavesOnlyTheMark()
    {
        QVideoSettings::setMode(Camera);
        QVideoSettings::setCameraType(Off);
        QVideoSettings::setAudioType(NoAudio);
        QMarkSettings::setType(TextMark);
        writeMarkFile();
        const QString args = build(QRect());
        QVERIFY(!QCommandLine::hasError());
        QVERIFY(args.startsWith("-y -f png_pipe -protocol_whitelist file -i \"file:" +
                                QMarkSettings::markFile() + "\" -framerate 18 "));
        QVERIFY(!args.contains("-filter_complex"));
        QVERIFY(machine.sizeQueries.isEmpty());

        // A mark kind chosen but no file yet: no mark input at all.
        QFile::remove(QMarkSettings::markFile());
        QVERIFY(build(QRect()).startsWith("-y -framerate 18 "));
        // No mark chosen: an old file is not used.
        writeMarkFile();
        QMarkSettings::setType(NoMark);
        QVERIFY(build(QRect()).startsWith("-y -framerate 18 "));
    }

    void firstMicrophoneIsUsed()
    {
        QVideoSettings::setAudioType(MicrophoneOnly);
        machine.microphones = QStringList({"Mic B", "Mic A"});
        QVERIFY(build(QRect(0, 0, 640, 480)).contains(" -f dshow -i audio=\"Mic B\" -framerate 18 "));
        // The microphone needs no encoder listing.
        QCOMPARE(machine.listings, 0);
    }

    // A missing device refuses the build with what is missing as the user knows it and what to do;
    // the device's own name is for the encoder log.
    void missingDevices_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("audio");
        QTest::addColumn<QStringList>("encoderDevices");
        QTest::addColumn<QStringList>("microphones");
        QTest::addColumn<QString>("cameraName");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("builtSoFar");
        const QString screen =
            "-y -f gdigrab -offset_x 0 -offset_y 0 -video_size 640x480 -draw_mouse 1 -i desktop";
        const QString soundHint = QStringLiteral("请在“声源”中选择其它声音来源。");
        QTest::newRow("system sound")
            << int(FullScreen) << int(SystemOnly) << QStringList({"screen-capture-recorder"})
            << QStringList({"Mic"}) << QString() << "virtual-audio-capturer"
            << QStringLiteral("未找到系统声音来源：声音服务没有运行，或没有可录制的输出。") + soundHint
            << screen;
        QTest::newRow("microphone") << int(Area) << int(MicrophoneOnly) << QStringList() << QStringList()
                                    << QString() << "microphone"
                                    << QStringLiteral("未检测到麦克风。请连接麦克风，或") + soundHint.mid(1)
                                    << screen;
        QTest::newRow("unnamed microphone of both")
            << int(Area) << int(SystemAndMicrophone) << QStringList({"virtual-audio-capturer"})
            << QStringList({QString(), "Mic B"}) << QString() << "microphone"
            << QStringLiteral("未检测到麦克风。请连接麦克风，或") + soundHint.mid(1) << screen;
        QTest::newRow("game") << int(Game) << int(NoAudio) << QStringList({"virtual-audio-capturer"})
                              << QStringList() << QString() << "screen-capture-recorder"
                              << QStringLiteral(
                                     "无法录制整个桌面：屏幕画面无法获取。请在“模式”中选择其它录制模式。")
                              << "-y";
        QTest::newRow("camera")
            << int(Camera) << int(SystemOnly) << QStringList() << QStringList() << "Other Cam"
            << "Other Cam"
            << QStringLiteral("未检测到摄像头“Other Cam”。请连接摄像头，或在“模式”中选择其它录制模式。")
            << "-y";
        QTest::newRow("empty camera name")
            << int(Camera) << int(NoAudio) << QStringList() << QStringList() << QString() << QString()
            << QStringLiteral("未检测到摄像头。请连接摄像头，或在“模式”中选择其它录制模式。") << "-y";
    }

    void missingDevices()
    {
        QFETCH(int, mode);
        QFETCH(int, audio);
        QFETCH(QStringList, encoderDevices);
        QFETCH(QStringList, microphones);
        QFETCH(QString, cameraName);
        QFETCH(QString, logged);
        QFETCH(QString, message);
        QFETCH(QString, builtSoFar);
        QVideoSettings::setMode(mode);
        QVideoSettings::setAudioType(audio);
        QVideoSettings::setCameraType(On);
        QVideoSettings::setCameraName(cameraName);
        machine.encoderDevices = encoderDevices;
        machine.microphones = microphones;
        QRecordLog::create();
        QCOMPARE(QCommandLine::build(kWorkFolder, QRect(0, 0, 640, 480)), builtSoFar);
        QVERIFY(QCommandLine::hasError());
        QCOMPARE(QCommandLine::errorString(), message);
        QRecordLog::close();
        QFile log(QRecordLog::fileName());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(log.readAll()).contains("Device not found: " + logged));
        QRecordLog::discard();

        // The next build starts with a clean outcome.
        machine.encoderDevices = QStringList({"screen-capture-recorder", "virtual-audio-capturer"});
        machine.cameras << cameraName;
        machine.microphones = QStringList({"Mic A"});
        QVERIFY(build(QRect(0, 0, 640, 480)).endsWith(".bak\""));
        QVERIFY(!QCommandLine::hasError());
        QCOMPARE(QCommandLine::errorString(), QString());
    }

    void qualityAndFormatFallbacks()
    {
        QVideoSettings::setAudioType(SystemOnly);
        QVideoSettings::setQuality(High);
        QVideoSettings::setFormat(WMV);
        QString args = build(QRect(0, 0, 640, 480));
        QVERIFY(args.contains("-framerate 24 -r 24 -b:v 500k -crf 20 "));
        QVERIFY(args.contains("-ar 48000 -ab 256k  -c:a aac -f wmv -movflags faststart \""));
        QCOMPARE(QCommandLine::formatName(), QStringLiteral("wmv"));

        QVideoSettings::setQuality(9);
        QVideoSettings::setFormat(9);
        args = build(QRect(0, 0, 640, 480));
        QVERIFY(args.contains("-framerate 30 -r 30 -b:v 2000k -crf 18 "));
        QVERIFY(args.contains("-ar 44100 -ab 128k  -c:a aac -f mp4 -movflags faststart \""));
        QCOMPARE(QCommandLine::formatName(), QStringLiteral("mp4"));
        const QStringList names = {"mp4", "flv", "wmv", "avi"};
        for (int format : {0, 1, 3, 4, -1}) {
            QVideoSettings::setFormat(format);
            QCOMPARE(QCommandLine::formatName(), names.value(format, "mp4"));
        }
    }

    void sameSecondSameSegment()
    {
        QVideoSettings::setAudioType(NoAudio);
        for (;;) {
            const QString first = QCommandLine::build(kWorkFolder, QRect(0, 0, 640, 480));
            const QString second = QCommandLine::build(kWorkFolder, QRect(0, 0, 640, 480));
            if (first.right(26) != second.right(26))
                continue; // the second turned between the builds
            QCOMPARE(first, second);
            break;
        }
    }

    // Names and paths with double quotes or blanks reach the encoder as intact arguments once
    // the recording manager's command string is split.
    void quotesSurviveTheCommandString()
    {
        const QString camera = QStringLiteral("Cam \"Pro\" 2\"");
        const QString microphone = QStringLiteral("\"Mic\" A");
        const QString workFolder = env.home() + QStringLiteral("/my \"videos\"/Vexlo录屏助手/x");
        QVideoSettings::setMode(Camera);
        QVideoSettings::setCameraType(On);
        QVideoSettings::setCameraName(camera);
        QVideoSettings::setAudioType(SystemAndMicrophone);
        QMarkSettings::setType(TextMark);
        writeMarkFile();
        machine.cameras = QStringList({camera});
        machine.microphones = QStringList({microphone});
        QString segment;
        const QString args = build(QRect(), &segment, workFolder);
        QVERIFY(!QCommandLine::hasError());

        const QString command =
            QStringLiteral("\"%1%2\" %3").arg(QPath::programFolder(), "zrk_video_capture.exe", args);
        const QStringList argv = QProcess::splitCommand(command);
        QCOMPARE(argv.value(0), QPath::programFolder() + "zrk_video_capture.exe");
        QVERIFY2(argv.contains("video=" + camera), qPrintable(argv.join('|')));
        QVERIFY2(argv.contains("audio=" + microphone), qPrintable(argv.join('|')));
        QVERIFY(argv.contains("audio=virtual-audio-capturer"));
        QVERIFY(argv.contains("file:" + QMarkSettings::markFile()));
        QVERIFY(argv.contains("overlay=(main_w-overlay_w) - 20:20"));
        QVERIFY(argv.contains("amix=inputs=2:duration=first:dropout_transition=2"));
        // The segment as the build named it, without the surrounding quotes.
        QCOMPARE(argv.last(), segment.mid(1, segment.size() - 2));
        QVERIFY(argv.last().startsWith(workFolder + QDir::separator()));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
