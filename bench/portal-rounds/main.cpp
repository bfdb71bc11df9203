// Recordings through the recording manager on a Wayland desktop (inside tests/wayland/session.sh,
// the real portal with a pre-seeded grant): each one three runs with two pauses between, stopped,
// saved and cleaned up as the window does it. A run that needed the desktop's dialog would wait
// for ever, so every recording saved means no dialog came. Prints a line per recording.
//
//   portal-rounds [RECORDINGS]
#include "CSetting.h"
#include "QMediaManager.h"
#include "QScreenCast.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {

constexpr int kRuns = 3;
constexpr int kRunSeconds = 2;

double fileSeconds(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toDouble();
}

// One recording; the saved file, or why there is none.
bool record(QMediaManager* m, QString& result)
{
    QSignalSpy saved(m, &QMediaManager::finished);
    QSignalSpy errors(m, &QMediaManager::record_error);
    m->start();
    for (int run = 0; run < kRuns; ++run) {
        if (run > 0)
            m->resume();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 30000 && errors.isEmpty() && m->elapsedSeconds() < (run + 1) * kRunSeconds)
            QTest::qWait(100);
        if (!errors.isEmpty() || timer.elapsed() >= 30000) {
            result = errors.isEmpty() ? QStringLiteral("run %1 did not start in 30 s").arg(run)
                                      : errors.first().at(0).toString();
            return false;
        }
        QSignalSpy ended(m, &QMediaManager::record_finished);
        if (run + 1 < kRuns) {
            m->pause();
            if (!ended.wait(15000) || !m->screenCast()->isOpen()) {
                result = QStringLiteral("pause %1: the run did not end or the cast closed").arg(run);
                return false;
            }
            QTest::qWait(500);
        } else {
            m->stop();
            if (!ended.wait(15000)) {
                result = QStringLiteral("the last run did not end");
                return false;
            }
        }
    }
    m->save();
    if (!saved.wait(60000) || !saved.first().at(0).toBool()) {
        result = QStringLiteral("not saved");
        return false;
    }
    result = m->savedFile();
    m->cleanup();
    for (int i = 0; i < 200 && !m->isIdle(); ++i)
        QTest::qWait(100);
    return m->isIdle();
}

} // namespace

int main(int argc, char** argv)
{
    const QByteArray program = qgetenv("REELCAST_PROGRAM_DIR");
    const QByteArray source = qgetenv("REELCAST_SOURCE_DIR");
    // A private home: the settings and videos of these recordings touch nobody's files.
    QTemporaryDir home;
    for (const char* sub : {"config", "data", "Videos"})
        QDir().mkpath(home.path() + "/" + sub);
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    QApplication app(argc, argv);
    const int recordings = argc > 1 ? QString(argv[1]).toInt() : 10;
    if (program.isEmpty() || source.isEmpty()) {
        std::fprintf(stderr, "portal-rounds: REELCAST_PROGRAM_DIR and REELCAST_SOURCE_DIR must be set\n");
        return 2;
    }
    QDir::setCurrent(QString::fromLocal8Bit(program));

    // The grant the desktop stores once the user has chosen the monitor and "remember".
    QProcess grant;
    grant.start(QStringLiteral("python3"),
                {"-c",
                 "import sys; sys.path.insert(0, sys.argv[1]); import screencast; "
                 "print(screencast.grant_first_monitor(screencast.Gio.bus_get_sync("
                 "screencast.Gio.BusType.SESSION, None)))",
                 QString::fromLocal8Bit(source) + "/tests/wayland"});
    grant.waitForFinished(30000);
    const QString token = QString::fromUtf8(grant.readAllStandardOutput()).trimmed();
    if (token.isEmpty()) {
        std::fprintf(stderr, "portal-rounds: no grant: %s\n", grant.readAllStandardError().constData());
        return 1;
    }
    CSetting::setValue(QStringLiteral("screencast"), QStringLiteral("restore_token"), token);
    QDir().mkpath(home.path() + "/Videos/rounds");
    QVideoSettings::setSavePath(home.path() + "/Videos/rounds");
    QVideoSettings::setMode(FullScreen);
    QVideoSettings::setAudioType(NoAudio);
    QVideoSettings::setFormat(MP4);
    QMediaManager* m = QMediaManager::instance();
    m->setRect(QRect(0, 0, 1280, 720));

    int saved = 0;
    for (int i = 0; i < recordings; ++i) {
        QString result;
        QElapsedTimer timer;
        timer.start();
        const bool ok = record(m, result);
        if (ok) {
            ++saved;
            std::printf("recording %d: saved %.2f s (the time shown %d s), %.1f s from start to idle\n",
                        i + 1, fileSeconds(result), m->elapsedSeconds(), timer.elapsed() / 1000.0);
            QFile::remove(result);
        } else {
            std::printf("recording %d: %s\n", i + 1, qPrintable(result));
        }
        std::fflush(stdout);
        if (!ok)
            break;
    }
    const QString newest =
        CSetting::getString(QStringLiteral("screencast"), QStringLiteral("restore_token"), QString());
    std::printf("%d of %d saved; restore token kept: %s\n", saved, recordings,
                newest.isEmpty() ? "none" : (newest == token ? "the granted one" : "a newer one"));
    QMediaManager::release();
    return saved == recordings ? 0 : 1;
}
