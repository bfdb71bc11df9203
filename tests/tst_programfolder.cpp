// Where the started program takes its files from: app.ini, the skin, screen.sh and the
// translation from the executable's folder, whatever the working directory holds.
#include "CSetting.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class TestProgramFolder : public QObject
{
    Q_OBJECT

    TestEnvironment* env_ = nullptr;
    int runs_ = 0;
    QList<QProcess*> running_;

    QString desktopLanguage_ = QStringLiteral("C.UTF-8");

    struct Running
    {
        QProcess* process;
        QString cwd;
    };

    static void writeFile(const QString& path, const QByteArray& content, bool executable = false)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        if (executable)
            f.setPermissions(f.permissions() | QFile::ExeOwner);
    }

    // A working directory with its own app.ini, skin and a screen.sh that leaves a marker.
    QString makeWorkingDirectory(const QByteArray& appIni)
    {
        const QString cwd = QDir(env_->home()).filePath(QStringLiteral("elsewhere-%1").arg(++runs_));
        QDir().mkpath(cwd);
        if (!appIni.isNull())
            writeFile(cwd + "/app.ini", appIni);
        writeFile(cwd + "/screen.sh", "#!/bin/sh\npwd > screen.ran\n", true);
        QDir().mkpath(cwd + "/skin");
        QFile::copy(TestEnvironment::programDir() + "/skin/skin", cwd + "/skin/skin");
        return cwd;
    }

    Running start(const QString& cwd, const QString& exe)
    {
        auto* p = new QProcess(this);
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        // Each run is a first instance of its own.
        const QString runtime = cwd + "/run";
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        e.insert("XDG_RUNTIME_DIR", runtime);
        // The desktop's language decides where none is stored: the same one for every run.
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            e.remove(QString::fromLatin1(name));
        e.insert("LANG", desktopLanguage_);
        if (!qEnvironmentVariableIsEmpty("DISPLAY"))
            e.insert("QT_QPA_PLATFORM", "xcb");
        p->setProcessEnvironment(e);
        p->setWorkingDirectory(cwd);
        p->start(exe, QStringList());
        p->waitForStarted(5000);
        running_ << p;
        return {p, cwd};
    }

    static QString mappedFiles(QProcess* p)
    {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(p->processId()));
        maps.open(QIODevice::ReadOnly);
        return QString::fromLocal8Bit(maps.readAll());
    }

    // The title of the program's window, read from the X server.
    static QString windowTitleOf(QProcess* p)
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || QStandardPaths::findExecutable("xdotool").isEmpty())
            return QString();
        for (int i = 0; i < 50; ++i) {
            QProcess search;
            search.start("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                                     QString::number(p->processId()), "--name", "."});
            search.waitForFinished(5000);
            const QStringList ids =
                QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
            for (const QString& id : ids) {
                QProcess name;
                name.start("xdotool", {"getwindowname", id});
                name.waitForFinished(5000);
                const QString title = QString::fromUtf8(name.readAllStandardOutput()).trimmed();
                if (!title.isEmpty())
                    return title;
            }
            QTest::qWait(100);
        }
        return QString();
    }

    void stop(QProcess* p)
    {
        running_.removeAll(p);
        p->terminate();
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished(5000);
        }
        delete p;
    }

private slots:
    void initTestCase() { env_ = new TestEnvironment; }
    void cleanupTestCase() { delete env_; }
    void init() { QFile::remove(env_->home() + "/config/reelcast/reelcast.ini"); }
    void cleanup()
    {
        while (!running_.isEmpty())
            stop(running_.first());
    }

    void filesComeFromTheExecutablesFolder()
    {
        // A copy of the program with files of its own, started from a folder that offers others:
        // app.ini, the skin and screen.sh come from beside the executable, nothing from the
        // working directory.
        CSetting::setValue("language", "type", QVariant(QStringLiteral("en")));
        const QString exeDir = QDir(env_->home()).filePath("installed/bin");
        QDir().mkpath(exeDir + "/language");
        QVERIFY(QFile::copy(TestEnvironment::programDir() + "/reelcast", exeDir + "/reelcast"));
        for (const QString& lib : QDir(TestEnvironment::programDir()).entryList({"libhostkit.so*"}))
            QFile::copy(TestEnvironment::programDir() + "/" + lib, exeDir + "/" + lib);
        QFile::copy(TestEnvironment::programDir() + "/language/reelcast_en.qm",
                    exeDir + "/language/reelcast_en.qm");
        writeFile(exeDir + "/app.ini",
                  "[app_name]\nname_zh=Installed ZH\nname_en=Installed EN\n[global]\nlang=en\n");
        writeFile(exeDir + "/screen.sh", "#!/bin/sh\npwd > screen.ran\n", true);
        QDir().mkpath(exeDir + "/skin");
        QFile::copy(TestEnvironment::programDir() + "/skin/skin", exeDir + "/skin/skin");
        const QString cwd = makeWorkingDirectory("[app_name]\nname_zh=Elsewhere ZH\nname_en=Elsewhere EN\n"
                                                 "[global]\nlang=en\n");

        Running r = start(cwd, exeDir + "/reelcast");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(exeDir + "/screen.ran"), 10000);
        QFile ran(exeDir + "/screen.ran");
        ran.open(QIODevice::ReadOnly);
        QCOMPARE(QString::fromLocal8Bit(ran.readAll()).trimmed(), QFileInfo(exeDir).canonicalFilePath());
        QTRY_VERIFY_WITH_TIMEOUT(mappedFiles(r.process).contains(exeDir + "/skin/skin"), 10000);
        QVERIFY(!mappedFiles(r.process).contains(cwd + "/skin/skin"));
        QVERIFY(!QFile::exists(cwd + "/screen.ran"));
        const QString title = windowTitleOf(r.process);
        if (!title.isNull())
            QCOMPARE(title, QStringLiteral("Installed EN"));
        QCOMPARE(r.process->state(), QProcess::Running);
        stop(r.process);
    }

    void storedEnglishTranslatesTheBuiltInName()
    {
        CSetting::setValue("language", "type", QVariant(QStringLiteral("en")));
        const QString cwd = makeWorkingDirectory(QByteArray("[default]\nlang=zh\n"));
        Running r = start(cwd, TestEnvironment::programDir() + "/reelcast");
        QTRY_VERIFY_WITH_TIMEOUT(mappedFiles(r.process).contains("/language/reelcast_en.qm"), 10000);
        const QString title = windowTitleOf(r.process);
        if (!title.isNull())
            QCOMPARE(title, QStringLiteral("Vexlo Screen Recorder"));
        stop(r.process);
    }

    // With no choice stored the desktop's language is used where it has texts, else app.ini's
    // default; a choice stored in the program wins over the desktop.
    void languageFollowsTheDesktop_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("qtTexts");
        QTest::newRow("English desktop")
            << "en_US.UTF-8" << QString() << "Vexlo Screen Recorder" << QString();
        QTest::newRow("Chinese desktop") << "zh_CN.UTF-8" << QString() << "Vexlo录屏助手"
                                         << "qtbase_zh_CN.qm";
        QTest::newRow("German desktop") << "de_DE.UTF-8" << QString() << "Vexlo录屏助手"
                                        << "qtbase_zh_CN.qm";
        QTest::newRow("Chinese chosen on English") << "en_GB.UTF-8"
                                                   << "zh"
                                                   << "Vexlo录屏助手"
                                                   << "qtbase_zh_CN.qm";
        QTest::newRow("English chosen on Chinese") << "zh_CN.UTF-8"
                                                   << "en"
                                                   << "Vexlo Screen Recorder" << QString();
    }

    void languageFollowsTheDesktop()
    {
        QFETCH(QString, desktop);
        QFETCH(QString, stored);
        QFETCH(QString, title);
        QFETCH(QString, qtTexts);
        if (!stored.isEmpty())
            CSetting::setValue("language", "type", QVariant(stored));
        desktopLanguage_ = desktop;
        const QString cwd = makeWorkingDirectory(QByteArray("[default]\nlang=zh\n"));
        Running r = start(cwd, TestEnvironment::programDir() + "/reelcast");
        desktopLanguage_ = QStringLiteral("C.UTF-8");
        const bool english = title.startsWith(QLatin1String("Vexlo "));
        QTRY_VERIFY_WITH_TIMEOUT(mappedFiles(r.process).contains("/skin/skin"), 10000);
        const QString maps = mappedFiles(r.process);
        QCOMPARE(maps.contains("/language/reelcast_en.qm"), english);
        if (!qtTexts.isEmpty() &&
            QFile::exists(QLibraryInfo::location(QLibraryInfo::TranslationsPath) + "/" + qtTexts))
            QVERIFY(maps.contains(qtTexts));
        const QString shown = windowTitleOf(r.process);
        if (!shown.isNull())
            QCOMPARE(shown, title);
        stop(r.process);
    }

    void missingFilesAreIgnored()
    {
        // No app.ini, no skin, no screen.sh beside a copy of the program, an unknown language:
        // the program still runs, in Chinese.
        CSetting::setValue("language", "type", QVariant(QStringLiteral("xx")));
        const QString cwd = QDir(env_->home()).filePath("bare");
        QDir().mkpath(cwd + "/bin");
        QVERIFY(QFile::copy(TestEnvironment::programDir() + "/reelcast", cwd + "/bin/reelcast"));
        for (const QString& lib : QDir(TestEnvironment::programDir()).entryList({"libhostkit.so*"}))
            QFile::copy(TestEnvironment::programDir() + "/" + lib, cwd + "/bin/" + lib);
        Running r = start(cwd, cwd + "/bin/reelcast");
        const QString title = windowTitleOf(r.process);
        if (!title.isNull())
            QCOMPARE(title, QStringLiteral("Vexlo录屏助手"));
        QTest::qWait(500);
        QCOMPARE(r.process->state(), QProcess::Running);
        QVERIFY(!mappedFiles(r.process).contains("/language/reelcast_"));
        stop(r.process);
    }

    void defaultLanguageSeeksZhBesideTheExecutable()
    {
        // A copy of the program whose language folder offers only reelcast_zh.qm (English
        // inside): with nothing stored and no app.ini that file is loaded.
        const QString exeDir = QDir(env_->home()).filePath("copy/bin");
        QDir().mkpath(exeDir + "/language");
        QVERIFY(QFile::copy(TestEnvironment::programDir() + "/reelcast", exeDir + "/reelcast"));
        for (const QString& lib : QDir(TestEnvironment::programDir()).entryList({"libhostkit.so*"}))
            QFile::copy(TestEnvironment::programDir() + "/" + lib, exeDir + "/" + lib);
        QVERIFY(QFile::copy(TestEnvironment::programDir() + "/language/reelcast_en.qm",
                            exeDir + "/language/reelcast_zh.qm"));
        const QString cwd = QDir(env_->home()).filePath("copy/cwd");
        QDir().mkpath(cwd);
        Running r = start(cwd, exeDir + "/reelcast");
        QTRY_VERIFY_WITH_TIMEOUT(mappedFiles(r.process).contains(exeDir + "/language/reelcast_zh.qm"), 10000);
        const QString title = windowTitleOf(r.process);
        if (!title.isNull())
            QCOMPARE(title, QStringLiteral("Vexlo Screen Recorder"));
        stop(r.process);
    }
};

QTEST_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
