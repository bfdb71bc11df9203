#include "DesktopDriver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSize>
#include <QTest>
#include <QTextStream>

#include <signal.h>
#include <sys/statvfs.h>

namespace {

// The desktop's language (REELCAST_DESKTOP_LANG, e.g. en_US for the English screenshots); the
// C locale gives the installation's default, Chinese.
QString desktopLanguage()
{
    return qEnvironmentVariable("REELCAST_DESKTOP_LANG", QStringLiteral("C"));
}

QString mainWindowTitle()
{
    return desktopLanguage().startsWith(QLatin1String("en")) ? QStringLiteral("Vexlo Screen Recorder")
                                                             : QStringLiteral("Vexlo录屏助手");
}

// A helper that hangs (an X client blocked by a server grab) is ended, so a check fails in time
// instead of holding the test.
QByteArray runRaw(const QString& program, const QStringList& args, int msecs = 10000)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(msecs)) {
        p.kill();
        p.waitForFinished(1000);
    }
    return p.readAllStandardOutput();
}

QString run(const QString& program, const QStringList& args)
{
    return QString::fromUtf8(runRaw(program, args));
}

void xdotool(const QStringList& args)
{
    run(QStringLiteral("xdotool"), args);
}

QString programFolderOfBuild()
{
    return QString::fromLocal8Bit(qgetenv("REELCAST_PROGRAM_DIR"));
}

} // namespace

Probe probe(const QString& file)
{
    const QJsonObject root =
        QJsonDocument::fromJson(run(QStringLiteral("ffprobe"), {"-v", "error", "-print_format", "json",
                                                                "-show_format", "-show_streams", file})
                                    .toUtf8())
            .object();
    Probe r;
    r.duration = root["format"].toObject()["duration"].toString().toDouble();
    for (const QJsonValue& v : root["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        if (s["codec_type"] == "video") {
            r.videoCodec = s["codec_name"].toString();
            r.width = s["width"].toInt();
            r.height = s["height"].toInt();
        } else if (s["codec_type"] == "audio") {
            r.audioCodec = s["codec_name"].toString();
        }
    }
    return r;
}

DesktopDriver::DesktopDriver()
{
    const QString h = home_.path();
    for (const char* sub : {"config/reelcast", "data", "Videos", "run", "program"})
        QDir().mkpath(h + QLatin1Char('/') + QLatin1String(sub));
    QFile::setPermissions(h + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    programDir_ = h + "/program";
    settingsFile_ = h + "/config/reelcast/reelcast.ini";
    // A program folder of its own: everything of the build's folder but app.ini, which each test
    // writes itself. The programs are copies, as the program finds its folder from its own
    // executable's real path; folders are links.
    const QDir build(programFolderOfBuild());
    for (const QFileInfo& fi : build.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString target = programDir_ + QLatin1Char('/') + fi.fileName();
        if (fi.fileName() == QLatin1String("app.ini"))
            continue;
        if (fi.isDir() || fi.isSymLink())
            QFile::link(fi.absoluteFilePath(), target);
        else
            QFile::copy(fi.absoluteFilePath(), target);
    }
    setOption(QStringLiteral("output/path"), saveDir());
}

DesktopDriver::~DesktopDriver()
{
    releaseMerge();
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    // Encoders and the preview started by the program end with it.
    for (const QString& name : {QStringLiteral("zrk_video_capture.exe"), QStringLiteral("vcamera.exe")})
        for (int pid : processes(name))
            ::kill(pid, SIGKILL);
}

QString DesktopDriver::saveDir() const
{
    return home_.path() + "/Videos";
}

void DesktopDriver::setOption(const QString& key, const QVariant& value)
{
    QSettings store(settingsFile_, QSettings::IniFormat);
    store.setIniCodec("UTF-8");
    store.setValue(key, value);
    store.sync();
}

void DesktopDriver::setEnv(const QByteArray& name, const QByteArray& value)
{
    env_[name] = value;
}

void DesktopDriver::setAppIni(const QString& line)
{
    appIniLines_ << line;
}

bool DesktopDriver::start()
{
    QFile ini(programDir_ + "/app.ini");
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&ini);
    out << "[default]\nlang=zh\n";
    for (const QString& line : appIniLines_)
        out << line << "\n";
    ini.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("HOME"), home_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.path() + "/config");
    env.insert(QStringLiteral("XDG_DATA_HOME"), home_.path() + "/data");
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.path() + "/run");
    // The interface language comes from LANGUAGE; the C.UTF-8 locale keeps the window titles'
    // encoding the same for xdotool whatever the language (other locales may not be installed).
    for (const char* name : {"LC_ALL", "LC_MESSAGES"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LANGUAGE"), desktopLanguage().section(QLatin1Char('.'), 0, 0));
    for (auto it = env_.cbegin(); it != env_.cend(); ++it)
        env.insert(QString::fromLocal8Bit(it.key()), QString::fromLocal8Bit(it.value()));
    environment_ = env;
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(programDir_);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(programDir_ + "/reelcast", QStringList());
    if (!process_.waitForStarted(10000))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
        const QStringList ids = windowIds(mainWindowTitle());
        if (!ids.isEmpty()) {
            mainWindow_ = ids.first();
            // The tiles fill in and the first disk measurement lands shortly after the show.
            QTest::qWait(800);
            return true;
        }
        QTest::qWait(100);
    }
    return false;
}

int DesktopDriver::startAnother()
{
    QProcess second;
    second.setProcessEnvironment(environment_);
    second.setWorkingDirectory(programDir_);
    second.start(programDir_ + "/reelcast", QStringList());
    if (!second.waitForFinished(20000)) {
        second.kill();
        second.waitForFinished(5000);
        return -1;
    }
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
}

bool DesktopDriver::isRunning() const
{
    return process_.state() == QProcess::Running;
}

bool DesktopDriver::waitForExit(int msecs)
{
    // waitForFinished() is false for a process that has ended already.
    return process_.state() == QProcess::NotRunning || process_.waitForFinished(msecs);
}

int DesktopDriver::exitCode() const
{
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QRect DesktopDriver::windowRect() const
{
    return geometryOf(mainWindow_);
}

void DesktopDriver::click(const QPoint& inWindow)
{
    rootClick(windowRect().topLeft() + inWindow);
}

void DesktopDriver::rootClick(const QPoint& at, int button)
{
    xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
    QTest::qWait(100);
    xdotool({"click", QString::number(button)});
    QTest::qWait(200);
}

void DesktopDriver::rootDoubleClick(const QPoint& at)
{
    xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
    QTest::qWait(100);
    xdotool({"click", "--repeat", "2", "--delay", "80", "1"});
    QTest::qWait(200);
}

void DesktopDriver::rootDrag(const QPoint& from, const QPoint& to)
{
    xdotool({"mousemove", QString::number(from.x()), QString::number(from.y())});
    QTest::qWait(100);
    xdotool({"mousedown", "1"});
    const int steps = 10;
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())});
        QTest::qWait(30);
    }
    xdotool({"mouseup", "1"});
    QTest::qWait(200);
}

void DesktopDriver::key(const QString& combination)
{
    xdotool({"key", combination});
    QTest::qWait(200);
}

void DesktopDriver::clickWindow(const QString& title, const QPoint& inWindow)
{
    const QStringList ids = windowIds(title);
    if (!ids.isEmpty())
        rootClick(geometryOf(ids.last()).topLeft() + inWindow);
}

void DesktopDriver::restoreWindow()
{
    // Activation de-iconifies under a window manager; without one, mapping is what there is.
    xdotool({"windowactivate", mainWindow_});
    xdotool({"windowmap", mainWindow_});
    QTest::qWait(300);
}

QStringList DesktopDriver::windowIds(const QString& title) const
{
    if (process_.state() != QProcess::Running)
        return {};
    // --all: every condition must hold (xdotool's default is any of them).
    const QStringList args = {"search",
                              "--all",
                              "--onlyvisible",
                              "--pid",
                              QString::number(process_.processId()),
                              "--name",
                              title.isEmpty() ? QStringLiteral(".*") : "^" + title + "$"};
    return run(QStringLiteral("xdotool"), args).split('\n', Qt::SkipEmptyParts);
}

QRect DesktopDriver::geometryOf(const QString& id) const
{
    // Output lines of --shell: WINDOW=, X=, Y=, WIDTH=, HEIGHT=, SCREEN=.
    QMap<QString, int> v;
    const QString out = run(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", id});
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            v[line.left(eq)] = line.mid(eq + 1).toInt();
    }
    return QRect(v.value("X"), v.value("Y"), v.value("WIDTH"), v.value("HEIGHT"));
}

QList<QRect> DesktopDriver::windowsNamed(const QString& title) const
{
    QList<QRect> rects;
    for (const QString& id : windowIds(title))
        rects << geometryOf(id);
    return rects;
}

QList<QRect> DesktopDriver::windowsOfSize(const QSize& size) const
{
    QList<QRect> rects;
    for (const QString& id : windowIds(QString())) {
        const QRect r = geometryOf(id);
        if (r.size() == size)
            rects << r;
    }
    return rects;
}

QRgb DesktopDriver::pixel(const QPoint& inWindow) const
{
    const QPoint p = windowRect().topLeft() + inWindow;
    const QByteArray rgb = runRaw(QStringLiteral("import"),
                                  {"-window", "root", "-crop",
                                   QStringLiteral("1x1+%1+%2").arg(p.x()).arg(p.y()), "-depth", "8", "rgb:-"},
                                  5000);
    if (rgb.size() < 3)
        return 0;
    return qRgb(uchar(rgb[0]), uchar(rgb[1]), uchar(rgb[2]));
}

void DesktopDriver::screenshot(const QString& name, const QRect& area) const
{
    QString dir = QString::fromLocal8Bit(qgetenv("REELCAST_SCREENSHOT_DIR"));
    if (dir.isEmpty())
        dir = QDir::tempPath() + "/reelcast-userflow";
    QDir().mkpath(dir);
    QStringList args = {"-window", "root"};
    if (!area.isEmpty())
        args << "-crop"
             << QStringLiteral("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y())
             << "+repage";
    args << dir + "/" + name + ".png";
    run(QStringLiteral("import"), args);
}

QList<int> DesktopDriver::processes(const QString& name) const
{
    // A process belongs to this program when it runs in its folder (the encoder and the preview
    // keep the program's working directory); other tests may run encoders of their own.
    QList<int> pids;
    const QString folder = QFileInfo(programDir_).canonicalFilePath();
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (!ok)
            continue;
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray argv0 = cmdline.readAll().split('\0').value(0);
        if (QFileInfo(QString::fromLocal8Bit(argv0)).fileName() != name)
            continue;
        if (QFileInfo("/proc/" + entry + "/cwd").canonicalFilePath() == folder)
            pids << pid;
    }
    return pids;
}

void DesktopDriver::holdMerge()
{
    holder_.setWorkingDirectory(programDir_);
    holder_.start(QStringLiteral("bash"), {"-c", "exec -a zrk_video_capture.exe sleep 60"});
    holder_.waitForStarted(5000);
    QTest::qWait(300);
}

void DesktopDriver::releaseMerge()
{
    holder_.kill();
    holder_.waitForFinished(5000);
}

bool DesktopDriver::processRunning(const QString& name) const
{
    return !processes(name).isEmpty();
}

quint64 DesktopDriver::freeBytes(const QString& path)
{
    struct statvfs s;
    if (statvfs(QFile::encodeName(path).constData(), &s) != 0)
        return 0;
    return quint64(s.f_bavail) * s.f_frsize;
}
