// The single-instance guard and the program's start-up, tested against the built program.
// The test process itself is the first instance: it listens on the real channel and counts
// how often a later start brings its window to the front.
#include "CSetting.h"
#include "PlatformChannel.h"
#include "QSingleApplication.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>
#include <QtTest>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

class GuardApp : public QSingleApplication
{
    Q_OBJECT
public:
    GuardApp(int& argc, char** argv, QObject* tests) : QSingleApplication(argc, argv), tests_(tests)
    {
        setServerName(QStringLiteral("reelcast_win"));
    }
    int activations = 0;
    QWidget* window() const { return mainWindow_.data(); }

protected:
    void activateMainWindow() override
    {
        ++activations;
        QSingleApplication::activateMainWindow();
    }
    int runMain() override
    {
        mainWindow_ = QSharedPointer<QWidget>::create();
        mainWindow_->show();
        return QTest::qExec(tests_, arguments());
    }

private:
    QObject* tests_;
};

static GuardApp* guardApp()
{
    return static_cast<GuardApp*>(qApp);
}

class TestSingleInstance : public QObject
{
    Q_OBJECT

    QString program_;

    QProcessEnvironment childEnvironment(const QString& runtimeDir) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        return env;
    }

    QString privateFolder(const QString& name) const
    {
        const QString path = QDir::home().filePath(name);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // Starts the built program; the caller owns the process.
    QProcess* launch(const QString& cwd, const QProcessEnvironment& env, const QString& exe = QString())
    {
        auto* p = new QProcess(this);
        p->setWorkingDirectory(cwd);
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(exe.isEmpty() ? program_ : exe, QStringList());
        return p;
    }

    static bool connectable(const QString& address)
    {
        QLocalSocket s;
        s.connectToServer(address);
        return s.waitForConnected(500);
    }

    static void stop(QProcess* p)
    {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
        delete p;
    }

private slots:
    void initTestCase()
    {
        program_ = TestEnvironment::programDir() + QStringLiteral("/reelcast");
        QVERIFY(QFileInfo(program_).isExecutable());
        QVERIFY(connectable(guardApp()->serverAddress()));
        // That probe was a connection too.
        QTRY_COMPARE(guardApp()->activations, 1);
    }

    void secondStartHandsOverAndExits()
    {
        QWidget* window = guardApp()->window();
        window->showMinimized();
        QTRY_VERIFY(window->isMinimized());
        const int before = guardApp()->activations;

        QElapsedTimer timer;
        timer.start();
        QProcess* second = launch(TestEnvironment::programDir(), QProcessEnvironment::systemEnvironment());
        QVERIFY(second->waitForFinished(5000));
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(elapsed < 1500, qPrintable(QString("second start took %1 ms").arg(elapsed)));
        delete second;

        QTRY_COMPARE(guardApp()->activations, before + 1);
        QTRY_VERIFY(!window->isMinimized());
        QVERIFY(window->isVisible());
    }

    void twoLaterStartsActivateTwice()
    {
        const int before = guardApp()->activations;
        for (int i = 0; i < 2; ++i) {
            QProcess* p = launch(TestEnvironment::programDir(), QProcessEnvironment::systemEnvironment());
            QVERIFY(p->waitForFinished(5000));
            QCOMPARE(p->exitCode(), 0);
            delete p;
            QTRY_COMPARE(guardApp()->activations, before + i + 1);
        }
    }

    void channelIsPrivateToTheUser()
    {
        const QString address = guardApp()->serverAddress();
        QCOMPARE(address, qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/reelcast_win"));
        struct stat st
        {
        };
        QCOMPARE(stat(QFile::encodeName(address).constData(), &st), 0);
        QVERIFY(S_ISSOCK(st.st_mode));
        QCOMPARE(int(st.st_mode & 077), 0);
        QCOMPARE(st.st_uid, getuid());
        struct stat folder
        {
        };
        QCOMPARE(stat(QFile::encodeName(QFileInfo(address).path()).constData(), &folder), 0);
        QCOMPARE(int(folder.st_mode & 077), 0);

        // Really try as another user (needs root to switch users).
        if (getuid() != 0)
            QSKIP("switching to another user needs root");
        // The system's interpreter: a per-user one may not be reachable for another user.
        const QString python = QStringLiteral("/usr/bin/python3");
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (!QFileInfo(python).isExecutable() || setpriv.isEmpty())
            QSKIP("python3 or setpriv missing");
        const QStringList connectScript = {
            "-c", "import socket,sys; s=socket.socket(socket.AF_UNIX); s.connect(sys.argv[1])", address};
        QCOMPARE(QProcess::execute(python, connectScript), 0);
        const QStringList nobody = {"--reuid=65534", "--regid=65534", "--clear-groups", python};
        QCOMPARE(QProcess::execute(setpriv, nobody + QStringList{"-c", "pass"}), 0);
        QProcess other;
        other.start(setpriv, nobody + connectScript);
        QVERIFY(other.waitForFinished(10000));
        QVERIFY(other.exitCode() != 0);
        QVERIFY2(other.readAllStandardError().contains("PermissionError"), "refused for another reason");
    }

    void unsafeRuntimeFolderIsNotUsed()
    {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        const QString open = QDir::home().filePath(QStringLiteral("open-run"));
        QDir().mkpath(open);
        QFile::setPermissions(open, QFileDevice::Permissions(0x7777));
        qputenv("XDG_RUNTIME_DIR", open.toUtf8());
        const QString address = QString::fromStdString(platform::localChannelAddress("reelcast_win"));
        qunsetenv("XDG_RUNTIME_DIR");
        const QString fallback = QString::fromStdString(platform::localChannelAddress("reelcast_win"));
        qputenv("XDG_RUNTIME_DIR", saved);
        QVERIFY(!address.startsWith(open));
        QCOMPARE(address, fallback);
        struct stat st
        {
        };
        QCOMPARE(stat(QFile::encodeName(QFileInfo(fallback).path()).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 077), 0);
        QCOMPARE(st.st_uid, getuid());
    }

    void staleSocketOfKilledInstanceIsReplaced()
    {
        const QString runtime = privateFolder(QStringLiteral("run-stale"));
        const QString address = runtime + QStringLiteral("/reelcast_win");
        const QString cwd = privateFolder(QStringLiteral("empty-program-folder"));
        const QProcessEnvironment env = childEnvironment(runtime);

        QProcess* first = launch(cwd, env);
        QTRY_VERIFY_WITH_TIMEOUT(connectable(address), 10000);
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(5000));
        delete first;
        QVERIFY(QFileInfo::exists(address));
        QVERIFY(!connectable(address));

        QProcess* next = launch(cwd, env);
        QTRY_VERIFY_WITH_TIMEOUT(connectable(address), 10000);
        QCOMPARE(next->state(), QProcess::Running);

        QProcess* later = launch(cwd, env);
        QVERIFY(later->waitForFinished(5000));
        QCOMPARE(later->exitCode(), 0);
        delete later;
        QCOMPARE(next->state(), QProcess::Running);
        stop(next);
    }
};

int main(int argc, char** argv)
{
    TestEnvironment env; // before the application: the channel lives in its runtime folder
    TestSingleInstance tests;
    GuardApp app(argc, argv, &tests);
    return app.start();
}

#include "tst_singleinstance.moc"
