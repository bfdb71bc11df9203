// The built program driven as a user drives it: hot keys and clicks through xdotool on a real
// X server, recordings through the real encoder, results checked with ffprobe and screenshots.
#include "DesktopDriver.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

namespace {

// Positions in the main window (778 x 444, the 4 px shadow margin included). Buttons are clicked
// at their centre and their colour is read beside their text.
const QPoint kStartButton(692, 353);
const QPoint kStartFace(640, 340);
const QPoint kPauseFace(489, 340);
const QPoint kStopButton(692, 353);
const QPoint kCloseButton(743, 27);
// The progress panel lies centred on the window: a spot of its plain background and one of its
// play button, which only the result state shows.
const QPoint kPanelBackground(219, 135);
const QPoint kPlayFace(405, 308);

const QSize kFloatBar(219, 48);
const char* const kMessageBox = "HMessageBox";
// The message box's buttons: confirm beside cancel, or confirm alone in cancel's place.
const QPoint kBoxConfirm(190, 159);
const QPoint kBoxCancel(314, 159);
const QPoint kBoxOnlyConfirm(314, 159);
const char* const kSettingsDialog = "QMarkSettingDialog";
const QPoint kSettingsClose(683, 28);

bool isBlue(QRgb c)
{
    return qBlue(c) > 200 && qRed(c) < 120;
}

} // namespace

class TestUserFlow : public QObject
{
    Q_OBJECT

    QString saveDir_;

    // Everything below the save folder that is not a finished recording.
    static QStringList leftovers(const QString& folder, const QString& keep)
    {
        QStringList files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            if (f != keep)
                files << f;
        }
        return files;
    }

    static QStringList recordings(const QString& folder)
    {
        QStringList names;
        for (const QFileInfo& fi : QDir(folder).entryInfoList({"Vexlo*.mp4"}, QDir::Files))
            names << fi.absoluteFilePath();
        return names;
    }

    // Waits for the result panel of a finished recording, then for the saved file.
    static void waitForResult(DesktopDriver& d)
    {
        QTRY_VERIFY_WITH_TIMEOUT(
            isBlue(d.pixel(kPlayFace)) && d.pixel(kPanelBackground) == qRgb(0x39, 0x3B, 0x40), 30000);
    }

    // Whether the window shows its idle record row: the start button alone.
    static bool isIdleLook(DesktopDriver& d)
    {
        return isBlue(d.pixel(kStartFace)) && !isBlue(d.pixel(kPauseFace));
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display and a sound server (run through scripts/with-desktop)");
        if (QStandardPaths::findExecutable("xdotool").isEmpty())
            QSKIP("needs xdotool");
    }

    // Alt+F6 starts, pauses and resumes, Alt+F7 stops; one file of the recorded length appears
    // and everything else the recording wrote is gone.
    void fullScreenWithSoundByHotKeys()
    {
        DesktopDriver d;
        d.setOption("audio/type", 1);
        QVERIFY(d.start());
        QElapsedTimer run;
        d.key("alt+F6");
        run.start();
        QTRY_VERIFY_WITH_TIMEOUT(d.encoderRunning(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsOfSize(kFloatBar).isEmpty(), 5000);
        d.screenshot("recording", QRect(1280, 720, 640, 360));
        QTest::qWait(2000);
        d.key("alt+F6");
        qint64 recorded = run.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(!d.encoderRunning(), 10000);
        QTest::qWait(1000);
        d.key("alt+F6");
        run.restart();
        QTRY_VERIFY_WITH_TIMEOUT(d.encoderRunning(), 10000);
        QTest::qWait(2000);
        // The merge waits for every encoder to end: a stand-in keeps the waiting state up.
        d.holdMerge();
        d.key("alt+F7");
        recorded += run.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(d.pixel(kPanelBackground) == qRgb(0x39, 0x3B, 0x40), 20000);
        QVERIFY(!isBlue(d.pixel(kPlayFace)));
        QVERIFY(d.windowsOfSize(kFloatBar).isEmpty());
        d.screenshot("finishing", d.windowRect());
        d.releaseMerge();
        waitForResult(d);
        QTest::qWait(300);
        d.screenshot("result", d.windowRect());

        const QStringList files = recordings(d.saveDir());
        QCOMPARE(files.size(), 1);
        const Probe p = probe(files.first());
        // Each run loses the encoder's start to the recording.
        QVERIFY2(p.duration > recorded / 1000.0 - 1.5 && p.duration < recorded / 1000.0 + 0.3,
                 qPrintable(QStringLiteral("%1 s of %2 ms").arg(p.duration).arg(recorded)));
        QCOMPARE(p.videoCodec, QStringLiteral("h264"));
        QCOMPARE(p.audioCodec, QStringLiteral("aac"));
        QTRY_COMPARE_WITH_TIMEOUT(leftovers(d.saveDir(), files.first()), QStringList(), 10000);
    }

    // The overlays take a dragged rectangle and a double click; the encoder records exactly that
    // rectangle and the bar sits below it. Cancelling the overlays leaves the window idle.
    void areaByOverlays()
    {
        DesktopDriver d;
        d.setOption("video/mode", 1);
        d.setOption("audio/type", 0);
        QVERIFY(d.start());

        d.click(kStartButton);
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsOfSize(QSize(1920, 1080)).isEmpty(), 10000);
        d.rootClick(QPoint(900, 500), 3);
        QTRY_VERIFY_WITH_TIMEOUT(d.windowsOfSize(QSize(1920, 1080)).isEmpty(), 5000);
        QVERIFY(!d.encoderRunning());
        QTRY_VERIFY_WITH_TIMEOUT(isIdleLook(d), 5000);

        d.click(kStartButton);
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsOfSize(QSize(1920, 1080)).isEmpty(), 10000);
        QTest::qWait(300);
        d.rootDrag(QPoint(1000, 300), QPoint(1640, 780));
        d.screenshot("area-selection", QRect(540, 250, 1160, 580));
        d.rootDoubleClick(QPoint(1300, 500));
        QTRY_VERIFY_WITH_TIMEOUT(d.encoderRunning(), 10000);
        const QList<QRect> bars = d.windowsOfSize(kFloatBar);
        QCOMPARE(bars.size(), 1);
        // Right-aligned with the frame around the area (1 px outside it), just below it.
        const QPoint expected(1640 - kFloatBar.width(), 782);
        QVERIFY2((bars.first().topLeft() - expected).manhattanLength() <= 4,
                 qPrintable(QStringLiteral("bar at %1,%2").arg(bars.first().x()).arg(bars.first().y())));
        QTest::qWait(2000);
        d.key("alt+F7");
        waitForResult(d);
        const QStringList files = recordings(d.saveDir());
        QCOMPARE(files.size(), 1);
        const Probe p = probe(files.first());
        // The dragged rectangle, rounded down to even sides for the encoder.
        QVERIFY2(qAbs(p.width - 640) <= 2 && qAbs(p.height - 480) <= 2,
                 qPrintable(QStringLiteral("%1x%2").arg(p.width).arg(p.height)));
    }

    // The simulated camera is recorded by the encoder while its preview is stopped; the preview
    // comes back once the file is saved.
    void cameraStopsAndRestartsPreview()
    {
        DesktopDriver d;
        d.setEnv("REELCAST_DEVICES", "simulated");
        d.setOption("video/mode", 3);
        d.setOption("camera/type", 2);
        d.setOption("camera/name", "Test Camera");
        d.setOption("audio/type", 0);
        QVERIFY(d.start());
        QTRY_VERIFY_WITH_TIMEOUT(d.processRunning("vcamera.exe"), 15000);
        d.click(kStartButton);
        QTRY_VERIFY_WITH_TIMEOUT(d.encoderRunning(), 15000);
        QVERIFY(!d.processRunning("vcamera.exe"));
        QCOMPARE(d.windowsOfSize(kFloatBar).size(), 1);
        QTest::qWait(2500);
        d.key("alt+F7");
        waitForResult(d);
        QTRY_VERIFY_WITH_TIMEOUT(d.processRunning("vcamera.exe"), 15000);
        const QStringList files = recordings(d.saveDir());
        QCOMPARE(files.size(), 1);
        const Probe p = probe(files.first());
        QVERIFY(p.width > 0);
        QVERIFY(p.duration > 1.0);
    }

    // With the bar hidden by app.ini the recording is stopped from the window's own button.
    void hiddenToolbarStopsFromWindow()
    {
        DesktopDriver d;
        d.setAppIni("hide_toolbar=true");
        d.setOption("audio/type", 0);
        QVERIFY(d.start());
        d.click(kStartButton);
        QTRY_VERIFY_WITH_TIMEOUT(d.encoderRunning(), 10000);
        QTest::qWait(2000);
        QVERIFY(d.windowsOfSize(kFloatBar).isEmpty());
        d.restoreWindow();
        d.click(kStopButton);
        waitForResult(d);
        QCOMPARE(recordings(d.saveDir()).size(), 1);
    }

    // Below 1 GiB free nothing starts and "去修改" leads to the settings; during a recording,
    // less than 50 MiB left pauses, asks, and stops with the file saved.
    void freeSpaceLimits()
    {
        if (getuid() != 0)
            QSKIP("mounting a file system needs root");
        DesktopDriver d;
        const QString disk = d.home() + "/disk";
        QDir().mkpath(disk);
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1100m", "tmpfs", disk}) != 0)
            QSKIP("cannot mount a tmpfs here");
        struct Unmount
        {
            QString path;
            ~Unmount() { QProcess::execute("umount", {"-l", path}); }
        } unmount{disk};
        qInfo() << "step 13" << QTime::currentTime();
        const auto fill = [&](qint64 leave) {
            QFile::remove(disk + "/filler");
            const qint64 size = qint64(DesktopDriver::freeBytes(disk)) - leave;
            return QProcess::execute("fallocate", {"-l", QString::number(size), disk + "/filler"}) == 0;
        };
        qInfo() << "step 18" << QTime::currentTime();
        d.setOption("output/path", disk);
        qInfo() << "step 19" << QTime::currentTime();
        d.setOption("audio/type", 0);
        qInfo() << "step 20" << QTime::currentTime();

        QVERIFY(fill(1024LL * 1024 * 1024 - 4 * 1024 * 1024));
        qInfo() << "step 22" << QTime::currentTime();
        QVERIFY(d.start());
        qInfo() << "step 23" << QTime::currentTime();
        d.click(kStartButton);
        qInfo() << "step 24" << QTime::currentTime();
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsNamed(kMessageBox).isEmpty(), 5000);
        qInfo() << "step 25" << QTime::currentTime();
        QVERIFY(!d.encoderRunning());
        qInfo() << "step 26" << QTime::currentTime();
        qInfo() << "step 27" << QTime::currentTime();
        d.clickWindow(kMessageBox, kBoxConfirm);
        qInfo() << "step 28" << QTime::currentTime();
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsNamed(kSettingsDialog).isEmpty(), 5000);
        qInfo() << "step 29" << QTime::currentTime();
        // Room again before the settings close: the window measures the disk once they do.
        QFile::remove(disk + "/filler");
        qInfo() << "step 31" << QTime::currentTime();
        d.clickWindow(kSettingsDialog, kSettingsClose);
        qInfo() << "step 32" << QTime::currentTime();
        QTRY_VERIFY_WITH_TIMEOUT(d.windowsNamed(kSettingsDialog).isEmpty(), 5000);
        qInfo() << "step 33" << QTime::currentTime();
        QTest::qWait(300);
        qInfo() << "step 34" << QTime::currentTime();

        d.click(kStartButton);
        qInfo() << "step 36" << QTime::currentTime();
        QTRY_VERIFY_WITH_TIMEOUT(d.encoderRunning(), 10000);
        qInfo() << "step 37" << QTime::currentTime();
        QTest::qWait(1500);
        qInfo() << "step 38" << QTime::currentTime();
        QVERIFY(fill(30 * 1024 * 1024));
        qInfo() << "step 39" << QTime::currentTime();
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsNamed(kMessageBox).isEmpty(), 10000);
        qInfo() << "step 40" << QTime::currentTime();
        // Paused while the question is open.
        QTRY_VERIFY_WITH_TIMEOUT(!d.encoderRunning(), 10000);
        qInfo() << "step 42" << QTime::currentTime();
        d.clickWindow(kMessageBox, kBoxCancel);
        qInfo() << "step 43" << QTime::currentTime();
        waitForResult(d);
        qInfo() << "step 44" << QTime::currentTime();
        QCOMPARE(recordings(disk).size(), 1);
        qInfo() << "step 45" << QTime::currentTime();
    }

    // Bad input ends in a message with the window back at its start button, nothing recording
    // and nothing the recording wrote removed.
    void badInputEndsInAMessage_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("readOnlySaveFolder");
        QTest::newRow("read-only save folder") << "" << QVariant() << true;
    }

    void badInputEndsInAMessage()
    {
        QFETCH(QString, option);
        QFETCH(QVariant, value);
        QFETCH(bool, readOnlySaveFolder);
        DesktopDriver d;
        d.setOption("audio/type", 0);
        if (!option.isEmpty())
            d.setOption(option, value);
        struct Unmount
        {
            QString path;
            ~Unmount()
            {
                if (!path.isEmpty())
                    QProcess::execute("umount", {"-l", path});
            }
        } unmount;
        if (readOnlySaveFolder) {
            if (getuid() != 0)
                QSKIP("a read-only bind mount needs root");
            const QString dir = d.saveDir();
            if (QProcess::execute("mount", {"--bind", dir, dir}) != 0)
                QSKIP("cannot bind-mount here");
            unmount.path = dir;
            QCOMPARE(QProcess::execute("mount", {"-o", "remount,bind,ro", dir}), 0);
        }
        QVERIFY(d.start());
        d.click(kStartButton);
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsNamed(kMessageBox).isEmpty(), 15000);
        d.clickWindow(kMessageBox, kBoxOnlyConfirm);
        QTRY_VERIFY_WITH_TIMEOUT(d.windowsNamed(kMessageBox).isEmpty(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!d.encoderRunning(), 10000);
        QVERIFY(d.windowsOfSize(kFloatBar).isEmpty());
        d.restoreWindow();
        QTRY_VERIFY_WITH_TIMEOUT(isIdleLook(d), 5000);
        QVERIFY(recordings(d.saveDir()).isEmpty());
    }

    // A stored mode the program cannot record (camera mode without a camera, a value out of range)
    // is read as full screen when the window is built, and the recording works.
    void unusableModeRecordsFullScreen_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("camera without camera") << 3;
        QTest::newRow("out of range") << 9;
    }

    void unusableModeRecordsFullScreen()
    {
        QFETCH(int, mode);
        DesktopDriver d;
        d.setOption("audio/type", 0);
        d.setOption("video/mode", mode);
        QVERIFY(d.start());
        d.click(kStartButton);
        QTRY_VERIFY_WITH_TIMEOUT(d.encoderRunning(), 10000);
        QTest::qWait(1500);
        d.key("alt+F7");
        waitForResult(d);
        const QStringList files = recordings(d.saveDir());
        QCOMPARE(files.size(), 1);
        QCOMPARE(QSize(probe(files.first()).width, probe(files.first()).height), QSize(1920, 1080));
    }

    // A second start of the program while it records hands over to the running one and leaves
    // the recording alone.
    void secondStartWhileRecording()
    {
        DesktopDriver d;
        d.setOption("audio/type", 0);
        QVERIFY(d.start());
        d.key("alt+F6");
        QTRY_VERIFY_WITH_TIMEOUT(d.encoderRunning(), 10000);
        QCOMPARE(d.startAnother(), 0);
        QTest::qWait(1000);
        QVERIFY(d.encoderRunning());
        d.key("alt+F7");
        waitForResult(d);
        QCOMPARE(recordings(d.saveDir()).size(), 1);
    }

    // The close button asks first: cancel keeps the program, confirm ends it.
    void exitQuestion()
    {
        DesktopDriver d;
        QVERIFY(d.start());
        d.screenshot("idle", d.windowRect());
        d.click(kCloseButton);
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsNamed(kMessageBox).isEmpty(), 5000);
        d.clickWindow(kMessageBox, kBoxCancel);
        QTRY_VERIFY_WITH_TIMEOUT(d.windowsNamed(kMessageBox).isEmpty(), 5000);
        QTest::qWait(500);
        QVERIFY(d.isRunning());
        d.click(kCloseButton);
        QTRY_VERIFY_WITH_TIMEOUT(!d.windowsNamed(kMessageBox).isEmpty(), 5000);
        d.clickWindow(kMessageBox, kBoxConfirm);
        QVERIFY(d.waitForExit(10000));
        QCOMPARE(d.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestUserFlow)
#include "tst_userflow.moc"
