// The camera preview: shows the live picture of the camera named on the command line, e.g.
//   vcamera.exe -f dshow -i video="USB Cam"  -preset ultrafast
// until it reads "quit" on standard input. It ends by itself (exit code 1) when the camera cannot
// be opened or goes away, and with 0 when the window is closed or it was told to quit.

#include "QCameraFeed.h"
#include "QPreviewWindow.h"
#include "QQuitWatcher.h"

#include "QGlobalSettings.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>
#include <QTranslator>

namespace {

// The encoder's input options: everything up to and including "-i" and its value. Output options
// after it (such as -preset) concern encoding, which the preview does not do.
QStringList inputArguments(const QStringList& args)
{
    const int input = args.indexOf(QStringLiteral("-i"));
    if (input < 0 || input + 1 >= args.size())
        return QStringList();
    return args.mid(0, input + 2);
}

QString cameraName(const QStringList& inputArgs)
{
    const QString input = inputArgs.value(inputArgs.size() - 1);
    return input.startsWith(QStringLiteral("video=")) ? input.mid(6) : input;
}

// The language the user chose in the program, from the same files the program reads.
void loadTranslation(QApplication& app)
{
    const QString folder = QCoreApplication::applicationDirPath();
    QGlobalSettings::load(folder + QStringLiteral("/app.ini"));
    auto* translator = new QTranslator(&app);
    if (translator->load(QGlobalSettings::translationFile(folder)))
        QCoreApplication::installTranslator(translator);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(true);

    const QStringList inputArgs = inputArguments(app.arguments().mid(1));
    if (inputArgs.isEmpty()) {
        QTextStream(stderr) << "usage: vcamera.exe -f dshow -i video=\"CAMERA\"\n";
        return 2;
    }

    loadTranslation(app);
    QQuitWatcher watcher;
    QPreviewWindow window(cameraName(inputArgs));
    QCameraFeed feed;
    int exitCode = 0;

    QObject::connect(&watcher, &QQuitWatcher::quitRequested, &app, &QApplication::quit);
    QObject::connect(&feed, &QCameraFeed::frameReady, &window, &QPreviewWindow::showFrame);
    QObject::connect(
        &feed, &QCameraFeed::ended, &app,
        [&](const QString& details) {
            if (!details.isEmpty())
                QTextStream(stderr) << details << '\n';
            exitCode = 1;
            app.quit();
        },
        Qt::QueuedConnection);

    watcher.start();
    window.show();
    feed.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("zrk_video_capture.exe")),
               inputArgs);
    const int result = app.exec();
    feed.stop();
    return exitCode != 0 ? exitCode : result;
}
