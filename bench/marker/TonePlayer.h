#pragma once

#include <mutex>
#include <string>
#include <thread>

struct pa_simple;

// Plays into the sound server's default sink without a break: silence in small blocks, and a
// tone when asked. Keeping the stream running keeps its latency small and known, so the instant
// the tone leaves the sink can be computed from the instant it was written.
class TonePlayer
{
public:
    static constexpr int kRate = 48000;

    TonePlayer() = default;
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    bool open(std::string* error);
    // Asks for a tone of the given length; does not wait for it.
    void requestTone(int milliseconds);
    // The wall-clock time in milliseconds at which the first sample of the last requested tone
    // leaves the sink, or 0 while it is not written yet.
    double tonePlayedAt();

private:
    void run();

    pa_simple* stream_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    bool stop_ = false;
    int toneMs_ = 0;      // requested tone, 0 when none is pending
    double playedAt_ = 0; // answer to the pending request, 0 until known
};
