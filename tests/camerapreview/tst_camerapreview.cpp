#include "QCameraManager.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "TestEnvironment.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/types.h>

namespace {

// The shown window of a process; other tests may show windows on the same display.
QString windowOf(pid_t pid)
{
    QProcess search;
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--pid"), QString::number(pid)});
    if (!search.waitForFinished(10000))
        return QString();
    return QString::fromLatin1(search.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
        .value(0);
}

QImage screenshot(const QString& window)
{
    if (window.isEmpty())
        return QImage();
    QProcess import;
    import.start(QStringLiteral("import"), {QStringLiteral("-window"), window, QStringLiteral("png:-")});
    if (!import.waitForFinished(20000))
        return QImage();
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

// The test picture has bars of six strong colours; a window without a picture has none.
int strongHues(const QImage& image)
{
    QVector<int> bins(12, 0);
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            const QColor c = image.pixelColor(x, y);
            if (c.hsvSaturation() > 120 && c.value() > 120 && c.hsvHue() >= 0)
                ++bins[c.hsvHue() / 30];
        }
    }
    int count = 0;
    for (int n : bins)
        count += n >= 40;
    return count;
}

QList<pid_t> processesWhere(const std::function<bool(pid_t pid, pid_t parent, const QByteArray& argv0)>& test)
{
    QList<pid_t> pids;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray argv0 = cmdline.readAll().split('\0').value(0);
        // "pid (name) state ppid ...": the name may hold blanks, so read after the last ')'.
        const QByteArray statText = stat.readAll();
        const QList<QByteArray> fields = statText.mid(statText.lastIndexOf(')') + 2).split(' ');
        if (test(pid, fields.value(1).toInt(), argv0))
            pids << pid;
    }
    return pids;
}

} // namespace

class TestCameraPreview : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void showsLivePicture();
    void stopKeepsCameraChosen();
    void lostCameraSwitchesCameraOff();

private:
    QList<pid_t> previews() const;
    QImage previewShot() const;
    bool waitForPicture(QImage* shot = nullptr);

    std::unique_ptr<TestEnvironment> env_;
    QString programDir_;
};

void TestCameraPreview::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: run it through scripts/with-desktop");
    programDir_ = TestEnvironment::programDir();
    if (!QFile::exists(programDir_ + QStringLiteral("/zrk_video_capture.exe")))
        QSKIP("the program folder has no encoder");
    env_.reset(new TestEnvironment());
    QVERIFY(QDir::setCurrent(programDir_));
    // This test runs offscreen; the preview it starts must reach the display.
    qunsetenv("QT_QPA_PLATFORM");
    QVideoSettings::setCameraName(QStringLiteral("Test Camera"));
}

void TestCameraPreview::cleanup()
{
    QCameraManager::instance()->stop();
    QTRY_VERIFY(previews().isEmpty());
}

QList<pid_t> TestCameraPreview::previews() const
{
    const QByteArray folder = QFile::encodeName(programDir_);
    return processesWhere([&](pid_t, pid_t, const QByteArray& argv0) {
        return argv0.startsWith(folder) && argv0.endsWith("vcamera.exe");
    });
}

QImage TestCameraPreview::previewShot() const
{
    const QList<pid_t> pids = previews();
    return pids.size() == 1 ? screenshot(windowOf(pids.first())) : QImage();
}

bool TestCameraPreview::waitForPicture(QImage* shot)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        const QImage image = previewShot();
        if (strongHues(image) >= 4) {
            if (shot)
                *shot = image;
            return true;
        }
        QTest::qWait(250);
    }
    return false;
}

void TestCameraPreview::showsLivePicture()
{
    QVideoSettings::setCameraType(On);
    QCameraManager* manager = QCameraManager::instance();
    manager->start(QStringLiteral("Test Camera"));
    QVERIFY(manager->isRunning());
    QImage first;
    QVERIFY2(waitForPicture(&first), "no camera picture on the screen");
    // Kept beside the test program for a look.
    first.save(QCoreApplication::applicationDirPath() + QStringLiteral("/camerapreview.png"));
    // The picture moves.
    QTest::qWait(1000);
    const QImage second = previewShot();
    QVERIFY(strongHues(second) >= 4);
    QVERIFY(first != second);
}

void TestCameraPreview::stopKeepsCameraChosen()
{
    QVideoSettings::setCameraType(On);
    QCameraManager* manager = QCameraManager::instance();
    QSignalSpy refresh(manager, &QCameraManager::refresh_camera);
    manager->start(QStringLiteral("Test Camera"));
    QVERIFY(waitForPicture());
    manager->stop();
    QVERIFY(!manager->isRunning());
    QVERIFY(previews().isEmpty());
    QCOMPARE(refresh.count(), 0);
    QCOMPARE(QVideoSettings::getCameraType(), int(On));
}

void TestCameraPreview::lostCameraSwitchesCameraOff()
{
    QVideoSettings::setCameraType(On);
    QCameraManager* manager = QCameraManager::instance();
    QSignalSpy refresh(manager, &QCameraManager::refresh_camera);
    manager->start(QStringLiteral("Test Camera"));
    QVERIFY(waitForPicture());
    const QList<pid_t> preview = previews();
    QCOMPARE(preview.size(), 1);
    // The camera goes away: its decoder dies under the preview.
    const QList<pid_t> decoders =
        processesWhere([&](pid_t, pid_t parent, const QByteArray&) { return parent == preview.first(); });
    QCOMPARE(decoders.size(), 1);
    ::kill(decoders.first(), SIGKILL);
    QVERIFY(refresh.wait(10000));
    QVERIFY(!manager->isRunning());
    QCOMPARE(QVideoSettings::getCameraType(), int(Off));
    QVERIFY(previews().isEmpty());
}

QTEST_GUILESS_MAIN(TestCameraPreview)
#include "tst_camerapreview.moc"
