// Keeping recordings through crashes and full disks: which work folders hold an unsaved
// recording, the room a merge needs, the final placement, and the recovery through the normal
// merge and save (against the fake encoder).
#include "QGlobalSettings.h"
#include "QMediaManager.h"
#include "QPath.h"
#include "QRecordSafety.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

// Writes `content` to `path`, dated `age` seconds back (segments are ordered by time).
void writeFile(const QString& path, const QByteArray& content, int age = 0)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-age), QFileDevice::FileModificationTime));
}

void writeFile(const QString& path, int bytes, int age = 0)
{
    writeFile(path, QByteArray(bytes, 'x'), age);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TestRecordSafety : public QObject
{
    Q_OBJECT

    TestEnvironment* env_ = nullptr;
    QString saveDir_;
    QMediaManager* m_ = nullptr;

    QString base() const { return saveDir_ + QLatin1Char('/') + QGlobalSettings::appName(); }

    bool saveAndWait()
    {
        QSignalSpy saved(m_, &QMediaManager::finished);
        m_->save();
        return saved.wait(15000) && saved.first().at(0).toBool();
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
        saveDir_ = env_->home() + QStringLiteral("/视频");
        QDir().mkpath(saveDir_);
        QVideoSettings::setSavePath(saveDir_);
        QVideoSettings::setMode(FullScreen);
        QVideoSettings::setAudioType(NoAudio);
        QVideoSettings::setFormat(FLV);
        m_ = QMediaManager::instance();
        m_->setRect(QRect(0, 0, 640, 480));
    }

    void cleanupTestCase()
    {
        QMediaManager::release();
        delete env_;
    }

    void init()
    {
        QVERIFY(m_->isIdle());
        removeFolderContents(base());
    }

    void segmentsAndMergeRoom_data()
    {
        QTest::addColumn<QStringList>("files"); // oldest first
        QTest::addColumn<QStringList>("segments");
        QTest::addColumn<qint64>("merge");
        const QString merged = "Rec 2024-05-01-10-20-30.bak";
        QTest::newRow("one segment is renamed")
            << QStringList{"2024-05-01-10-20-30.bak"} << QStringList{"2024-05-01-10-20-30.bak"} << qint64(0);
        QTest::newRow("two are written once more, in the order of their names, whatever their times")
            << QStringList{"2024-05-01-10-20-30.bak", "2024-05-01-10-19-00.bak"}
            << QStringList{"2024-05-01-10-19-00.bak", "2024-05-01-10-20-30.bak"} << qint64(2000);
        QTest::newRow("a merge cut short is no segment")
            << QStringList{"2024-05-01-10-20-30.bak", "2024-05-01-10-21-00.bak", merged}
            << QStringList{"2024-05-01-10-20-30.bak", "2024-05-01-10-21-00.bak"} << qint64(2000);
        QTest::newRow("a renamed single segment is all there is")
            << QStringList{merged} << QStringList{merged} << qint64(0);
        QTest::newRow("other files do not count")
            << QStringList{"concat.txt", "x.log", "holiday.bak", "2024-05-01-10-20-30.bak.bak"}
            << QStringList{} << qint64(0);
    }

    void segmentsAndMergeRoom()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, segments);
        QFETCH(qint64, merge);
        QTemporaryDir dir;
        for (int i = 0; i < files.size(); ++i)
            writeFile(dir.filePath(files[i]), 1000, 100 - i * 10);
        QStringList found;
        for (const QFileInfo& fi : QRecordSafety::segments(dir.path(), "Rec "))
            found << fi.fileName();
        QCOMPARE(found, segments);
        QCOMPARE(QRecordSafety::lowSpaceLimit(dir.path(), "Rec "), QRecordSafety::kLowSpaceBytes + merge);
    }

    void onlyOwnFoldersAreOfferedAndCleanedUp()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + "/base";
        const QString other = dir.path() + "/other-base";
        QDir().mkpath(root);
        QDir().mkpath(other);
        auto folder = [&](const QString& name, const QStringList& files, int bytes = 10) {
            QDir().mkpath(root + "/" + name);
            for (const QString& file : files)
                writeFile(root + "/" + name + "/" + file, bytes);
            return root + "/" + name;
        };
        const QString seg = "2024-05-01-10-20-30.bak";
        const QString killed = folder("2024-05-01-10-20-30", {seg});
        folder("2024-05-01-10-20-31", {seg}, 0); // empty segment
        const QString saved = folder("2024-05-01-10-20-32", {seg});
        QRecordSafety::markSaved(saved, "/somewhere/saved.mp4");
        const QString current = folder("2024-05-01-10-20-33", {seg});
        folder("2024-05-01-10-20-34", {"concat.txt", "notes.bak"}); // nothing of ours
        const QString merged = folder("2024-05-01-10-20-35-1", {"Rec " + seg});
        folder("Project", {seg}); // not our naming
        folder("2024-05-01-10-20-36", {"video.bak"});
        // A link to a folder elsewhere, and one in a second base folder.
        writeFile(other + "/" + seg, 10);
        QVERIFY(QFile::link(other, root + "/2024-05-01-10-20-37"));
        QDir().mkpath(other + "/2024-05-01-10-20-29");
        writeFile(other + "/2024-05-01-10-20-29/" + seg, 10);
        // A folder of another user, where the test can make one.
        if (::geteuid() == 0) {
            const QString foreign = folder("2024-05-01-10-20-38", {seg});
            QVERIFY(::chown(foreign.toUtf8(), 65534, 65534) == 0);
        }
        QCOMPARE(QRecordSafety::unfinishedFolders({root, other, dir.path() + "/missing"}, "Rec ", current),
                 (QStringList{other + "/2024-05-01-10-20-29", killed, merged}));
        // Looking deletes nothing.
        QVERIFY(QFileInfo::exists(root + "/2024-05-01-10-20-31/" + seg));

        // The clean-up takes the program's own files by name and leaves the rest, and the folder
        // with it; a link of one of its names goes as a link.
        writeFile(killed + "/concat.txt", 3);
        writeFile(killed + "/my notes.txt", 3);
        QVERIFY(QFile::link(other + "/" + seg, killed + "/2024-05-01-10-21-00.bak"));
        QRecordSafety::removeOwnFiles(killed, "Rec ");
        QCOMPARE(QDir(killed).entryList(QDir::Files | QDir::System), QStringList{"my notes.txt"});
        QVERIFY(QFileInfo::exists(other + "/" + seg));
        QRecordSafety::removeOwnFiles(merged, "Rec ");
        QVERIFY(!QFileInfo::exists(merged));
        // Through a link nothing is cleaned.
        QRecordSafety::removeOwnFiles(root + "/2024-05-01-10-20-37", "Rec ");
        QVERIFY(QFileInfo::exists(other + "/" + seg));
    }

    void placeFileMovesOrCopiesAndNeverLosesTheSource()
    {
        QTemporaryDir dir;
        const QString from = dir.filePath("merged.bak");
        writeFile(from, 5000);
        const QByteArray content = readFile(from);

        // A name that is taken is not overwritten, and the source stays.
        const QString taken = dir.filePath("taken.mp4");
        writeFile(taken, 3);
        QVERIFY(!QRecordSafety::placeFile(from, taken));
        QCOMPARE(readFile(taken).size(), 3);
        QCOMPARE(readFile(from), content);
        // No such folder: nothing happens.
        QVERIFY(!QRecordSafety::placeFile(from, dir.filePath("missing/x.mp4")));
        QCOMPARE(readFile(from), content);

        // Another file system: a copy, and the source stays until the work files go.
        const QString shm = "/dev/shm";
        if (QFileInfo(shm).isWritable() && QStorageInfo(shm).device() != QStorageInfo(dir.path()).device()) {
            QTemporaryDir other(shm + "/recordsafety-XXXXXX");
            const QString copied = other.filePath("copied.mp4");
            QVERIFY(QRecordSafety::placeFile(from, copied));
            QCOMPARE(readFile(copied), content);
            QCOMPARE(readFile(from), content);
        }

        // One file system: a rename.
        const QString final = dir.filePath("final.mp4");
        QVERIFY(QRecordSafety::placeFile(from, final));
        QCOMPARE(readFile(final), content);
        QVERIFY(!QFileInfo::exists(from));
    }

    void recoveryJoinsAndSavesThroughTheNormalPath()
    {
        const QString folder = base() + "/2024-05-01-10-20-30";
        QDir().mkpath(folder);
        // Dated out of order: the names decide.
        writeFile(folder + "/2024-05-01-10-22-05.bak", QByteArray("segment second\n"), 60);
        writeFile(folder + "/2024-05-01-10-20-30.bak", QByteArray("segment first\n"));

        QCOMPARE(m_->unfinishedRecordings(), QStringList{folder});
        QVERIFY(!m_->recover(base() + "/no-such-folder"));
        QVERIFY(m_->recover(folder));
        QVERIFY(!m_->isIdle());
        QVERIFY(!m_->recover(folder)); // one at a time
        QVERIFY(saveAndWait());

        // Saved under the usual name, and the work files are still there until cleanup: at no
        // moment is there neither.
        const QString saved = m_->savedFile();
        QCOMPARE(QFileInfo(saved).path(), saveDir_);
        QVERIFY(saved.endsWith(".flv"));
        QCOMPARE(readFile(saved), QByteArray("segment first\nsegment second\n"));
        QVERIFY(QFileInfo::exists(folder + "/2024-05-01-10-22-05.bak"));
        QVERIFY(m_->unfinishedRecordings().isEmpty());
        m_->cleanup();
        QTRY_VERIFY(!QFileInfo::exists(folder));
        QVERIFY(QFileInfo::exists(saved));
    }

    void deadEncoderLeavesWhatItRecordedForSaving_data()
    {
        QTest::addColumn<QByteArray>("exitAfter");
        QTest::addColumn<bool>("kept");
        // The fake's clock runs four times as fast: 0.3 s real is 1 s recorded, 1.5 s is 6 s.
        QTest::newRow("at once: nothing worth keeping") << QByteArray("0.3") << false;
        QTest::newRow("after a while: kept") << QByteArray("1.5") << true;
    }

    void deadEncoderLeavesWhatItRecordedForSaving()
    {
        QFETCH(QByteArray, exitAfter);
        QFETCH(bool, kept);
        qputenv("FAKE_ENCODER_SPEED", "4");
        qputenv("FAKE_ENCODER_EXIT_AFTER", exitAfter);
        QSignalSpy errors(m_, &QMediaManager::record_error);
        m_->start();
        const QString work = m_->workFolder();
        QVERIFY(errors.wait(10000));
        qunsetenv("FAKE_ENCODER_EXIT_AFTER");
        qunsetenv("FAKE_ENCODER_SPEED");
        QVERIFY(m_->isIdle());
        QCOMPARE(m_->unfinishedRecordings().contains(work), kept);
        if (!kept)
            return;
        QVERIFY(m_->recover(work));
        QVERIFY(saveAndWait());
        QVERIFY(readFile(m_->savedFile()).startsWith("segment "));
        m_->cleanup();
        QTRY_VERIFY(!QFileInfo::exists(work));
    }

private:
    static void removeFolderContents(const QString& path)
    {
        QDir dir(path);
        for (const QFileInfo& fi : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
            QDir(fi.filePath()).removeRecursively();
    }
};

QTEST_MAIN(TestRecordSafety)
#include "tst_recordsafety.moc"
