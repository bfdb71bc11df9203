// The crash hand-over of the program and the dump program's report. Crashes happen in child
// processes: the real program (faulting on request through REELCAST_CRASH_TEST) or this test
// program started with "--child MODE".
#include "CrashHandler.h"
#include "PlatformCrash.h"
#include "TaskPool.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The block of one crashed process: its name carries the user and the process.
QString mappingOf(qint64 pid)
{
    return QStringLiteral("Mapping_reelcastDumpData-%1-%2").arg(getuid()).arg(pid);
}

QString blockFileOf(qint64 pid)
{
    return QStringLiteral("/dev/shm/") + mappingOf(pid);
}

volatile int recursionLimit = 1 << 30;

[[gnu::noinline]] int deepRecursion(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (depth > recursionLimit)
        return 0;
    return deepRecursion(depth + 1) + frame[0];
}

int* volatile nowhere = nullptr;

[[noreturn]] void runChild(const QByteArray& mode)
{
    installCrashHandler(L"reelcast");
    if (mode == "pool-overflow") {
        TaskPool::instance()->start(2);
        TaskPool::instance()->post([] { deepRecursion(0); });
    } else if (mode == "two-threads") {
        static std::atomic<int> ready{0};
        for (int i = 0; i < 2; ++i) {
            std::thread([] {
                platform::prepareCrashStack();
                ++ready;
                while (ready < 2) {
                }
                *nowhere = 1;
            }).detach();
        }
    }
    sleep(60);
    _exit(99);
}

QString readText(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

void writeExecutable(const QString& path, const QByteArray& content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner);
}

quint32 get32(const QByteArray& data, int at)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData() + at);
    return p[0] | p[1] << 8 | p[2] << 16 | quint32(p[3]) << 24;
}

} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

    TestEnvironment* env_ = nullptr;
    QTemporaryDir* folder_ = nullptr;

    enum DumpProgram
    {
        RealDump,
        StubDump,
        NoDump
    };

    // A program folder holding the chosen dump program, and the folder the stub writes to. The
    // dump program is sought beside the executable, so the program and this test run from copies.
    QString makeFolder(DumpProgram dump)
    {
        delete folder_;
        folder_ = new QTemporaryDir(env_->home() + QStringLiteral("/folder-XXXXXX"));
        const QString path = folder_->path();
        QDir().mkpath(path + "/run");
        QFile::setPermissions(path + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(path + "/out");
        writeExecutable(path + "/screen.sh", "#!/bin/sh\n");
        const QString bin = TestEnvironment::programDir();
        QStringList copies{bin + "/reelcast", QCoreApplication::applicationFilePath()};
        for (const QString& lib : QDir(bin).entryList({"libhostkit.so*"}))
            copies << bin + "/" + lib;
        for (const QString& file : copies)
            QFile::copy(file, path + "/" + QFileInfo(file).fileName());
        QFile::copy(bin + "/app.ini", path + "/app.ini");
        QDir().mkpath(path + "/skin");
        QFile::copy(bin + "/skin/skin", path + "/skin/skin");
        if (dump == RealDump)
            QFile::link(TestEnvironment::programDir() + "/mindump.exe", path + "/mindump.exe");
        // The stub records what it was given and holds the hand-over for a moment.
        if (dump == StubDump)
            writeExecutable(path + "/mindump.exe", "#!/bin/sh\n"
                                                   "o=$STUB_OUT/$$\n"
                                                   "echo \"start $(date +%s%N)\" >> $STUB_OUT/log\n"
                                                   "cp /dev/shm/$2 $o.block\n"
                                                   "printf ' %s' \"$@\" > $o.args\n"
                                                   "echo $PPID > $o.ppid\n"
                                                   "ls /proc/$PPID/task > $o.tasks\n"
                                                   "sleep 0.5\n"
                                                   "echo \"end $(date +%s%N)\" >> $STUB_OUT/log\n");
        return path;
    }

    struct Crash
    {
        qint64 pid = 0;
        int signal = 0;
        qint64 elapsedMs = 0;
    };

    // Runs the program (or this test as a child) in the folder until it ends.
    Crash run(const QString& folder, const QString& childMode, const QByteArray& trigger = "1")
    {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("XDG_RUNTIME_DIR", folder + "/run");
        e.insert("STUB_OUT", folder + "/out");
        e.insert("REELCAST_CRASH_TEST", QString::fromLatin1(trigger));
        p.setProcessEnvironment(e);
        p.setWorkingDirectory(folder);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        if (childMode.isEmpty())
            p.start(folder + "/reelcast", QStringList());
        else
            p.start(folder + "/" + QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                    {"--child", childMode});
        Crash c;
        if (!p.waitForStarted(5000))
            return c;
        c.pid = p.processId();
        if (!p.waitForFinished(60000))
            p.kill();
        c.elapsedMs = timer.elapsed();
        if (p.exitStatus() == QProcess::CrashExit)
            c.signal = p.exitCode();
        return c;
    }

    QStringList reports() const
    {
        return QDir(env_->home() + "/data/reelcast/crash").entryList(QDir::Files, QDir::Name);
    }

private slots:
    void initTestCase() { env_ = new TestEnvironment; }
    void cleanupTestCase()
    {
        delete folder_;
        delete env_;
    }
    void init() { QDir(env_->home() + "/data/reelcast/crash").removeRecursively(); }

    void crashIsReported_data()
    {
        QTest::addColumn<QString>("child");
        QTest::addColumn<QByteArray>("trigger");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("signalLine");
        QTest::addColumn<QString>("function");
        QTest::newRow("program fault")
            << QString() << QByteArray("1") << int(SIGSEGV) << "Signal: SIGSEGV (11), address not mapped"
            << "crashTestFault()";
        QTest::newRow("program abort")
            << QString() << QByteArray("abort") << int(SIGABRT) << "Signal: SIGABRT (6), sent by tkill"
            << "abort";
        QTest::newRow("worker stack overflow")
            << "pool-overflow" << QByteArray() << int(SIGSEGV) << "Signal: SIGSEGV (11)"
            << "deepRecursion(int)";
    }

    void crashIsReported()
    {
        QFETCH(QString, child);
        QFETCH(QByteArray, trigger);
        QFETCH(int, signal);
        QFETCH(QString, signalLine);
        QFETCH(QString, function);
        const Crash c = run(makeFolder(RealDump), child, trigger);
        QCOMPARE(c.signal, signal);
        QVERIFY2(c.elapsedMs < 15000, qPrintable(QString::number(c.elapsedMs)));
        QVERIFY(!QFile::exists(blockFileOf(c.pid)));

        const QStringList names = reports();
        QCOMPARE(names.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}-%1\\.txt$").arg(c.pid))
                    .match(names[0])
                    .hasMatch());
        const QString report = readText(env_->home() + "/data/reelcast/crash/" + names[0]);
        QVERIFY(report.startsWith("Crash report of reelcast 1.0\n"));
        QVERIFY2(report.contains(signalLine), qPrintable(report.left(1000)));
        QVERIFY(report.contains("Memory map\n"));

        // The crashing thread comes first; the frame the signal interrupted names the function.
        // A program without other threads has only the map after its one thread.
        const int first = report.indexOf("\nThread ");
        int second = report.indexOf("\nThread ", first + 1);
        if (second < 0)
            second = report.indexOf("\nMemory map\n", first + 1);
        QVERIFY2(first > 0 && second > first, qPrintable(report.left(2000)));
        const QString crashed = report.mid(first + 1, second - first);
        QVERIFY(crashed.contains(" (crashed)\n"));
        const bool onMainThread = crashed.startsWith(QStringLiteral("Thread %1 ").arg(c.pid));
        QCOMPARE(onMainThread, child.isEmpty());
        const int marker = crashed.indexOf("--- interrupted by the signal ---\n");
        QVERIFY2(marker > 0, qPrintable(crashed));
        const QString faulting = crashed.mid(marker).section('\n', 1, 1);
        if (signal == SIGSEGV)
            QVERIFY2(faulting.contains(function), qPrintable(faulting));
        else
            QVERIFY2(crashed.mid(marker).contains(function), qPrintable(crashed));
        if (!child.isEmpty())
            QVERIFY(crashed.contains("... more frames not shown"));
    }

    void handOverBlock_data()
    {
        QTest::addColumn<QString>("child");
        QTest::newRow("program main thread") << QString();
        QTest::newRow("worker thread") << "pool-overflow";
    }

    void handOverBlock()
    {
        QFETCH(QString, child);
        const QString folder = makeFolder(StubDump);
        const Crash c = run(folder, child);
        QCOMPARE(c.signal, int(SIGSEGV));
        const QStringList args = QDir(folder + "/out").entryList({"*.args"});
        QCOMPARE(args.size(), 1);
        const QString stub = folder + "/out/" + args[0].section('.', 0, 0);
        QCOMPARE(readText(stub + ".args"), QStringLiteral(" reelcast ") + mappingOf(c.pid));
        QCOMPARE(readText(stub + ".ppid").trimmed().toLongLong(), c.pid);

        QFile f(stub + ".block");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray block = f.readAll();
        QCOMPARE(block.size(), 1024);
        QCOMPARE(qint64(get32(block, 0)), c.pid);
        const quint32 tid = get32(block, 4);
        QVERIFY(readText(stub + ".tasks").split('\n').contains(QString::number(tid)));
        QCOMPARE(tid == c.pid, child.isEmpty());
        QVERIFY(get32(block, 8) != 0);
        QCOMPARE(block.mid(12), QByteArray(1012, '\0'));
        QVERIFY(!QFile::exists(blockFileOf(c.pid)));
    }

    void missingDumpProgramEndsAtOnce()
    {
        const Crash c = run(makeFolder(NoDump), QString());
        QCOMPARE(c.signal, int(SIGSEGV));
        qInfo("ended %lld ms after the start", c.elapsedMs);
        QVERIFY2(c.elapsedMs < 3000, qPrintable(QString::number(c.elapsedMs)));
        QVERIFY(reports().isEmpty());
        QVERIFY(!QFile::exists(blockFileOf(c.pid)));
    }

    void twoCrashingThreadsAreSerialised()
    {
        const QString folder = makeFolder(StubDump);
        const Crash c = run(folder, "two-threads");
        QCOMPARE(c.signal, int(SIGSEGV));
        QVERIFY2(c.elapsedMs < 10000, qPrintable(QString::number(c.elapsedMs)));
        const QStringList log = readText(folder + "/out/log").split('\n', Qt::SkipEmptyParts);
        QCOMPARE(log.size(), 4);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(log[i].startsWith(i % 2 ? "end " : "start "), qPrintable(log.join('|')));
        QVERIFY(log[1].section(' ', 1).toLongLong() <= log[2].section(' ', 1).toLongLong());

        QSet<quint32> threads;
        for (const QString& name : QDir(folder + "/out").entryList({"*.block"})) {
            QFile f(folder + "/out/" + name);
            f.open(QIODevice::ReadOnly);
            threads << get32(f.readAll(), 4);
        }
        QCOMPARE(threads.size(), 2);
        QVERIFY(!threads.contains(quint32(c.pid)));
    }

    void dumpProgramRefusesForeignBlocks_data()
    {
        QTest::addColumn<QString>("mapping");
        QTest::addColumn<bool>("ownBlock");
        QTest::addColumn<QString>("kind");
        QTest::newRow("block of another process") << "Mapping_crashtestDumpData" << false << "file";
        QTest::newRow("missing block") << "Mapping_crashtestMissingDumpData" << false << "file";
        QTest::newRow("name leading out of the folder")
            << "../../tmp/Mapping_crashtestDumpData" << true << "file";
        QTest::newRow("a FIFO") << "Mapping_crashtestDumpData" << true << "fifo";
        QTest::newRow("another user's block") << "Mapping_crashtestDumpData" << true << "foreign";
        QTest::newRow("a link to a block") << "Mapping_crashtestLinkDumpData" << true << "file";
    }

    // Started by hand, the dump program's parent is this test. It ends at once, without a report,
    // unless the block is a regular file of this user's naming this test.
    void dumpProgramRefusesForeignBlocks()
    {
        QFETCH(QString, mapping);
        QFETCH(bool, ownBlock);
        QFETCH(QString, kind);
        QByteArray block(1024, '\0');
        const quint32 pid = ownBlock ? quint32(getpid()) : 1;
        memcpy(block.data(), &pid, 4);
        const QString forged = QStringLiteral("/dev/shm/Mapping_crashtestDumpData");
        const QString link = QStringLiteral("/dev/shm/Mapping_crashtestLinkDumpData");
        QFile::remove(forged);
        if (kind == "fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(forged).constData(), 0600), 0);
        } else {
            QFile f(forged);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(block);
            f.close();
        }
        if (kind == "foreign" &&
            (getuid() != 0 || chown(QFile::encodeName(forged).constData(), 65534, 65534) != 0))
            QSKIP("needs root to make another user's block");
        if (kind != "fifo")
            QFile::copy(forged, "/tmp/Mapping_crashtestDumpData");
        QFile::link(forged, link);

        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(TestEnvironment::programDir() + "/mindump.exe", {"reelcast", mapping});
        QVERIFY(p.waitForFinished(10000));
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        QFile::remove(forged);
        QFile::remove(link);
        QFile::remove("/tmp/Mapping_crashtestDumpData");
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(reports().isEmpty());
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        runChild(argv[2]);
    QCoreApplication app(argc, argv);
    TestCrashHandler test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashhandler.moc"
