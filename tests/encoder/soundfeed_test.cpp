// The sound stream the adapter feeds FFmpeg, read back by FFmpeg: sound lands where it was
// captured, what the server has not delivered in time is silence, and the stream keeps pace with
// the clock whatever the server does.
#include "SoundFeed.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kOriginWallUs = 1'796'900'000'123'000;
const SoundFeed::Format kFormat{48000, 2};
constexpr int kFramesPer10Ms = 480;

// What the server delivers at `atMs`: 10 ms of sound captured at `capturedMs`, every sample
// telling its capture time (1000 + tens of milliseconds).
struct Delivery
{
    int64_t atMs;
    int64_t capturedMs;
};

struct Stream
{
    double startSeconds = 0;
    QVector<int> windows; // per 10 ms: the value heard there, 0 for silence, -1 for a mixed window
};

} // namespace

class TestSoundFeed : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    // Pumps every 10 ms up to `endMs`, handing over what the server delivered by then.
    Stream run(const QVector<Delivery>& deliveries, int64_t endMs)
    {
        const QString path = dir_.filePath(QStringLiteral("feed.mkv"));
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        {
            SoundFeed feed(fd, kFormat, kOriginWallUs);
            int next = 0;
            for (int64_t now = 0; now <= endMs; now += 10) {
                for (; next < deliveries.size() && deliveries[next].atMs <= now; ++next) {
                    const int16_t value = int16_t(1000 + (deliveries[next].capturedMs + 5) / 10);
                    const std::vector<int16_t> samples(kFramesPer10Ms * kFormat.channels, value);
                    feed.place(samples.data(), samples.size() * 2, deliveries[next].capturedMs * kMs,
                               now * kMs);
                }
                feed.pump(now * kMs);
            }
        }
        Stream stream;
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"),
                    {"-v", "error", "-show_entries", "format=start_time", "-of", "default=nw=1:nk=1", path});
        probe.waitForFinished();
        stream.startSeconds = probe.readAllStandardOutput().trimmed().toDouble();
        QProcess decode;
        decode.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-i", path, "-f", "s16le", "-c:a", "pcm_s16le", "-"});
        decode.waitForFinished();
        const QByteArray raw = decode.readAllStandardOutput();
        const auto* samples = reinterpret_cast<const int16_t*>(raw.constData());
        const int perWindow = kFramesPer10Ms * kFormat.channels;
        for (int w = 0; (w + 1) * perWindow * 2 <= raw.size(); ++w) {
            const int16_t first = samples[w * perWindow];
            const bool uniform = std::all_of(samples + w * perWindow, samples + (w + 1) * perWindow,
                                             [first](int16_t s) { return s == first; });
            stream.windows << (uniform ? first : -1);
        }
        return stream;
    }

    // Every window from `fromMs` to `toMs` carries the sound captured there.
    static bool inPlace(const Stream& s, int64_t fromMs, int64_t toMs)
    {
        for (int64_t ms = fromMs; ms < toMs; ms += 10) {
            if (s.windows.value(int(ms / 10), -2) != 1000 + ms / 10)
                return false;
        }
        return true;
    }

    static bool silent(const Stream& s, int64_t fromMs, int64_t toMs)
    {
        for (int64_t ms = fromMs; ms < toMs; ms += 10) {
            if (s.windows.value(int(ms / 10), -2) != 0)
                return false;
        }
        return true;
    }

    static QVector<Delivery> steady(int64_t fromMs, int64_t toMs, int64_t latencyMs,
                                    const std::function<int64_t(int64_t)>& jitter = nullptr)
    {
        QVector<Delivery> out;
        for (int64_t t = fromMs; t < toMs; t += 10)
            out.push_back({t + latencyMs, t + (jitter ? jitter(t) : 0)});
        return out;
    }

private slots:
    void steadyServerIsHeardInPlaceOnTheWallClock()
    {
        // 25 ms behind, a little jitter in the server's timing reports: nothing is moved or lost.
        const Stream s =
            run(steady(0, 2000, 25, [](int64_t t) { return int64_t((t / 10) % 3 == 2 ? -1 : (t / 10) % 3); }),
                2000);
        QCOMPARE(s.startSeconds, kOriginWallUs / 1e6);
        QVERIFY(inPlace(s, 30, 1970));
        QVERIFY(qAbs(s.windows.size() - 200) <= 3);
    }

    void lateServerCostsSilenceNotTime()
    {
        // The first sound, captured 0.4 s after the start, arrives 0.6 s after it, and all sound
        // comes 0.2 s after its capture from then on: waited for, not dropped.
        const Stream s = run(steady(400, 2000, 200), 2000);
        QVERIFY(silent(s, 0, 580));
        QVERIFY(inPlace(s, 600, 1800));
        // The stream is as long as the time gone by, less the wait for the server at most.
        QVERIFY(s.windows.size() >= 200 - 21);
    }

    void stalledServerLeavesSilenceAndResumesInPlace()
    {
        // Nothing between 0.5 s and 1.1 s, then all of it at once.
        QVector<Delivery> deliveries = steady(0, 500, 20);
        for (int64_t t = 500; t < 1100; t += 10)
            deliveries.push_back({1100, t});
        deliveries += steady(1100, 2000, 20);
        const Stream s = run(deliveries, 2000);
        QVERIFY(inPlace(s, 30, 500));
        QVERIFY(silent(s, 560, 1030)); // too late by then: silence went out instead
        QVERIFY(inPlace(s, 1100, 1970));
    }

    void soundAheadOfTheClockWaitsForItsTime()
    {
        // A sink that renders ahead (an idle null sink does, by seconds) delivers the future.
        const Stream s = run(steady(0, 3000, -1000), 1500);
        QVERIFY(inPlace(s, 0, 1400));
        QVERIFY(s.windows.size() <= 151);
    }

    void readerThatHasGoneEndsTheFeed()
    {
        int fds[2];
        QVERIFY(pipe(fds) == 0);
        ::close(fds[0]);
        std::signal(SIGPIPE, SIG_IGN);
        SoundFeed feed(fds[1], kFormat, kOriginWallUs);
        QVERIFY(!feed.pump(100 * kMs));
        QVERIFY(!feed.pump(200 * kMs));
    }
};

QTEST_GUILESS_MAIN(TestSoundFeed)
#include "soundfeed_test.moc"
