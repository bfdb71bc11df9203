// Progress panel: the waiting and result states, the spinner's twelve frames, centring over the
// main window; revealing a saved file through a file manager on a private session bus, the
// folder fallback without one, and the Explorer command's path rewriting.
#include "PlatformShell.h"
#include "QProcessTip.h"
#include "QSkin.h"
#include "TestEnvironment.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

// Plays the file manager: remembers what it was asked to show.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown << uris; }
};

// Receives what QDesktopServices would open.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

} // namespace

class TestProcessTip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void waitingThenResult();
    void spinnerCyclesTwelveFrames();
    void explorerCommand_data();
    void explorerCommand();
    void revealAsksFileManagerElseOpensFolder();

private:
    std::unique_ptr<TestEnvironment> env_;
    QProcess bus_;
    UrlSink sink_;
};

void TestProcessTip::initTestCase()
{
    env_.reset(new TestEnvironment());
    QSkin::init();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink_, "open");

    // A session bus of our own, so no real file manager answers and none is disturbed.
    bus_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    if (bus_.waitForStarted(5000) && bus_.waitForReadyRead(5000))
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.readLine().trimmed());
    else
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

void TestProcessTip::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    if (bus_.state() != QProcess::NotRunning) {
        bus_.terminate();
        bus_.waitForFinished(5000);
    }
}

void TestProcessTip::waitingThenResult()
{
    QWidget window;
    window.resize(778, 444);
    window.show();
    auto* tip = new QProcessTip(&window);
    QVERIFY(!tip->isVisible());
    auto visible = [tip](const char* name) {
        return tip->findChild<QWidget*>(QLatin1String(name))->isVisible();
    };
    auto text = [tip] { return tip->findChild<QLabel*>(QStringLiteral("labelText1"))->text(); };

    tip->showWaiting();
    QVERIFY(tip->isVisible());
    QCOMPARE(text(), QStringLiteral("正在生成视频文件，请耐心等待..."));
    QVERIFY(visible("labelImage2"));
    QVERIFY(!visible("labelImage1"));
    QVERIFY(!visible("btnOpenFolder"));
    QVERIFY(!visible("btnPlayVideo"));
    QCOMPARE(tip->pos(), QPoint((778 - 396) / 2, (444 - 294) / 2));

    tip->showResult();
    QCOMPARE(text(), QStringLiteral("视频文件已生成"));
    QVERIFY(!visible("labelImage2"));
    QVERIFY(visible("labelImage1"));
    QVERIFY(visible("btnOpenFolder"));
    QVERIFY(visible("btnPlayVideo"));
    // The spinner has stopped.
    QLabel* spinner = tip->findChild<QLabel*>(QStringLiteral("labelImage2"));
    const QString frame = spinner->styleSheet();
    QTest::qWait(250);
    QCOMPARE(spinner->styleSheet(), frame);

    QTest::mouseClick(tip->findChild<QPushButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
    QVERIFY(!tip->isVisible());
}

void TestProcessTip::spinnerCyclesTwelveFrames()
{
    QWidget window;
    auto* tip = new QProcessTip(&window);
    QLabel* spinner = tip->findChild<QLabel*>(QStringLiteral("labelImage2"));
    const QRegularExpression pattern(QStringLiteral("^border-image:url\\(:/animation/(\\d+)\\.png\\)$"));
    QList<int> frames;
    QElapsedTimer clock;
    clock.start();
    tip->showWaiting();
    while (frames.size() < 15 && clock.elapsed() < 5000) {
        QTest::qWait(5);
        const QRegularExpressionMatch m = pattern.match(spinner->styleSheet());
        if (m.hasMatch() && (frames.isEmpty() || frames.last() != m.captured(1).toInt()))
            frames << m.captured(1).toInt();
    }
    const qint64 elapsed = clock.elapsed();
    tip->showResult();
    QCOMPARE(frames.size(), 15);
    for (int i = 1; i < frames.size(); ++i)
        QCOMPARE(frames.at(i), frames.at(i - 1) % 12 + 1);
    QVERIFY(frames.contains(12) && frames.contains(1));
    // 100 ms a frame (a coarse timer may be 5 % late or early).
    QVERIFY2(elapsed >= 1300 && elapsed < 2500, qPrintable(QString::number(elapsed)));
    for (int n = 1; n <= 12; ++n)
        QVERIFY(!QImage(QStringLiteral(":/animation/%1.png").arg(n)).isNull());
}

void TestProcessTip::explorerCommand_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("command");
    QTest::newRow("forward slashes") << "C:/Users/me/Videos/rec.mp4"
                                     << "explorer.exe /select, \"C:\\Users\\me\\Videos\\rec.mp4\"";
    QTest::newRow("doubled separators") << "C://Videos//rec.mp4"
                                        << "explorer.exe /select, \"C:\\Videos\\rec.mp4\"";
    QTest::newRow("mixed") << "D:\\录屏/a b\\\\c.mp4"
                           << "explorer.exe /select, \"D:\\录屏\\a b\\c.mp4\"";
}

void TestProcessTip::explorerCommand()
{
    QFETCH(QString, path);
    QFETCH(QString, command);
    QCOMPARE(QString::fromStdWString(platform::explorerSelectCommand(path.toStdWString())), command);
}

void TestProcessTip::revealAsksFileManagerElseOpensFolder()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        QSKIP("dbus-daemon is not available");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.isConnected());
    FakeFileManager manager;
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                               QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    const QString file = env_->home() + QStringLiteral("/Videos/录屏 1.mp4");
    platform::revealFile(file.toStdWString());
    QTRY_COMPARE(manager.shown, QStringList{QUrl::fromLocalFile(file).toString()});
    QTest::qWait(100);
    QVERIFY(sink_.opened.isEmpty());

    // Nobody answers: the folder opens instead.
    QVERIFY(bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1")));
    platform::revealFile(file.toStdWString());
    QTRY_COMPARE(sink_.opened, QList<QUrl>{QUrl::fromLocalFile(env_->home() + QStringLiteral("/Videos"))});
    QCOMPARE(manager.shown.size(), 1);
}

QTEST_MAIN(TestProcessTip)
#include "tst_processtip.moc"
