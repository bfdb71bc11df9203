#include "FakeProgramFolder.h"
#include "QCameraManager.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "ScopedEnv.h"
#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include <csignal>
#include <sys/types.h>

namespace {

// The previews started from `folder`; other test runs may have previews of their own.
QList<pid_t> previews(const QString& folder)
{
    QList<pid_t> pids;
    const QByteArray prefix = QFile::encodeName(folder);
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!numeric || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray argv0 = cmdline.readAll().split('\0').value(0);
        if (argv0.startsWith(prefix) && argv0.endsWith("vcamera.exe"))
            pids << pid;
    }
    return pids;
}

QStringList argumentLines(const QString& log)
{
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

// The fake encoder plays vcamera.exe: it runs until it reads "quit" and can be told to end by
// itself or to ignore "quit".
class TestCameraManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void command();
    void stopDoesNotTouchStoredState();
    void secondCameraEndsFirstPreviewSilently();
    void previewEndingByItselfSwitchesCameraOff();
    void previewIgnoringQuitIsKilled();
    void missingPreviewProgram();

private:
    std::unique_ptr<TestEnvironment> env_;
    std::unique_ptr<FakeProgramFolder> folder_;
    QString argsLog_;
};

void TestCameraManager::initTestCase()
{
    env_.reset(new TestEnvironment());
    folder_.reset(new FakeProgramFolder());
    QVERIFY(folder_->isValid());
    QVERIFY(folder_->enter());
    argsLog_ = env_->home() + QStringLiteral("/args.log");
    qputenv("FAKE_ENCODER_ARGS_LOG", argsLog_.toUtf8());
    qputenv("FAKE_ENCODER_LIFETIME", "60");
}

void TestCameraManager::init()
{
    QFile::remove(argsLog_);
    QVideoSettings::setCameraType(On);
    QCameraManager::instance()->setQuitTimeout(30000);
}

void TestCameraManager::cleanup()
{
    QCameraManager::instance()->stop();
    QTRY_COMPARE(previews(folder_->path()).size(), 0);
}

void TestCameraManager::command()
{
    QCOMPARE(QCameraManager::command(QStringLiteral("C:/Rec/"), QStringLiteral("USB Cam")),
             QStringLiteral("\"C:/Rec//vcamera.exe\" -f dshow -i video=\"USB Cam\"  -preset ultrafast"));
    // Spaces, Chinese and a double quote in folder and name: each piece stays one argument.
    const QStringList args = QProcess::splitCommand(
        QCameraManager::command(QStringLiteral("/opt/录 屏/"), QStringLiteral("Cam \"HD\" 摄像头")));
    QCOMPARE(args, (QStringList{QStringLiteral("/opt/录 屏//vcamera.exe"), "-f", "dshow", "-i",
                                QStringLiteral("video=Cam \"HD\" 摄像头"), "-preset", "ultrafast"}));
}

void TestCameraManager::stopDoesNotTouchStoredState()
{
    QCameraManager* manager = QCameraManager::instance();
    QSignalSpy refresh(manager, &QCameraManager::refresh_camera);
    manager->start(QStringLiteral("USB Cam"));
    QVERIFY(manager->isRunning());
    QTRY_COMPARE(previews(folder_->path()).size(), 1);
    QTRY_COMPARE(argumentLines(argsLog_),
                 QStringList{QStringLiteral("-f\tdshow\t-i\tvideo=USB Cam\t-preset\tultrafast")});

    QElapsedTimer timer;
    timer.start();
    manager->stop();
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(!manager->isRunning());
    QCOMPARE(previews(folder_->path()).size(), 0);
    QTest::qWait(100);
    QCOMPARE(refresh.count(), 0);
    QCOMPARE(QVideoSettings::getCameraType(), int(On));

    // Stopping again with nothing running returns at once.
    timer.restart();
    manager->stop();
    QVERIFY(timer.elapsed() < 1000);
}

void TestCameraManager::secondCameraEndsFirstPreviewSilently()
{
    QCameraManager* manager = QCameraManager::instance();
    QSignalSpy refresh(manager, &QCameraManager::refresh_camera);
    manager->start(QStringLiteral("First Cam"));
    QTRY_COMPARE(previews(folder_->path()).size(), 1);
    manager->start(QStringLiteral("Second Cam"));
    QVERIFY(manager->isRunning());
    QTRY_COMPARE(argumentLines(argsLog_).size(), 2);
    QVERIFY(argumentLines(argsLog_).at(1).contains(QStringLiteral("video=Second Cam")));
    QTest::qWait(300);
    QCOMPARE(previews(folder_->path()).size(), 1);
    QCOMPARE(refresh.count(), 0);
    QCOMPARE(QVideoSettings::getCameraType(), int(On));
}

void TestCameraManager::previewEndingByItselfSwitchesCameraOff()
{
    ScopedEnv exitSoon("FAKE_ENCODER_EXIT_AFTER", "0.3");
    QCameraManager* manager = QCameraManager::instance();
    QSignalSpy refresh(manager, &QCameraManager::refresh_camera);
    manager->start(QStringLiteral("USB Cam"));
    QVERIFY(manager->isRunning());
    QVERIFY(refresh.wait(5000));
    QCOMPARE(refresh.count(), 1);
    QVERIFY(!manager->isRunning());
    QCOMPARE(QVideoSettings::getCameraType(), int(Off));

    // The same when the preview is killed from outside.
    QVideoSettings::setCameraType(On);
    qunsetenv("FAKE_ENCODER_EXIT_AFTER");
    manager->start(QStringLiteral("USB Cam"));
    QTRY_COMPARE(previews(folder_->path()).size(), 1);
    for (pid_t pid : previews(folder_->path()))
        ::kill(pid, SIGKILL);
    QVERIFY(refresh.wait(5000));
    QCOMPARE(QVideoSettings::getCameraType(), int(Off));
}

void TestCameraManager::previewIgnoringQuitIsKilled()
{
    QCameraManager* manager = QCameraManager::instance();
    QSignalSpy refresh(manager, &QCameraManager::refresh_camera);
    {
        ScopedEnv hang("FAKE_ENCODER_HANG", "1");
        manager->start(QStringLiteral("Stuck Cam"));
    }
    QTRY_COMPARE(previews(folder_->path()).size(), 1);
    manager->setQuitTimeout(500);
    QElapsedTimer timer;
    timer.start();
    manager->stop();
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(previews(folder_->path()).size(), 0);

    // The next preview is the only one.
    manager->start(QStringLiteral("USB Cam"));
    QTRY_COMPARE(previews(folder_->path()).size(), 1);
    QCOMPARE(refresh.count(), 0);
    QCOMPARE(QVideoSettings::getCameraType(), int(On));
}

void TestCameraManager::missingPreviewProgram()
{
    QVERIFY(folder_->remove(QStringLiteral("vcamera.exe")));
    QCameraManager* manager = QCameraManager::instance();
    QSignalSpy refresh(manager, &QCameraManager::refresh_camera);
    manager->start(QStringLiteral("USB Cam"));
    QVERIFY(!manager->isRunning());
    manager->stop();
    QTest::qWait(100);
    // Nothing is reported; the tile keeps showing the camera as chosen.
    QCOMPARE(refresh.count(), 0);
    QCOMPARE(QVideoSettings::getCameraType(), int(On));
    QVERIFY(folder_->install(QStringLiteral("vcamera.exe")));
}

QTEST_GUILESS_MAIN(TestCameraManager)
#include "tst_cameramanager.moc"
