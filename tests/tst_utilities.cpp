#include "PlatformProcesses.h"
#include "Utilities.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <signal.h>
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
    void strayCopiesOnly();
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
    // The user's own test.tst, and a link under the next name, are left as they are.
    QFile own(dir.filePath(QStringLiteral("test.tst")));
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.write("the user's own");
    own.close();
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("target"));
    QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("test-1.tst"))));
    QVERIFY(isFolderWritable(dir.path()));
    QVERIFY(own.open(QIODevice::ReadOnly));
    QCOMPARE(own.readAll(), QByteArray("the user's own"));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("test-1.tst"))).isSymLink());
    QVERIFY(!QFile::exists(target));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 2);
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
    // the preview: it is not found.
    const QString preview = dir.filePath(QStringLiteral("vcamera.exe"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sh"), preview));
    QProcess feedParent;
    const QString feedPid = dir.filePath(QStringLiteral("feed.pid"));
    feedParent.start(
        preview, {QStringLiteral("-c"), QStringLiteral("\"$0\" 60 & echo $! > \"$1\"; wait"), exe, feedPid});
    QVERIFY(feedParent.waitForStarted());
    QTest::qWait(300);
    int found = 0;
    for (const platform::ProcessEntry& p : platform::runningProcesses())
        found += p.exeName == L"Reelcast_Test_Sleeper.exe" ? 1 : 0;
    QCOMPARE(found, 1);
    QFile feed(feedPid);
    QVERIFY(feed.open(QIODevice::ReadOnly));
    ::kill(pid_t(feed.readAll().trimmed().toLong()), SIGKILL);
    feedParent.kill();
    feedParent.waitForFinished(5000);
    sleeper.kill();
    sleeper.waitForFinished(5000);
}

void TestUtilities::strayCopiesOnly()
{
    // Copies of one program file as a start-up sweep meets them. Ended: those whose starter is
    // gone. Kept: a child of this live program, a child of a live helper with the same mark
    // (an encoder's own relay), an orphan of another file, and the stopped one is not left
    // stopped but ended.
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("zrk_video_capture.exe"));
    const QString other = dir.filePath(QStringLiteral("other/zrk_video_capture.exe"));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("other"))));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), exe));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), other));

    QProcess gone;
    gone.start(QStringLiteral("/bin/true"), QStringList());
    QVERIFY(gone.waitForFinished(5000));
    const QByteArray deadMark = QByteArray::number(gone.processId()) + ":1";
    const QByteArray markName = QByteArray::fromStdString(platform::childMark().first);
    QVERIFY(!markName.isEmpty());

    // A pid file per copy, written by the shell that starts it.
    auto spawn = [&](const QString& program, const QString& script, const QByteArray& mark) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(markName), QString::fromLatin1(mark));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, program});
        p->waitForStarted(5000);
        return p;
    };
    auto pidIn = [&](const QString& name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLong() : 0L;
    };
    auto runs = [](long pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
    };
    const QString pidFile = dir.filePath(QStringLiteral("%1.pid"));
    const QStringList names{"orphan", "stopped", "foreign", "relay", "child"};
    // Whatever happens, nothing of this test outlives it.
    struct Sweep
    {
        std::function<void()> run;
        ~Sweep() { run(); }
    } sweep{[&] {
        for (const QString& name : names)
            if (pidIn(name + ".pid") > 0)
                ::kill(pid_t(pidIn(name + ".pid")), SIGKILL);
    }};
    // Background copies outlive their shell: orphans, adopted by init or a subreaper.
    const QString background = QStringLiteral("\"$0\" 60 & echo $! > %1");
    QScopedPointer<QProcess> orphan(spawn(exe, background.arg(pidFile.arg("orphan")), deadMark));
    QScopedPointer<QProcess> stopped(spawn(exe, background.arg(pidFile.arg("stopped")), deadMark));
    QScopedPointer<QProcess> foreign(spawn(other, background.arg(pidFile.arg("foreign")), deadMark));
    // The shell stays, carrying the same mark: a live parent.
    QScopedPointer<QProcess> relay(spawn(exe, background.arg(pidFile.arg("relay")) + "; wait", deadMark));
    QScopedPointer<QProcess> child(
        spawn(exe, QStringLiteral("echo $$ > %1; exec \"$0\" 60").arg(pidFile.arg("child")),
              QByteArray::fromStdString(platform::childMark().second)));
    auto started = [&](const QString& name, const QString& program) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pidIn(name + ".pid")));
        return cmdline.open(QIODevice::ReadOnly) &&
               cmdline.readAll().split('\0').value(0) == program.toUtf8();
    };
    for (const QString& name : names)
        QTRY_VERIFY(started(name, name == "foreign" ? other : exe));
    QCOMPARE(::kill(pid_t(pidIn("stopped.pid")), SIGSTOP), 0);

    platform::endOrphanedProcesses(exe.toStdWString());
    QTRY_VERIFY(!runs(pidIn("orphan.pid")));
    QTRY_VERIFY(!runs(pidIn("stopped.pid")));
    QTest::qWait(300);
    QVERIFY(runs(pidIn("foreign.pid")));
    QVERIFY(runs(pidIn("relay.pid")));
    QVERIFY(runs(pidIn("child.pid")));
}

QTEST_GUILESS_MAIN(TestUtilities)
#include "tst_utilities.moc"
