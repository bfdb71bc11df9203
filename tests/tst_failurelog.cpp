// A failure that sends the user to the encoder log leaves its cause there: for each kind, the
// recording manager runs against the fake encoder and the log is read back.
#include "QMediaManager.h"
#include "QPath.h"
#include "QRecordLog.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

class TestFailureLog : public QObject
{
    Q_OBJECT

    TestEnvironment* env_ = nullptr;
    QString saveDir_;
    QMediaManager* m_ = nullptr;

    static QString readFile(const QString& path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }

    int segmentCount() const { return QDir(m_->workFolder()).entryList({"*.bak"}, QDir::Files).size(); }

    bool pauseAndWait()
    {
        QSignalSpy ended(m_, &QMediaManager::record_finished);
        m_->pause();
        return ended.wait(10000) && ended.first().at(0).toBool();
    }

    // Two segments; `beforeStop` runs while the second one is recording.
    bool recordTwoSegmentsAndStop(const std::function<void()>& beforeStop)
    {
        m_->start();
        QTest::qWait(300);
        if (!pauseAndWait())
            return false;
        m_->resume();
        QTest::qWait(300);
        beforeStop();
        m_->stop();
        return m_->isFinishing();
    }

    bool saveFails()
    {
        QSignalSpy saved(m_, &QMediaManager::finished);
        m_->save();
        // The save may report before wait() would start listening.
        return QTest::qWaitFor([&saved] { return !saved.isEmpty(); }, 15000) &&
               !saved.first().at(0).toBool() &&
               saved.first().at(1).toString() == QStringLiteral("视频保存失败,详情请查看日志！");
    }

private slots:
    void initTestCase()
    {
        env_ = new TestEnvironment;
        const QString program = env_->home() + "/program";
        QDir().mkpath(program);
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/fake_encoder",
                            program + "/zrk_video_capture.exe"));
        QDir::setCurrent(program);
        QCOMPARE(QPath::programFolder(), program + "/");
        qputenv("FAKE_ENCODER_LIFETIME", "60");
        QVideoSettings::setMode(FullScreen);
        QVideoSettings::setAudioType(NoAudio);
        QVideoSettings::setFormat(MP4);
        m_ = QMediaManager::instance();
        m_->setRect(QRect(0, 0, 640, 480));
    }

    void init()
    {
        for (const char* name : {"FAKE_ENCODER_EXIT_AFTER", "FAKE_ENCODER_WRITE", "FAKE_ENCODER_CONCAT_DROP"})
            qunsetenv(name);
        saveDir_ = env_->home() + "/videos-" + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        QDir().mkpath(saveDir_);
        QVideoSettings::setSavePath(saveDir_);
    }

    void cleanup()
    {
        if (!m_->isIdle()) {
            m_->stop();
            m_->save();
            m_->cleanup();
            QTRY_VERIFY_WITH_TIMEOUT(m_->isIdle(), 15000);
        }
    }

    void causeIsInTheLog_data()
    {
        QTest::addColumn<QString>("kind");
        // Texts the log must hold; "%work" stands for the work folder, "%save" for the save folder.
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("encoder ends by itself")
            << "exit"
            << QStringList{"Recording failed: the encoder ended by itself (exit code 1)", "\"%work\"",
                           "Input/output error\" | \"Conversion failed!\"\r\n"};
        QTest::newRow("merge leaves no file")
            << "no merge output"
            << QStringList{"Save failed: the merge left no file \"%work/Rec ", "(encoder exit code 0)",
                           "muxing overhead"};
        QTest::newRow("merge drops a segment")
            << "drop"
            << QStringList{"Save failed: the merge of 2 segments", "the work folder \"%work\" is kept"};
        QTest::newRow("segment list not writable")
            << "list"
            << QStringList{"Save failed: cannot write the segment list \"%work/concat.txt\": Is a directory"};
        QTest::newRow("save folder vanished")
            << "vanished" << QStringList{"Save failed: the work folder \"%work\" does not exist"};
        QTest::newRow("merged file gone before the save")
            << "merged gone" << QStringList{"Save failed: the merged file \"%work/Rec ", "is missing"};
    }

    void causeIsInTheLog()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, expected);
        QString work;
        if (kind == "exit") {
            qputenv("FAKE_ENCODER_EXIT_AFTER", "1");
            QSignalSpy errors(m_, &QMediaManager::record_error);
            m_->start();
            work = m_->workFolder();
            QVERIFY(errors.wait(10000));
            QCOMPARE(errors.first().at(0).toString(), QStringLiteral("视频录制失败，详情请查看错误日志！"));
        } else {
            QVERIFY(recordTwoSegmentsAndStop([&] {
                work = m_->workFolder();
                QTRY_COMPARE(segmentCount(), 2);
                if (kind == "no merge output")
                    qputenv("FAKE_ENCODER_WRITE", "none");
                if (kind == "drop")
                    qputenv("FAKE_ENCODER_CONCAT_DROP", "1");
                if (kind == "list")
                    QDir().mkpath(work + "/concat.txt");
                if (kind == "vanished")
                    QDir(saveDir_).removeRecursively();
            }));
            if (kind == "merged gone") {
                // Only once the join has checked its file, or the check fails on the missing file.
                QTRY_VERIFY_WITH_TIMEOUT(m_->isMerged(), 15000);
                QVERIFY(!QDir(work).entryList({"Rec *"}, QDir::Files).isEmpty());
                for (const QFileInfo& merged : QDir(work).entryInfoList({"Rec *"}, QDir::Files))
                    QVERIFY(QFile::remove(merged.filePath()));
            }
            QVERIFY(saveFails());
            // Nothing recorded goes with a failed merge: both segments stay for a later try.
            if (kind == "drop")
                QCOMPARE(QDir(work).entryList({"20*.bak"}, QDir::Files).size(), 2);
        }

        const QString log = readFile(QRecordLog::fileName());
        // One line with the time, then what failed.
        static const QRegularExpression causeLine(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d (Recording|Save) failed: .+$"),
            QRegularExpression::MultilineOption);
        QVERIFY2(causeLine.match(log).hasMatch(), qPrintable(log));
        for (QString text : expected) {
            text.replace("%work", work).replace("%save", saveDir_);
            QVERIFY2(log.contains(text), qPrintable(text + "\n--- not in ---\n" + log));
        }
    }

    void lastLinesSkipProgress()
    {
        QCOMPARE(
            QRecordLog::lastLines("banner\nframe=  1 time=00:00:01\rframe=  2\rError one\r\nError two\n\n"),
            QStringLiteral("\"banner\" | \"Error one\" | \"Error two\""));
        QCOMPARE(QRecordLog::lastLines("frame=  1\r \r\n"), QStringLiteral("nothing"));
    }

    void cleanupTestCase()
    {
        QMediaManager::release();
        delete env_;
    }
};

QTEST_MAIN(TestFailureLog)
#include "tst_failurelog.moc"
