// The recording manager on a Wayland desktop (inside tests/wayland/session.sh): the screen from
// the desktop's ScreenCast portal, one permission per recording across its pauses, the newest
// remembered permission stored, every answer of the desktop's dialog, and a cast the desktop
// ends mid-recording, saved as after a stop. fakePortal needs no compositor; realPortal runs
// headless mutter with the real portal and a pre-seeded grant.
#include "CSetting.h"
#include "PlatformDesktopShortcuts.h"
#include "QMediaManager.h"
#include "QPath.h"
#include "QScreenCast.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");

struct Probe
{
    double seconds = -1;
    int width = 0;
    int height = 0;
};

Probe probe(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                        "format=duration:stream=width,height", "-of", "default=nw=1", file});
    p.waitForFinished(30000);
    Probe result;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        if (line.startsWith("duration="))
            result.seconds = line.mid(9).toDouble();
        else if (line.startsWith("width="))
            result.width = line.mid(6).toInt();
        else if (line.startsWith("height="))
            result.height = line.mid(7).toInt();
    }
    return result;
}

bool portalOwned()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kPortal);
}

} // namespace

class TestPortalRecording : public QObject
{
    Q_OBJECT

    TestEnvironment* env_ = nullptr;
    // The desktop's runtime folder (PipeWire's socket), before the test's own replaces it.
    QByteArray desktopRuntime_;
    QString saveDir_;
    QMediaManager* m_ = nullptr;

    QStringList savedFiles() const { return QDir(saveDir_).entryList({"*.mp4"}, QDir::Files); }

    // Records `runs` stretches of `seconds`, paused in between; the stop and save as the window
    // does them. The saved file, or empty.
    QString recordAndSave(int runs, int seconds, int* castOpenWhilePaused = nullptr)
    {
        QSignalSpy saved(m_, &QMediaManager::finished);
        QSignalSpy errors(m_, &QMediaManager::record_error);
        m_->start();
        for (int run = 0; run < runs; ++run) {
            if (run > 0)
                m_->resume();
            // Until the run has recorded `seconds` (the first one also waits for the desktop).
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < 30000 && errors.isEmpty() && m_->elapsedSeconds() < (run + 1) * seconds)
                QTest::qWait(100);
            if (!errors.isEmpty()) {
                qWarning() << "record_error" << errors.first();
                return QString();
            }
            QSignalSpy ended(m_, &QMediaManager::record_finished);
            if (run + 1 < runs) {
                m_->pause();
                if (!ended.wait(15000))
                    return QString();
                if (castOpenWhilePaused)
                    *castOpenWhilePaused += m_->screenCast()->isOpen() ? 1 : 0;
                QTest::qWait(500);
            } else {
                m_->stop();
                if (!ended.wait(15000))
                    return QString();
            }
        }
        m_->save();
        if (!saved.wait(60000) || !saved.first().at(0).toBool())
            return QString();
        const QString file = m_->savedFile();
        m_->cleanup();
        for (int i = 0; i < 200 && !m_->isIdle(); ++i)
            QTest::qWait(100);
        return m_->isIdle() ? file : QString();
    }

    // The fake portal with `arguments`, its log in `log`; ready once it owns the portal's name.
    QProcess* startFakePortal(const QStringList& arguments, const QString& log)
    {
        auto* portal = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", QString::fromLocal8Bit(desktopRuntime_));
        portal->setProcessEnvironment(environment);
        portal->setStandardOutputFile(log);
        portal->setProcessChannelMode(QProcess::MergedChannels);
        portal->start(QStringLiteral("python3"),
                      QStringList{TestEnvironment::sourceDir() + "/tests/wayland/fake_portal.py"} +
                          arguments);
        for (int i = 0; i < 100 && !portalOwned(); ++i)
            QTest::qWait(100);
        return portal;
    }

    static void stopFakePortal(QProcess* portal)
    {
        portal->terminate();
        portal->waitForFinished(10000);
        delete portal;
        for (int i = 0; i < 50 && portalOwned(); ++i)
            QTest::qWait(100);
    }

    static QString readFile(const QString& path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }

    QString storedToken() const
    {
        return CSetting::getString(QStringLiteral("screencast"), QStringLiteral("restore_token"), QString());
    }

private slots:
    void initTestCase()
    {
        desktopRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        env_ = new TestEnvironment;
        // The real encoder adapter of this build.
        QDir::setCurrent(TestEnvironment::programDir());
        QVERIFY(QFile::exists(QPath::programFolder() + "zrk_video_capture.exe"));
        saveDir_ = env_->home() + "/videos";
        QDir().mkpath(saveDir_);
        QVideoSettings::setSavePath(saveDir_);
        QVideoSettings::setMode(FullScreen);
        QVideoSettings::setAudioType(NoAudio);
        QVideoSettings::setFormat(MP4);
        QVERIFY2(QScreenCast::needed(FullScreen), "not a Wayland session");
        m_ = QMediaManager::instance();
    }

    void init()
    {
        for (const QString& name : savedFiles())
            QFile::remove(saveDir_ + "/" + name);
        // A rectangle unlike the cast's monitor: full screen is what the desktop gives.
        m_->setRect(QRect(0, 0, 320, 240));
    }

    void fakePortal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("stored");
        // "saved", "quiet" (nothing said, nothing recorded) or the start of the message.
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("selects");
        // The stored permission is the fake monitor's own, beside an older one of another grant.
        QTest::addColumn<bool>("perMonitor");

        QTest::newRow("granted, kept across a pause") << QStringList() << QString() << "saved" << 1 << false;
        QTest::newRow("a newer token stored") << QStringList() << "remembered-token"
                                              << "saved" << 1 << false;
        QTest::newRow("the chosen monitor's own token") << QStringList() << "monitor-token"
                                                        << "saved" << 1 << true;
        QTest::newRow("a refused token retried without it")
            << QStringList{"--refuse-tokens"} << "remembered-token"
            << "saved" << 2 << false;
        QTest::newRow("cancelled") << QStringList{"--answer", "cancel"} << QString() << "quiet" << 1 << false;
        QTest::newRow("failed") << QStringList{"--answer", "fail"} << QString()
                                << QStringLiteral("桌面未能共享屏幕") << 1 << false;
        QTest::newRow("no interface") << QStringList{"--no-screencast"} << QString()
                                      << QStringLiteral("无法录制屏幕：此桌面没有屏幕录制服务。请安装 "
                                                        "xdg-desktop-portal")
                                      << 0 << false;
        QTest::newRow("closed mid-recording")
            << QStringList{"--closed-after", "3"} << QString() << "closed" << 1 << false;
    }

    void fakePortal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, stored);
        QFETCH(QString, outcome);
        QFETCH(int, selects);
        QFETCH(bool, perMonitor);
        const QString group = QStringLiteral("screencast");
        CSetting::setValue(group, QStringLiteral("restore_token"), perMonitor ? "other-grant-token" : stored);
        CSetting::setValue(group, QStringLiteral("monitor_tokens"),
                           perMonitor ? "0 0 1280 720 " + stored : QString());
        const QString log = env_->home() + "/fake-portal.log";
        QFile::remove(log);
        QProcess* portal = startFakePortal(arguments, log);
        auto stopPortal = qScopeGuard([portal] { stopFakePortal(portal); });
        QVERIFY(portalOwned());

        if (outcome == "saved") {
            int openWhilePaused = 0;
            const QString file = recordAndSave(2, 2, &openWhilePaused);
            QVERIFY2(!file.isEmpty(), qPrintable(readFile(log)));
            // One session for the whole recording: asked once, still open while paused.
            QCOMPARE(readFile(log).count("fake-portal: Start"), 1);
            QCOMPARE(openWhilePaused, 1);
            const Probe p = probe(file);
            QCOMPARE(QSize(p.width, p.height), QSize(1280, 720));
            QVERIFY2(
                p.seconds >= m_->elapsedSeconds() - 0.3 && p.seconds <= m_->elapsedSeconds() + 2.5,
                qPrintable(
                    QString("%1 s in the file, %2 s recorded").arg(p.seconds).arg(m_->elapsedSeconds())));
            // The newest permission is the one kept.
            const QRegularExpression given("restore_token ([-0-9a-f]+)");
            QString newest;
            for (auto it = given.globalMatch(readFile(log)); it.hasNext();)
                newest = it.next().captured(1);
            QVERIFY(!newest.isEmpty());
            QCOMPARE(storedToken(), newest);
            QCOMPARE(CSetting::getString(group, QStringLiteral("monitor_tokens"), QString()),
                     "0 0 1280 720 " + newest);
            if (!stored.isEmpty())
                QVERIFY(readFile(log).contains("SelectSources token=" + stored));
        } else if (outcome == "closed") {
            QSignalSpy ended(m_, &QMediaManager::cast_ended);
            QSignalSpy saved(m_, &QMediaManager::finished);
            m_->start();
            QVERIFY(ended.wait(20000));
            QVERIFY(ended.first().at(0).toString().startsWith(QStringLiteral("桌面已结束屏幕共享")));
            // What the window does on the notice: stop and save.
            QSignalSpy stopped(m_, &QMediaManager::record_finished);
            m_->stop();
            QTRY_VERIFY_WITH_TIMEOUT(!stopped.isEmpty(), 15000);
            m_->save();
            QVERIFY(saved.wait(60000));
            QVERIFY(saved.first().at(0).toBool());
            const Probe p = probe(m_->savedFile());
            QVERIFY2(p.seconds > 1.0 && p.seconds < 3.6, qPrintable(QString::number(p.seconds)));
            m_->cleanup();
            QTRY_VERIFY_WITH_TIMEOUT(m_->isIdle(), 20000);
        } else {
            QSignalSpy errors(m_, &QMediaManager::record_error);
            QSignalSpy times(m_, &QMediaManager::time_changed);
            m_->start();
            QVERIFY(errors.wait(20000));
            QVERIFY(m_->isIdle());
            QVERIFY(times.isEmpty());
            const QString message = errors.first().at(0).toString();
            if (outcome == "quiet")
                QVERIFY2(message.isEmpty(), qPrintable(message));
            else
                QVERIFY2(message.startsWith(outcome), qPrintable(message));
            QVERIFY(savedFiles().isEmpty());
            // No work folder is left behind by a start that recorded nothing.
            QVERIFY(m_->unfinishedRecordings().isEmpty());
        }
        QCOMPARE(readFile(log).count("fake-portal: SelectSources token="), selects);
    }

    // The desktop's global shortcuts: bound with the stored combinations as the preferred
    // triggers and then pressed, or not offered, or refused (the program then tells the user how
    // to bind its commands).
    void desktopShortcuts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("bound");
        QTest::newRow("bound and pressed") << QStringList{"--shortcuts", "bind"} << true;
        QTest::newRow("refused") << QStringList{"--shortcuts", "refuse"} << false;
        QTest::newRow("not offered") << QStringList() << false;
    }

    void desktopShortcuts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, bound);
        const QString log = env_->home() + "/fake-portal.log";
        QFile::remove(log);
        QProcess* portal = startFakePortal(arguments, log);
        auto stopPortal = qScopeGuard([portal] { stopFakePortal(portal); });
        QVERIFY(portalOwned());

        std::vector<bool> answers;
        std::vector<std::string> pressed;
        platform::DesktopShortcuts shortcuts;
        shortcuts.bind(
            {{"start-pause", "Start or pause", "ALT+F6"}, {"stop", "Stop", "ALT+F7"}},
            [&answers](bool ok) { answers.push_back(ok); },
            [&pressed](const std::string& id) { pressed.push_back(id); });
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), size_t(1), 10000);
        QCOMPARE(bool(answers.front()), bound);
        if (bound) {
            QTRY_COMPARE_WITH_TIMEOUT(pressed.size(), size_t(2), 5000);
            QCOMPARE(pressed, (std::vector<std::string>{"start-pause", "stop"}));
            QVERIFY2(readFile(log).contains("BindShortcuts start-pause=ALT+F6 stop=ALT+F7"),
                     qPrintable(readFile(log)));
        } else {
            QTest::qWait(1000);
            QVERIFY(pressed.empty());
        }
        QCOMPARE(answers.size(), size_t(1));
    }

    void realPortal()
    {
        // A grant as the desktop stores it once the user has chosen the monitor and "remember".
        QProcess grant;
        grant.start(QStringLiteral("python3"),
                    {"-c",
                     "import sys; sys.path.insert(0, sys.argv[1]); import screencast; "
                     "print(screencast.grant_first_monitor(screencast.Gio.bus_get_sync("
                     "screencast.Gio.BusType.SESSION, None)))",
                     TestEnvironment::sourceDir() + "/tests/wayland"});
        QVERIFY(grant.waitForFinished(30000));
        const QString token = QString::fromUtf8(grant.readAllStandardOutput()).trimmed();
        QVERIFY2(!token.isEmpty(), grant.readAllStandardError().constData());
        CSetting::setValue(QStringLiteral("screencast"), QStringLiteral("restore_token"), token);

        // Two pauses: no run may need the desktop's dialog again (it would wait for ever here).
        int openWhilePaused = 0;
        const QString file = recordAndSave(3, 2, &openWhilePaused);
        QVERIFY(!file.isEmpty());
        QCOMPARE(openWhilePaused, 2);
        const Probe p = probe(file);
        QCOMPARE(QSize(p.width, p.height), QSize(1280, 720));
        qInfo() << "saved" << p.seconds << "s," << m_->elapsedSeconds() << "s recorded";
        QVERIFY2(p.seconds >= m_->elapsedSeconds() - 0.3 && p.seconds <= m_->elapsedSeconds() + 3.0,
                 qPrintable(QString::number(p.seconds)));
        QVERIFY(!storedToken().isEmpty());
        QVERIFY(!m_->screenCast()->isOpen());

        // An area: the frozen picture under the selection is the cast's first frame, and the
        // recording keeps the permission the selection asked for.
        QVideoSettings::setMode(Area);
        auto restore = qScopeGuard([] { QVideoSettings::setMode(FullScreen); });
        QScreenCast* cast = m_->screenCast();
        QSignalSpy opened(cast, &QScreenCast::opened);
        QSignalSpy pictures(cast, &QScreenCast::snapshot_taken);
        cast->open(Area);
        QVERIFY(opened.wait(20000));
        cast->takeSnapshot();
        QVERIFY(pictures.wait(20000));
        const QImage picture = pictures.first().at(0).value<QImage>();
        QCOMPARE(picture.size(), QSize(1280, 720));
        // mutter's blue background, not XWayland's black root.
        QVERIFY2(qBlue(picture.pixel(640, 360)) > 60,
                 qPrintable(QString::number(picture.pixel(640, 360), 16)));
        m_->setRect(QRect(101, 51, 401, 301));
        const QString area = recordAndSave(1, 2);
        QVERIFY(!area.isEmpty());
        QCOMPARE(opened.count(), 1);
        const Probe a = probe(area);
        QCOMPARE(QSize(a.width, a.height), QSize(400, 300));
    }

    void cleanupTestCase()
    {
        QMediaManager::release();
        delete env_;
    }
};

QTEST_MAIN(TestPortalRecording)
#include "tst_portalrecording.moc"
