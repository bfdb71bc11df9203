// Drives the recording manager the way the main window does, for the fault tests: commands on
// standard input, one event per line on standard output. Run from the program folder.
//
// Options: --save FOLDER --format mp4|flv|wmv|avi --quality N --mode camera|screen --low-space
// Commands: start | pause | resume | stop | recover FOLDER | unfinished | cleanup | quit
// Events:   work FOLDER | time N | paused | stopped | error MSG | recoverable FOLDER |
//           saved PATH | savefailed | unfinished F1;F2... | lowspace FREE LIMIT | cleaned
// "stop" (and the low-space stop) saves as soon as the stop is reported, as the window does.
// With --low-space the free bytes of the save folder are checked at every tick against the
// manager's low-space limit, and a recording below it is paused and stopped.
#include "QMediaManager.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "Utilities.h"

#include <QDir>
#include <QGuiApplication>
#include <QRect>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&args](const QString& name, const QString& fallback) {
        const int at = args.indexOf(name);
        return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
    };
    const bool lowSpace = args.contains(QStringLiteral("--low-space"));
    QVideoSettings::setSavePath(option(QStringLiteral("--save"), QDir::tempPath()));
    const QStringList formats{"mp4", "flv", "wmv", "avi"};
    QVideoSettings::setFormat(std::max(0, int(formats.indexOf(option(QStringLiteral("--format"), "mp4")))));
    QVideoSettings::setQuality(option(QStringLiteral("--quality"), QStringLiteral("1")).toInt());
    // The simulated camera by default; "--mode screen" records the X screen (needs a desktop).
    const bool screen =
        option(QStringLiteral("--mode"), QStringLiteral("camera")) == QStringLiteral("screen");
    QVideoSettings::setMode(screen ? FullScreen : Camera);
    QVideoSettings::setCameraType(On);
    QVideoSettings::setCameraName(QStringLiteral("Test Camera"));
    QVideoSettings::setAudioType(SystemOnly);

    QMediaManager* manager = QMediaManager::instance();
    if (screen)
        manager->setRect(QRect(0, 0, 1280, 720));
    bool stopping = false;
    auto stopAndSave = [&] {
        stopping = true;
        manager->stop();
    };
    QObject::connect(manager, &QMediaManager::time_changed, &app, [&](quint32 seconds) {
        say(QStringLiteral("time %1").arg(seconds));
        if (!lowSpace || stopping || manager->isIdle())
            return;
        const qint64 free = qint64(diskFreeBytes(QVideoSettings::getSavePath()));
        const qint64 limit = manager->lowSpaceLimit();
        if (free < limit) {
            say(QStringLiteral("lowspace %1 %2").arg(free).arg(limit));
            manager->pause();
            stopAndSave();
        }
    });
    QObject::connect(manager, &QMediaManager::record_finished, &app, [&](bool ok, const QString&) {
        if (!ok)
            return;
        if (!stopping) {
            say(QStringLiteral("paused"));
            return;
        }
        stopping = false;
        say(QStringLiteral("stopped"));
        manager->save();
    });
    QObject::connect(manager, &QMediaManager::record_error, &app, [&](const QString& msg) {
        say(QStringLiteral("error ") + msg);
        if (manager->unfinishedRecordings().contains(manager->workFolder()))
            say(QStringLiteral("recoverable ") + manager->workFolder());
    });
    QObject::connect(manager, &QMediaManager::finished, &app, [&](bool ok, const QString&) {
        say(ok ? QStringLiteral("saved ") + manager->savedFile() : QStringLiteral("savefailed"));
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QTextStream in(stdin);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        const QString line = in.readLine();
        if (line.isNull()) {
            input.setEnabled(false);
            return;
        }
        const QString command = line.section(QLatin1Char(' '), 0, 0);
        const QString argument = line.section(QLatin1Char(' '), 1);
        if (command == "start") {
            manager->start();
            say(QStringLiteral("work ") + manager->workFolder());
        } else if (command == "pause") {
            manager->pause();
        } else if (command == "resume") {
            manager->resume();
        } else if (command == "stop") {
            stopAndSave();
        } else if (command == "recover") {
            if (manager->recover(argument))
                manager->save();
            else
                say(QStringLiteral("savefailed"));
        } else if (command == "unfinished") {
            say(QStringLiteral("unfinished ") + manager->unfinishedRecordings().join(QLatin1Char(';')));
        } else if (command == "cleanup") {
            manager->cleanup();
            say(QStringLiteral("cleaned"));
        } else if (command == "quit") {
            app.quit();
        }
    });
    const int code = app.exec();
    QMediaManager::release();
    return code;
}
