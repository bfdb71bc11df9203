#pragma once

#include "LiveMatroska.h"
#include <cstddef>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A live sound stream for FFmpeg on a pipe: raw samples whose position is time on the adapter's
// clock from its origin, sent in 10 ms blocks stamped with the wall-clock time of their first
// sample. Blocks from the sound server are placed where they were captured; what the server has
// not delivered by the time it is due goes out as silence, so the reader never waits and a late or
// stalled server costs silence at that place, not time.
class SoundFeed
{
public:
    struct Format
    {
        int rate = 48000;
        int channels = 2;
        int bytesPerFrame() const { return channels * 2; }
    };

    // Sound placed later than this after its capture is replaced by silence; a source that is
    // steadily later (its own buffering) is waited for, up to the longest delay.
    static constexpr int64_t kPlayoutDelayNs = 60'000'000;
    static constexpr int64_t kLongestPlayoutDelayNs = 500'000'000;
    // Jitter in the server's timing reports below this is not a gap: blocks are kept contiguous.
    static constexpr int64_t kContiguityNs = 30'000'000;
    // What is kept for a reader that does not read, at most.
    static constexpr int64_t kBacklogNs = 10'000'000'000;

    // Takes `fd` (non-blocking) over; the stream's position 0 is `originWallUs` on the wall clock.
    // `fd` -1 keeps the stream in this process as raw samples without the container (takeRaw()).
    SoundFeed(int fd, Format format, int64_t originWallUs);
    ~SoundFeed();
    SoundFeed(const SoundFeed&) = delete;
    SoundFeed& operator=(const SoundFeed&) = delete;

    // A block captured `capturedNs` after the origin that arrived `arrivedNs` after it; `data`
    // nullptr is a block of silence.
    void place(const void* data, size_t bytes, int64_t capturedNs, int64_t arrivedNs);
    // A block from the sound server arriving `nowNs` after the origin, captured `ageUs` before
    // (as the server reports it; -1: no report, then it is taken as just captured).
    void placeFromServer(const void* data, size_t bytes, int64_t ageUs, int64_t nowNs);
    // Writes what is due `nowNs` after the origin without blocking. False once the reader has
    // gone (then the feed stays quiet).
    bool pump(int64_t nowNs);
    // The stream's end at `endNs`: everything up to it is decided now, silence where no sound came.
    bool finish(int64_t endNs);
    // Without a pipe: moves the samples decided since the last call to the end of `into`.
    void takeRaw(std::vector<uint8_t>& into);
    // Frames put into the stream so far, real and silent, and how many were real sound.
    int64_t framesOut() const;
    int64_t realFramesOut() const;

private:
    int64_t frameAt(int64_t ns) const;
    void emit(const uint8_t* data, int64_t frames, bool real);
    bool flush();
    bool pumpLocked(int64_t nowNs, bool final);

    const int fd_;
    const Format format_;
    const int64_t originWallUs_;
    LiveMatroska container_;
    std::vector<uint8_t> block_; // frames of the block being filled
    mutable std::mutex mutex_;
    // Real sound not yet due: contiguous frames from pendingStart_.
    std::vector<uint8_t> pending_;
    int64_t pendingStart_ = 0;
    bool started_ = false; // some real sound was placed
    // How long after their end the latest blocks arrived; the least of them is the source's own
    // delay (a burst after a stall ends with fresh blocks and does not count).
    int64_t ages_[8] = {};
    size_t ageCount_ = 0;
    int64_t playoutNs_ = kPlayoutDelayNs;
    int64_t placedEnd_ = 0;
    // The stream so far: written_ frames decided, out_ bytes of them not yet taken by the pipe.
    int64_t written_ = 0;
    int64_t real_ = 0;
    std::vector<uint8_t> out_;
    bool gone_ = false;
};
