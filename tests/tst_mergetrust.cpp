// The merge against the real FFmpeg, with work folders that hold more than good segments: each
// case ends in a saved file with everything readable (and nothing foreign), the work folder kept
// where a piece was left out, or a reported failure.
#include "QGlobalSettings.h"
#include "QMediaManager.h"
#include "QPath.h"
#include "QRecordLog.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {

bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return false;
    if (out)
        *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A 2 s segment as the recordings write them: H.264 and AAC in fragmented MP4.
bool makeSegment(const QString& path, int hue)
{
    return run("ffmpeg", {"-v",
                          "error",
                          "-y",
                          "-f",
                          "lavfi",
                          "-i",
                          QStringLiteral("testsrc2=size=320x240:rate=10,hue=h=%1").arg(hue),
                          "-f",
                          "lavfi",
                          "-i",
                          "sine=frequency=440",
                          "-t",
                          "2",
                          "-c:v",
                          "libx264",
                          "-preset",
                          "ultrafast",
                          "-c:a",
                          "aac",
                          "-f",
                          "mp4",
                          "-movflags",
                          "+frag_keyframe+empty_moov+default_base_moof",
                          path});
}

double duration(const QString& path)
{
    QByteArray out;
    if (!run("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path}, &out))
        return -1;
    return out.trimmed().toDouble();
}

} // namespace

class TestMergeTrust : public QObject
{
    Q_OBJECT

    TestEnvironment* env_ = nullptr;
    QMediaManager* m_ = nullptr;

private slots:
    void initTestCase()
    {
        env_ = new TestEnvironment;
        const QString program = env_->home() + "/program";
        QDir().mkpath(program);
        // The merge and the probes are FFmpeg's own; the adapter hands them on unchanged.
        QVERIFY(QFile::link("/usr/bin/ffmpeg", program + "/zrk_video_capture.exe"));
        QDir::setCurrent(program);
        QCOMPARE(QPath::programFolder(), program + "/");
        QVideoSettings::setFormat(MP4);
        m_ = QMediaManager::instance();
    }

    void cleanupTestCase()
    {
        QMediaManager::release();
        delete env_;
    }

    void mergeSavesEverythingReadableAndNothingForeign_data()
    {
        QTest::addColumn<QString>("saveFolder");
        QTest::addColumn<QString>("middle"); // what the second of three segments is
        QTest::addColumn<int>("kept");       // segments that must be in the saved file
        QTest::newRow("cut segment") << "cut"
                                     << "cut" << 2;
        QTest::newRow("empty segment") << "empty"
                                       << "empty" << 2;
        QTest::newRow("playlist posing as a segment") << "playlist"
                                                      << "playlist" << 2;
        QTest::newRow("newline and quotes in the folder name") << "new\nline 'it''s' \"x\""
                                                               << "good" << 3;
    }

    void mergeSavesEverythingReadableAndNothingForeign()
    {
        QFETCH(QString, saveFolder);
        QFETCH(QString, middle);
        QFETCH(int, kept);
        const QString save = env_->home() + "/" + saveFolder;
        QDir().mkpath(save);
        QVideoSettings::setSavePath(save);
        const QString work = save + "/" + QGlobalSettings::appName() + "/2024-05-01-10-20-30";
        QVERIFY(QDir().mkpath(work));
        const QStringList names{"2024-05-01-10-20-30.bak", "2024-05-01-10-20-40.bak",
                                "2024-05-01-10-20-50.bak"};
        for (int i = 0; i < 3; ++i)
            QVERIFY(makeSegment(work + "/" + names[i], i * 100));
        const double one = duration(work + "/" + names[0]);
        QVERIFY(one > 1.5);

        const QString secret = env_->home() + "/secret.txt";
        {
            QFile f(secret);
            f.open(QIODevice::WriteOnly);
            f.write("SECRET-CONTENT-OF-ANOTHER-FILE\n");
        }
        QFile piece(work + "/" + names[1]);
        if (middle == "cut")
            QVERIFY(piece.resize(1000));
        if (middle == "empty")
            QVERIFY(piece.resize(0));
        if (middle == "playlist") {
            QVERIFY(piece.open(QIODevice::WriteOnly | QIODevice::Truncate));
            piece.write(("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nfile:" + secret + "\n#EXTINF:2,\n" +
                         work + "/" + names[0] + "\n#EXT-X-ENDLIST\n")
                            .toUtf8());
            piece.close();
        }

        QVERIFY(m_->unfinishedRecordings().contains(work));
        QVERIFY(m_->recover(work));
        QSignalSpy finished(m_, &QMediaManager::finished);
        m_->save();
        QVERIFY(finished.wait(60000));
        QVERIFY(finished.first().at(0).toBool());
        const QString saved = m_->savedFile();
        const double length = duration(saved);
        QVERIFY2(qAbs(length - kept * one) < 0.3, qPrintable(QString::number(length)));
        QFile out(saved);
        out.open(QIODevice::ReadOnly);
        QVERIFY(!out.readAll().contains("SECRET-CONTENT"));

        const QString log = QString::fromUtf8([] {
            QFile f(QRecordLog::fileName());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }());
        m_->cleanup();
        QTRY_VERIFY(m_->isIdle());
        if (kept == 3) {
            QVERIFY(!QFileInfo::exists(work));
        } else {
            // The piece left out is named in the log and stays, with the mark that the
            // recording is saved, so it is not offered again.
            QVERIFY2(log.contains(names[1] + "\" cannot be read and is left out"), qPrintable(log));
            QCOMPARE(QDir(work).entryList(QDir::Files), (QStringList{names[1], "saved.txt"}));
            QVERIFY(!m_->unfinishedRecordings().contains(work));
            QVERIFY(QFileInfo::exists(QRecordLog::fileName()));
        }
    }
};

QTEST_MAIN(TestMergeTrust)
#include "tst_mergetrust.moc"
