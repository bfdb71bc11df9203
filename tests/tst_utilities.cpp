#include "PlatformProcesses.h"
#include "Utilities.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

class TestUtilities : public QObject
{
    Q_OBJECT
private slots:
    void formatSize_data();
    void formatSize();
    void formatDuration();
    void folderWritable();
    void folderWritableDeniedByPermissions();
    void freeBytes();
    void removeFolderTakesEverything();
    void removeFolderLeavesLinkTargets();
    void formatTextAndCompare();
    void processesByName();
};

void TestUtilities::formatSize_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << quint64(0) << "0B";
    QTest::newRow("below one step") << quint64(1023) << "1023B";
    QTest::newRow("one and a half") << quint64(1536) << "1.5KB";
    QTest::newRow("exact GB") << quint64(1073741824) << "1GB";
    // Only the last division's remainder counts: 100 bytes over 1 MiB vanish.
    QTest::newRow("earlier remainder ignored") << quint64(1048676) << "1MB";
    QTest::newRow("5.5 GB") << quint64(5905580032) << "5.5GB";
    // 102/1024 = 0.0996: the first digit after the point is 0, so none is shown.
    QTest::newRow("digit cut not rounded") << quint64(1126) << "1KB";
    QTest::newRow("1023.9 KB cut") << quint64(1048575) << "1023.9KB";
    QTest::newRow("one PB") << quint64(1125899906842624) << "1PB";
    QTest::newRow("stays in PB") << quint64(1024) * 1125899906842624ULL << "1024PB";
    QTest::newRow("largest value") << std::numeric_limits<quint64>::max() << "16384PB";
}

void TestUtilities::formatSize()
{
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(::formatSize(bytes), text);
}

void TestUtilities::formatDuration()
{
    QCOMPARE(::formatDuration(0), QStringLiteral("00:00:00"));
    QCOMPARE(::formatDuration(75), QStringLiteral("00:01:15"));
    QCOMPARE(::formatDuration(3661), QStringLiteral("01:01:01"));
    QCOMPARE(::formatDuration(86399), QStringLiteral("23:59:59"));
    QCOMPARE(::formatDuration(360000), QStringLiteral("100:00:00"));
}

void TestUtilities::folderWritable()
{
    QTemporaryDir dir;
    QVERIFY(isFolderWritable(dir.path()));
    QVERIFY2(!QFile::exists(dir.filePath(QStringLiteral("test.tst"))), "the probe file must be removed");
    // A folder that does not exist is not a permission problem.
    QVERIFY(isFolderWritable(dir.filePath(QStringLiteral("missing/deeper"))));
    // sysfs refuses new files to everybody, root included.
    if (QFileInfo(QStringLiteral("/sys/kernel")).isDir())
        QVERIFY(!isFolderWritable(QStringLiteral("/sys/kernel")));
}

void TestUtilities::folderWritableDeniedByPermissions()
{
    if (geteuid() == 0)
        QSKIP("permissions do not bind root");
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(locked));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(!isFolderWritable(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestUtilities::freeBytes()
{
    QCOMPARE(diskFreeBytes(QString()), quint64(0));
    QTemporaryDir dir;
    const qint64 expected = QStorageInfo(dir.path()).bytesAvailable();
    const quint64 free = diskFreeBytes(dir.path());
    QVERIFY(free > 0);
    // Other processes write meanwhile; the same volume gives nearly the same figure.
    const qint64 slack = 256LL * 1024 * 1024;
    QVERIFY(qAbs(qint64(free) - expected) < slack);
    // A save folder that is not created yet is measured on its nearest existing parent.
    const quint64 missing = diskFreeBytes(dir.filePath(QStringLiteral("not/yet/made")));
    QVERIFY(qAbs(qint64(missing) - expected) < slack);
}

void TestUtilities::removeFolderTakesEverything()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("work 录屏 'x'"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/a/b")));
    for (const QString& name : {QStringLiteral("/1.bak"), QStringLiteral("/.hidden"),
                                QStringLiteral("/a/b/2.bak"), QStringLiteral("/a/.cfg")}) {
        QFile f(root + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    removeFolder(root);
    QVERIFY(!QFileInfo::exists(root));
    // Missing or empty paths are no-ops, not crashes.
    removeFolder(root);
    removeFolder(QString());
    QVERIFY(QFileInfo::exists(dir.path()));
}

void TestUtilities::removeFolderLeavesLinkTargets()
{
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("keep"));
    QVERIFY(QDir().mkpath(outside));
    QFile precious(outside + QStringLiteral("/precious.mp4"));
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.close();
    const QString work = dir.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    QVERIFY(QFile::link(outside, work + QStringLiteral("/link")));
    QVERIFY(QFile::link(precious.fileName(), work + QStringLiteral("/file-link")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), work + QStringLiteral("/dangling")));

    removeFolder(work);
    QVERIFY(!QFileInfo::exists(work));
    QVERIFY(QFileInfo::exists(precious.fileName()));
}

void TestUtilities::formatTextAndCompare()
{
    QCOMPARE(formatText("taskkill /im %s", "zrk_video_capture.exe"),
             std::string("taskkill /im zrk_video_capture.exe"));
    QCOMPARE(formatText("%d-%s", 42, ""), std::string("42-"));
    QCOMPARE(formatText("%s", ""), std::string());
    const std::string longText(5000, 'y');
    QCOMPARE(formatText("<%s>", longText.c_str()), "<" + longText + ">");

    QCOMPARE(compareText(L"ABC.exe", L"abc.EXE", true), 0);
    QVERIFY(compareText(L"ABC.exe", L"abc.EXE", false) != 0);
    QVERIFY(compareText(L"a.exe", L"b.exe", true) < 0);
    QVERIFY(compareText(L"b.exe", L"A.exe", true) > 0);
    QVERIFY(compareText(L"abc", L"abcd", true) < 0);
    // Only ASCII letters fold.
    QVERIFY(compareText(L"\u00e4.exe", L"\u00c4.exe", true) != 0);
}

void TestUtilities::processesByName()
{
    // A copy of sleep under a name of its own stands for a stray encoder.
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("Reelcast_Test_Sleeper.exe"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), exe));
    QVERIFY(!isProcessRunning(L"reelcast_test_sleeper.EXE"));

    QProcess sleeper;
    sleeper.start(exe, {QStringLiteral("60")});
    QVERIFY(sleeper.waitForStarted());
    QTRY_VERIFY(isProcessRunning(L"reelcast_test_sleeper.EXE"));
    QVERIFY(!isProcessRunning(L"reelcast_test_sleeper"));

    // The camera preview's feed (a child of vcamera.exe) runs under the same name but belongs to
    // the preview: it is neither found nor ended.
    const QString preview = dir.filePath(QStringLiteral("vcamera.exe"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sh"), preview));
    QProcess feedParent;
    feedParent.start(preview, {QStringLiteral("-c"), QStringLiteral("\"$0\" 60; :"), exe});
    QVERIFY(feedParent.waitForStarted());
    QTest::qWait(300);

    platform::killProcessesNamed(L"REELCAST_TEST_SLEEPER.exe");
    QVERIFY(sleeper.waitForFinished(5000));
    QCOMPARE(sleeper.exitStatus(), QProcess::CrashExit);
    QVERIFY(!isProcessRunning(L"reelcast_test_sleeper.EXE"));
    QVERIFY(!feedParent.waitForFinished(500));
    feedParent.kill();
    feedParent.waitForFinished(5000);
}

QTEST_GUILESS_MAIN(TestUtilities)
#include "tst_utilities.moc"
