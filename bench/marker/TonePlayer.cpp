#include "TonePlayer.h"

#include "WallClock.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int kBlockMs = 5;
constexpr double kPi = 3.14159265358979323846;

} // namespace

TonePlayer::~TonePlayer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    if (thread_.joinable())
        thread_.join();
    if (stream_)
        pa_simple_free(stream_);
}

bool TonePlayer::open(std::string* error)
{
    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_S16LE;
    sampleFormat.rate = kRate;
    sampleFormat.channels = 1;
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(kRate * 2 * 15 / 1000); // 15 ms of queue in the server
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    int code = 0;
    stream_ = pa_simple_new(nullptr, "av-marker", PA_STREAM_PLAYBACK, nullptr, "marker tone", &sampleFormat,
                            nullptr, &attr, &code);
    if (!stream_) {
        *error = pa_strerror(code);
        return false;
    }
    thread_ = std::thread(&TonePlayer::run, this);
    return true;
}

void TonePlayer::requestTone(int milliseconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    playedAt_ = 0;
    toneMs_ = milliseconds;
}

double TonePlayer::tonePlayedAt()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return playedAt_;
}

void TonePlayer::run()
{
    const std::vector<int16_t> silence(kRate * kBlockMs / 1000, 0);
    for (;;) {
        int toneMs = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_)
                return;
            toneMs = toneMs_;
        }
        if (toneMs == 0) {
            // The write blocks while the server's queue is full, which paces this loop.
            if (pa_simple_write(stream_, silence.data(), silence.size() * sizeof(int16_t), nullptr) < 0)
                return;
            continue;
        }
        // A cosine starts at full level, so the onset is one sample sharp in the recording.
        std::vector<int16_t> tone(size_t(kRate) * toneMs / 1000);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = int16_t(std::lround(0.7 * 32767 * std::cos(2 * kPi * 1000 * double(i) / kRate)));
        // Everything queued before the tone is played first: the latency is its distance to the sink.
        int code = 0;
        const pa_usec_t latency = pa_simple_get_latency(stream_, &code);
        const double now = WallClock::nowMs();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            toneMs_ = 0;
            playedAt_ = now + double(latency) / 1000.0;
        }
        if (pa_simple_write(stream_, tone.data(), tone.size() * sizeof(int16_t), nullptr) < 0)
            return;
    }
}
