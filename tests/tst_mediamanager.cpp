// The recording manager against the fake encoder: runs, pauses, the merge and the save, the
// failures, and the places where it keeps the user's recording although a run failed.
#include "PlatformProcesses.h"
#include "QMediaManager.h"
#include "QPath.h"
#include "QRecordLog.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

class TestMediaManager : public QObject
{
    Q_OBJECT

    TestEnvironment* env_ = nullptr;
    QString program_;
    QString saveDir_;
    QString argsLog_;
    QMediaManager* m_ = nullptr;

    static void setEnv(const char* name, const QByteArray& value) { qputenv(name, value); }

    void resetEncoder()
    {
        for (const char* name : {"FAKE_ENCODER_SPEED", "FAKE_ENCODER_START_SECONDS", "FAKE_ENCODER_DURATION",
                                 "FAKE_ENCODER_EXIT_AFTER", "FAKE_ENCODER_WRITE", "FAKE_ENCODER_HANG",
                                 "FAKE_ENCODER_QUIT_DELAY_MS", "FAKE_ENCODER_CONCAT_MS",
                                 "FAKE_ENCODER_AUDIO_DEVICES", "FAKE_ENCODER_INTERVAL_MS"})
            qunsetenv(name);
        setEnv("FAKE_ENCODER_LIFETIME", "60");
        QFile::remove(argsLog_);
    }

    QStringList encoderStarts() const
    {
        QFile f(argsLog_);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

    static void writeFile(const QString& path, const QByteArray& data)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }

    QFileInfoList segments() const
    {
        return QDir(m_->workFolder()).entryInfoList({"*.bak"}, QDir::Files, QDir::Time);
    }

    // Pauses and waits until the run has ended.
    bool pauseAndWait()
    {
        QSignalSpy ended(m_, &QMediaManager::record_finished);
        m_->pause();
        return ended.wait(10000) && ended.first().at(0).toBool();
    }

    bool waitForTime(QSignalSpy& spy, quint32 seconds, int timeoutMs = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            for (const QList<QVariant>& args : spy)
                if (args.at(0).toUInt() >= seconds)
                    return true;
            spy.wait(100);
        }
        return false;
    }

    // Stops a recording that is running and finishes it as the window does: save, then the
    // clean-up of a saved one. The manager is idle only after that.
    void stopAndWaitIdle()
    {
        m_->stop();
        // Either asked here, or already by the test.
        m_->save();
        m_->cleanup();
        QTRY_VERIFY_WITH_TIMEOUT(m_->isIdle(), 15000);
    }

    // The encoder's starts that recorded (not the probes and merges of the finish).
    QStringList recordingStarts()
    {
        QStringList runs;
        for (const QString& start : encoderStarts())
            if (!start.contains("\t-f\tconcat\t") && !start.endsWith("-f\tnull\t-"))
                runs << start;
        return runs;
    }

    bool saveAndWait(bool* ok)
    {
        QSignalSpy saved(m_, &QMediaManager::finished);
        m_->save();
        // A save that finds nothing to join answers at once, inside save().
        if (saved.isEmpty() && !saved.wait(15000))
            return false;
        *ok = saved.first().at(0).toBool();
        return saved.first().at(1).toString() == QStringLiteral("视频保存失败,详情请查看日志！");
    }

private slots:
    void initTestCase()
    {
        env_ = new TestEnvironment;
        program_ = env_->home() + "/program";
        QDir().mkpath(program_);
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/fake_encoder",
                            program_ + "/zrk_video_capture.exe"));
        QDir::setCurrent(program_);
        QCOMPARE(QPath::programFolder(), program_ + "/");
        argsLog_ = env_->home() + "/encoder-args.log";
        setEnv("FAKE_ENCODER_ARGS_LOG", argsLog_.toUtf8());
        saveDir_ = env_->home() + QStringLiteral("/录像 it's \"saved\"");
        QDir().mkpath(saveDir_);
        QVideoSettings::setSavePath(saveDir_);
        QVideoSettings::setMode(FullScreen);
        QVideoSettings::setAudioType(NoAudio);
        QVideoSettings::setFormat(MP4);
        m_ = QMediaManager::instance();
        m_->setRect(QRect(0, 0, 640, 480));
    }

    void init()
    {
        resetEncoder();
        QVideoSettings::setSavePath(saveDir_);
        QVideoSettings::setAudioType(NoAudio);
        QVERIFY(m_->isIdle());
    }

    void cleanup()
    {
        if (!m_->isIdle())
            stopAndWaitIdle();
    }

    void timeAddsUpAcrossAPause()
    {
        QSignalSpy times(m_, &QMediaManager::time_changed);
        setEnv("FAKE_ENCODER_SPEED", "0");
        setEnv("FAKE_ENCODER_START_SECONDS", "65");
        m_->start();
        QCOMPARE(m_->state(), int(Recording));
        QVERIFY(waitForTime(times, 65));
        QVERIFY(pauseAndWait());
        QCOMPARE(m_->state(), int(Paused));
        QCOMPARE(m_->elapsedSeconds(), 65);

        times.clear();
        setEnv("FAKE_ENCODER_START_SECONDS", "10");
        m_->resume();
        QVERIFY(waitForTime(times, 75));
        for (const QList<QVariant>& args : times)
            QCOMPARE(args.at(0).toUInt(), 75u);
        const QString work = m_->workFolder();
        m_->stop();
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        QCOMPARE(m_->elapsedSeconds(), 75);
        QCOMPARE(m_->state(), int(Stopped));
        QVERIFY(m_->isFinishing());

        // Two runs; each segment probed, the merge by the encoder's concat in safe mode with
        // the list file given as a file, then the merged file probed.
        const QStringList starts = encoderStarts();
        QCOMPARE(recordingStarts().size(), 2);
        QCOMPARE(starts.size(), 6);
        const QString merge = starts.at(4);
        QVERIFY(merge.contains(
            "-protocol_whitelist\tfile\t-format_whitelist\tconcat,mov,mp4,flv,asf,avi\t-f\tconcat"
            "\t-safe\t1\t-i\tfile:" +
            work + "/concat.txt"));
        QVERIFY(!QFileInfo::exists(work + "/concat.txt"));

        const QString saved = m_->savedFile();
        QCOMPARE(QFileInfo(saved).path(), saveDir_);
        QVERIFY(QFileInfo(saved).fileName().startsWith(QStringLiteral("Vexlo录屏")));
        QVERIFY(saved.endsWith(".mp4"));
        const QByteArray content = readFile(saved);
        QVERIFY(content.contains("seconds 65"));
        QVERIFY(content.indexOf("seconds 65") < content.indexOf("seconds 10"));

        const QString log = QRecordLog::fileName();
        QVERIFY(QFileInfo::exists(log));
        QCOMPARE(readFile(log).count("***************************************************\r\n"), 2);
        m_->cleanup();
        QTRY_VERIFY(!QFileInfo::exists(work));
        QVERIFY(!QFileInfo::exists(log));
        QVERIFY(QFileInfo::exists(saved));
    }

    void runWithoutTimeAddsNothingAndFirstMatchCounts()
    {
        setEnv("FAKE_ENCODER_INTERVAL_MS", "100000");
        m_->start();
        QTest::qWait(500);
        QVERIFY(pauseAndWait());
        QCOMPARE(m_->elapsedSeconds(), 0);

        // The banner's duration comes before any progress time and is taken all the same.
        QSignalSpy times(m_, &QMediaManager::time_changed);
        qunsetenv("FAKE_ENCODER_INTERVAL_MS");
        setEnv("FAKE_ENCODER_DURATION", "00:01:05.00");
        m_->resume();
        QVERIFY(times.wait(5000));
        QCOMPARE(times.first().at(0).toUInt(), 65u);
        stopAndWaitIdle();
    }

    void startWhileBusyIsIgnored()
    {
        setEnv("FAKE_ENCODER_CONCAT_MS", "1500");
        m_->start();
        const QString work = m_->workFolder();
        QTest::qWait(300);
        m_->start();
        QCOMPARE(m_->workFolder(), work);
        QVERIFY(pauseAndWait());
        m_->resume();
        QTest::qWait(300);
        m_->stop();
        // While the merge runs the manager is still busy and refuses a new recording.
        QTRY_VERIFY_WITH_TIMEOUT(encoderStarts().filter("\t-f\tconcat\t").size() == 1, 10000);
        QVERIFY(!m_->isIdle());
        m_->start();
        QCOMPARE(m_->workFolder(), work);
        // And while the file is saved, until the clean-up is done: the finishing recording keeps
        // its folder, and there is one saved file.
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        m_->start();
        QCOMPARE(m_->workFolder(), work);
        m_->cleanup();
        QTRY_VERIFY_WITH_TIMEOUT(m_->isIdle(), 15000);
        QCOMPARE(recordingStarts().size(), 2);
        QVERIFY(QFileInfo::exists(m_->savedFile()));
        QVERIFY(!QFileInfo::exists(work));
    }

    void stopWhilePausedReportsAtOnce()
    {
        m_->start();
        QTest::qWait(300);
        QVERIFY(pauseAndWait());
        QSignalSpy ended(m_, &QMediaManager::record_finished);
        m_->stop();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().at(0).toBool(), true);
        QCOMPARE(ended.first().at(1).toString(), QString());
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        m_->cleanup();
        QTRY_VERIFY_WITH_TIMEOUT(m_->isIdle(), 10000);
    }

    void encoderEndingByItselfFailsButKeepsEarlierSegments()
    {
        m_->start();
        QTest::qWait(400);
        QVERIFY(pauseAndWait());
        QCOMPARE(segments().size(), 1);
        const QString first = segments().first().filePath();

        setEnv("FAKE_ENCODER_EXIT_AFTER", "1");
        QSignalSpy ended(m_, &QMediaManager::record_finished);
        QSignalSpy errors(m_, &QMediaManager::record_error);
        m_->resume();
        QVERIFY(errors.wait(10000));
        const QString message = QStringLiteral("视频录制失败，详情请查看错误日志！");
        // The spy on the worker's signal may record after the queued slot has already run.
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(ended.first().at(0).toBool(), false);
        QCOMPARE(ended.first().at(1).toString(), message);
        QCOMPARE(errors.first().at(0).toString(), message);
        QVERIFY(m_->isIdle());
        QCOMPARE(m_->state(), int(Stopped));
        // The failed run's own file is gone; the completed one is not.
        QCOMPARE(segments().size(), 1);
        QCOMPARE(segments().first().filePath(), first);
        QVERIFY(readFile(first).contains("seconds"));
        // The log is kept, with the rest of the failed run's output.
        QVERIFY(!QRecordLog::isOpen());
        QVERIFY(readFile(QRecordLog::fileName()).contains("error"));
    }

    void failuresBeforeTheEncoderRuns_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("save folder missing") << "folder" << QStringLiteral("视频保存目录不存在！");
        QTest::newRow("device missing") << "device"
                                        << QStringLiteral("未找到系统声音来源：声音服务没有运行，或没有可录制"
                                                          "的输出。请在“声源”中选择其它声音来源。");
        QTest::newRow("encoder missing") << "encoder" << QStringLiteral("ffmpeg进程启动失败！");
    }

    void failuresBeforeTheEncoderRuns()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString encoder = program_ + "/zrk_video_capture.exe";
        if (kind == "folder") {
            // A missing folder is created with the work folder; one below a file cannot be.
            QFile blocker(env_->home() + "/a file");
            blocker.open(QIODevice::WriteOnly);
            QVideoSettings::setSavePath(env_->home() + "/a file/videos");
        }
        if (kind == "device") {
            QVideoSettings::setAudioType(SystemOnly);
            setEnv("FAKE_ENCODER_AUDIO_DEVICES", "");
        }
        if (kind == "encoder")
            QFile::rename(encoder, encoder + ".away");
        QSignalSpy errors(m_, &QMediaManager::record_error);
        m_->start();
        const bool got = errors.wait(20000);
        if (kind == "encoder")
            QFile::rename(encoder + ".away", encoder);
        QVERIFY(got);
        QCOMPARE(errors.first().at(0).toString(), message);
        QVERIFY(m_->isIdle());
        QCOMPARE(m_->state(), int(Stopped));
    }

    void oneSegmentIsRenamedWithoutEncoder()
    {
        m_->start();
        QTest::qWait(300);
        const QString work = m_->workFolder();
        m_->stop();
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        // Probed, then renamed into place, not joined or copied: a nearly full disk has no room
        // for a second copy.
        QCOMPARE(encoderStarts().size(), 2);
        QVERIFY(encoderStarts().last().endsWith("-f\tnull\t-"));
        QCOMPARE(readFile(m_->savedFile()).count("segment "), 1);
        QCOMPARE(QDir(work).entryList(QDir::Files), QStringList{"saved.txt"});
        m_->cleanup();
        QTRY_VERIFY(!QFileInfo::exists(work));
    }

    void threeSegmentsJoinOldestFirst()
    {
        m_->start();
        QTest::qWait(300);
        QVERIFY(pauseAndWait());
        // The order follows the names, which are the start times, not the file times that a
        // copy or a restore changes.
        QFile first(segments().first().filePath());
        first.open(QIODevice::ReadWrite);
        QVERIFY(
            first.setFileTime(QDateTime::currentDateTime().addDays(1), QFileDevice::FileModificationTime));
        first.close();
        const QByteArray firstName = "segment " + QFileInfo(first).fileName().toUtf8();
        for (int i = 0; i < 2; ++i) {
            QTest::qWait(1100);
            m_->resume();
            QTest::qWait(300);
            if (i == 0)
                QVERIFY(pauseAndWait());
        }
        m_->stop();
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        const QByteArray content = readFile(m_->savedFile());
        QCOMPARE(content.count("segment "), 3);
        QVERIFY(content.startsWith(firstName));
        QVERIFY(QFileInfo(m_->savedFile()).size() > 0);
        m_->cleanup();
    }

    void savePathChangedDuringRecording()
    {
        m_->start();
        QTest::qWait(300);
        const QString work = m_->workFolder();
        const QString other = env_->home() + "/其他 folder";
        QDir().mkpath(other);
        QVideoSettings::setSavePath(other);
        m_->stop();
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        // The recording keeps the folder it started with; the new one is for the next.
        QCOMPARE(QFileInfo(m_->savedFile()).path(), saveDir_);
        QVERIFY(QDir(other).isEmpty());
        m_->cleanup();
        QTRY_VERIFY(m_->isIdle());
        QVERIFY(!QFileInfo::exists(work));
        QVERIFY(QFileInfo::exists(m_->savedFile()));
    }

    void saveWithoutPendingMergeProceedsAtOnce()
    {
        m_->start();
        QTest::qWait(300);
        m_->stop();
        QTest::qWait(1500);
        QElapsedTimer t;
        t.start();
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        QVERIFY(t.elapsed() < 1000);
        m_->cleanup();
    }

    void takenFinalNamesGetASuffixAndStayUntouched()
    {
        // A folder of its own: the test before may have saved within this second.
        const QString folder = env_->home() + "/taken names";
        QDir().mkpath(folder);
        QVideoSettings::setSavePath(folder);
        m_->start();
        QTest::qWait(300);
        m_->stop();
        // Files, a folder and a dangling link of the names the final file could take.
        const QDateTime now = QDateTime::currentDateTime();
        QStringList taken;
        for (int s = 0; s < 6; ++s) {
            const QString name = folder + "/" + QStringLiteral("Vexlo录屏") +
                                 now.addSecs(s).toString("yyyy-MM-dd-hh-mm-ss") + ".mp4";
            if (s == 0)
                QVERIFY(::symlink(QFile::encodeName(env_->home() + "/nowhere").constData(),
                                  QFile::encodeName(name).constData()) == 0);
            else if (s == 1)
                QVERIFY(QDir().mkpath(name));
            else
                writeFile(name, "the user's own");
            taken << name;
        }
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        QVERIFY(!taken.contains(m_->savedFile()));
        QVERIFY(m_->savedFile().endsWith("-1.mp4"));
        QVERIFY(!QFileInfo::exists(env_->home() + "/nowhere"));
        for (int s = 2; s < 6; ++s)
            QCOMPARE(readFile(taken[s]), QByteArray("the user's own"));
        m_->cleanup();
        QTRY_VERIFY(m_->isIdle());
        QFile::remove(taken[0]);
        QDir().rmdir(taken[1]);
        for (int s = 2; s < 6; ++s)
            QFile::remove(taken[s]);
    }

    void deletedSegmentFailsTheSave()
    {
        m_->start();
        QTest::qWait(300);
        QVERIFY(pauseAndWait());
        for (const QFileInfo& fi : segments())
            QFile::remove(fi.filePath());
        m_->stop();
        bool ok = true;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(!ok);
    }

    void resumeWaitsForTheEndingRun()
    {
        // The paused run takes a while to end; the resumed run must not start before, and the
        // ending run must still be told to quit.
        setEnv("FAKE_ENCODER_QUIT_DELAY_MS", "1200");
        QSignalSpy ended(m_, &QMediaManager::record_finished);
        m_->start();
        QTest::qWait(300);
        m_->pause();
        QTest::qWait(100);
        m_->resume();
        QTRY_VERIFY_WITH_TIMEOUT(ended.size() == 1, 10000);
        QVERIFY(ended.first().at(0).toBool());
        QTest::qWait(300);
        m_->stop();
        bool ok = false;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(ok);
        QCOMPARE(readFile(m_->savedFile()).count("segment "), 2);
        m_->cleanup();
        QCOMPARE(ended.size(), 2);
        QVERIFY(ended.at(1).at(0).toBool());
        QCOMPARE(recordingStarts().size(), 2);
    }

    void quickPauseAndResumeKeepsBothSegments()
    {
        m_->start();
        QTest::qWait(150);
        QVERIFY(pauseAndWait());
        m_->resume();
        QTest::qWait(300);
        QVERIFY(pauseAndWait());
        QCOMPARE(segments().size(), 2);
        stopAndWaitIdle();
    }

    void backupSizeWhileBusyOnly()
    {
        QCOMPARE(m_->backupSize(), 0);
        m_->start();
        QTest::qWait(300);
        QVERIFY(pauseAndWait());
        QVERIFY(m_->backupSize() > 0);
        stopAndWaitIdle();
        QCOMPARE(m_->backupSize(), 0);
    }

    void encoderKilledMidRunFailsAndKeepsEarlierSegments()
    {
        m_->start();
        QTest::qWait(300);
        QVERIFY(pauseAndWait());
        const QString first = segments().first().filePath();
        QSignalSpy errors(m_, &QMediaManager::record_error);
        m_->resume();
        // Only this test's encoder: other tests may be recording at the same time. The new run
        // may wait for the next second before it starts.
        auto killOurs = [this] {
            int killed = 0;
            for (const platform::ProcessEntry& p : platform::runningProcesses()) {
                QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(p.pid));
                cmdline.open(QIODevice::ReadOnly);
                const QByteArray argv0 = cmdline.readAll().split('\0').value(0);
                if (p.exeName == L"zrk_video_capture.exe" && argv0.startsWith(program_.toUtf8()) &&
                    ::kill(pid_t(p.pid), SIGKILL) == 0)
                    ++killed;
            }
            return killed;
        };
        int killed = 0;
        for (int i = 0; i < 100 && killed == 0; ++i) {
            QTest::qWait(100);
            killed = killOurs();
        }
        QVERIFY(killed >= 1);
        QVERIFY(errors.wait(10000));
        QCOMPARE(errors.first().at(0).toString(), QStringLiteral("视频录制失败，详情请查看错误日志！"));
        QVERIFY(m_->isIdle());
        QVERIFY(QFileInfo::exists(first));
    }

    void saveFolderVanishingMidRecordingFailsTheSave()
    {
        const QString folder = env_->home() + "/vanishing";
        QDir().mkpath(folder);
        QVideoSettings::setSavePath(folder);
        m_->start();
        QTest::qWait(300);
        QDir(folder).removeRecursively();
        QTest::qWait(300);
        m_->stop();
        bool ok = true;
        QVERIFY(saveAndWait(&ok));
        QVERIFY(!ok);
    }

    void releaseWhileSaveWaitsEndsSilently()
    {
        setEnv("FAKE_ENCODER_CONCAT_MS", "3000");
        m_->start();
        QTest::qWait(300);
        QVERIFY(pauseAndWait());
        m_->resume();
        QTest::qWait(300);
        m_->stop();
        QSignalSpy saved(m_, &QMediaManager::finished);
        m_->save();
        QTest::qWait(300);
        QElapsedTimer t;
        t.start();
        QMediaManager::release();
        QVERIFY(t.elapsed() < 5000);
        QTest::qWait(500);
        QCOMPARE(saved.size(), 0);
        // The tests after this one get a manager of their own.
        m_ = QMediaManager::instance();
        m_->setRect(QRect(0, 0, 640, 480));
    }

    void strangersAndDeafEncodersDoNotHoldTheSave()
    {
        // A stopped process under the encoder's name that is not ours, and our own encoder that
        // ignores "q": the save waits for neither beyond the limits, and the segment is saved.
        QTemporaryDir dir;
        const QString stranger = dir.filePath(QStringLiteral("zrk_video_capture.exe"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), stranger));
        QProcess sleeper;
        sleeper.start(stranger, {QStringLiteral("60")});
        QVERIFY(sleeper.waitForStarted());
        QCOMPARE(::kill(pid_t(sleeper.processId()), SIGSTOP), 0);
        setEnv("FAKE_ENCODER_HANG", "1");

        m_->start();
        QTest::qWait(1200);
        QElapsedTimer finishing;
        finishing.start();
        m_->stop();
        QSignalSpy saved(m_, &QMediaManager::finished);
        m_->save();
        QVERIFY(saved.wait(15000));
        QVERIFY(saved.first().at(0).toBool());
        // "q" for five seconds, then terminate, which the fake does not survive.
        QVERIFY2(finishing.elapsed() < 12000, qPrintable(QString::number(finishing.elapsed())));
        QCOMPARE(sleeper.state(), QProcess::Running);
        m_->cleanup();
        QTRY_VERIFY_WITH_TIMEOUT(m_->isIdle(), 15000);
        sleeper.kill();
        sleeper.waitForFinished(5000);
    }

    void cleanupTestCase() { delete env_; }
};

QTEST_MAIN(TestMediaManager)
#include "tst_mediamanager.moc"
