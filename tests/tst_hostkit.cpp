#include "CGlobal.h"
#include "CHelpProvider.h"
#include "CSetting.h"
#include "QCommonMethod.h"
#include "TestEnvironment.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QWidget>
#include <QtTest>

#include <unistd.h>

// Opens URLs into a list instead of a browser.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestHostkit : public QObject
{
    Q_OBJECT

    TestEnvironment* env_ = nullptr;

    // Reads a value in a separate process, as a later run of the program would.
    QString readInChild(const QString& group, const QString& key)
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--print-setting", group, key});
        child.waitForFinished(10000);
        return QString::fromUtf8(child.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        env_ = new TestEnvironment;
        CGlobal::init();
    }
    void cleanupTestCase() { delete env_; }

    void pathsExistAndEndWithSeparator()
    {
        const QString data = CGlobal::getAppDataPath();
        QVERIFY(data.endsWith(QLatin1Char('/')));
        QVERIFY(data.startsWith(env_->home()));
        QVERIFY(QFileInfo(data).isDir());
        QVERIFY(QFileInfo(CGlobal::getOutputPath()).isDir());
        QCOMPARE(CGlobal::getOutputPath(), env_->home() + QStringLiteral("/Videos"));
        QCOMPARE(CGlobal::getDesktopPath(), env_->home() + QStringLiteral("/Desktop"));
    }

    void settingsDefaultsAndTypes()
    {
        QCOMPARE(CSetting::getInt("video", "mode", 7), 7);
        QCOMPARE(CSetting::getString("camera", "name", "none"), QStringLiteral("none"));
        CSetting::setValue("video", "mode", QVariant(3));
        CSetting::setValue("camera", "name", QVariant(QStringLiteral("USB 摄像头 \"HD\" (1)")));
        QCOMPARE(CSetting::getInt("video", "mode", 0), 3);
        QCOMPARE(CSetting::getString("camera", "name", ""), QStringLiteral("USB 摄像头 \"HD\" (1)"));
        // A value that is not a number reads as absent.
        CSetting::setValue("video", "quality", QVariant(QStringLiteral("high")));
        QCOMPARE(CSetting::getInt("video", "quality", 1), 1);
        // An empty string is a stored value, not an absent one.
        CSetting::setValue("output", "path", QVariant(QString()));
        QCOMPARE(CSetting::getString("output", "path", "default"), QString());
    }

    void settingsReachOtherProcessesAtOnce()
    {
        CSetting::setValue("hot_key", "key_start_first", QVariant(QStringLiteral("Ctrl")));
        QCOMPARE(readInChild("hot_key", "key_start_first"), QStringLiteral("Ctrl"));
        CSetting::setValue("hot_key", "key_start_first", QVariant(QStringLiteral("Shift")));
        QCOMPARE(readInChild("hot_key", "key_start_first"), QStringLiteral("Shift"));
        QCOMPARE(readInChild("camera", "name"), QStringLiteral("USB 摄像头 \"HD\" (1)"));
    }

    void unwritableStoreKeepsItsValues()
    {
        CSetting::setValue("audio", "type", QVariant(2));
        const QString file = CGlobal::getSettingsFile();
        QVERIFY(QFileInfo(file).isFile());
        // Root ignores permissions; an immutable file stops root as well.
        bool locked = false;
        if (getuid() == 0)
            locked = QProcess::execute("chattr", {"+i", file}) == 0;
        else
            locked = QFile::setPermissions(QFileInfo(file).path(), QFile::ReadOwner | QFile::ExeOwner);
        if (!locked)
            QSKIP("cannot make the settings store read-only here");
        CSetting::setValue("audio", "type", QVariant(3));
        CSetting::setValue("new", "key", QVariant(1));
        const QString onDisk = readInChild("audio", "type");
        const QString newKey = readInChild("new", "key");
        if (getuid() == 0)
            QProcess::execute("chattr", {"-i", file});
        else
            QFile::setPermissions(QFileInfo(file).path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(onDisk, QStringLiteral("2"));
        QCOMPARE(newKey, QString());
        QCOMPARE(readInChild("camera", "name"), QStringLiteral("USB 摄像头 \"HD\" (1)"));
    }

    void helpMenuHasHelpAndAbout()
    {
        QWidget window;
        auto* provider = new CHelpProvider(&window);
        QMenu* menu = provider->initMenu();
        QVERIFY(menu);
        QCOMPARE(provider->initMenu(), menu);
        QCOMPARE(menu->actions().size(), 2);
        // The window inserts its own entry before the second one.
        auto* own = new QAction(QStringLiteral("own"), &window);
        menu->insertAction(menu->actions().at(1), own);
        QCOMPARE(menu->actions().at(1), own);

        UrlSink sink;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "open");
        QDir::setCurrent(TestEnvironment::programDir());
        menu->actions().at(0)->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(sink.urls.size(), 1);
        QVERIFY(sink.urls.first().isLocalFile());
        QVERIFY(QFileInfo(sink.urls.first().toLocalFile()).isFile());
        QVERIFY(sink.urls.first().toLocalFile().startsWith(TestEnvironment::programDir() + "/help/"));
    }

    void pageNamesStayInTheHelpFolder()
    {
        QDir::setCurrent(TestEnvironment::programDir());
        const QString help = TestEnvironment::programDir() + QStringLiteral("/help/");
        QCOMPARE(QCommonMethod::pageUrl("chatwithus", "").toLocalFile(), help + "chatwithus.html");
        QCOMPARE(QCommonMethod::pageUrl("../../etc/passwd", "").toLocalFile(), help + "index.html");
        QCOMPARE(QCommonMethod::pageUrl("nosuchpage", "").toLocalFile(), help + "index.html");
        QCOMPARE(QCommonMethod::pageUrl("chatwithus", "from=menu").query(), QStringLiteral("from=menu"));
    }
};

int main(int argc, char** argv)
{
    // Child mode: print one stored value, as another process of the same user sees it.
    if (argc == 4 && qstrcmp(argv[1], "--print-setting") == 0) {
        QCoreApplication app(argc, argv);
        fputs(CSetting::getString(argv[2], argv[3], QString()).toUtf8().constData(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    TestHostkit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostkit.moc"
