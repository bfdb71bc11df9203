#pragma once

#include <QList>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRgb>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

struct Probe
{
    QString videoCodec;
    QString audioCodec;
    int width = 0;
    int height = 0;
    double duration = 0;
};

// What ffprobe reports of a media file.
Probe probe(const QString& file);

// Runs the built program in a private home and program folder on the current X display and
// drives it through xdotool as a user would. Positions given to click() are relative to the main
// window's top-left corner; root* positions are screen positions.
class DesktopDriver
{
public:
    DesktopDriver();
    ~DesktopDriver();

    QString home() const { return home_.path(); }
    // The default save folder of the private home.
    QString saveDir() const;

    // Before start(): a stored option ("group/key") and an environment variable of the program.
    void setOption(const QString& key, const QVariant& value);
    void setEnv(const QByteArray& name, const QByteArray& value);
    // Before start(): a line added to the [default] group of the program folder's app.ini.
    void setAppIni(const QString& line);

    // Starts the program and waits until its main window is shown.
    bool start();
    bool isRunning() const;
    // Starts the program a second time in the same environment; its exit code.
    int startAnother();
    bool waitForExit(int msecs);
    int exitCode() const;

    void click(const QPoint& inWindow);
    void rootClick(const QPoint& at, int button = 1);
    void rootDoubleClick(const QPoint& at);
    void rootDrag(const QPoint& from, const QPoint& to);
    void key(const QString& combination);
    // A click into the program's (last shown) window of that title.
    void clickWindow(const QString& title, const QPoint& inWindow);
    // Maps and raises the main window again (a window manager may have iconified it).
    void restoreWindow();

    // Visible windows of the program with that exact title, or of that size.
    QList<QRect> windowsNamed(const QString& title) const;
    QList<QRect> windowsOfSize(const QSize& size) const;

    // The screen's colour at a position relative to the main window.
    QRgb pixel(const QPoint& inWindow) const;
    // Saves the screen, cut to `area` when given, as NAME.png in REELCAST_SCREENSHOT_DIR (or the
    // temporary folder).
    void screenshot(const QString& name, const QRect& area = QRect()) const;
    QRect windowRect() const;

    // Whether a process of that name runs from the private program folder.
    bool processRunning(const QString& name) const;
    bool encoderRunning() const { return processRunning(QStringLiteral("zrk_video_capture.exe")); }

    // A process under the encoder's name, which holds the merge of a stopped recording back
    // until released.
    void holdMerge();
    void releaseMerge();

    static quint64 freeBytes(const QString& path);

private:
    QStringList windowIds(const QString& title) const;
    QRect geometryOf(const QString& id) const;
    QList<int> processes(const QString& name) const;

    QTemporaryDir home_;
    QString programDir_;
    QString settingsFile_;
    QStringList appIniLines_;
    QMap<QByteArray, QByteArray> env_;
    QProcess process_;
    QProcess holder_;
    QString mainWindow_;
    QProcessEnvironment environment_;
};
