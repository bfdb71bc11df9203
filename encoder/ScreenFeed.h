#pragma once

#include "FeedClock.h"
#include "FramePacer.h"
#include "ScreenSource.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The picture for FFmpeg on a pipe: raw yuv420p frames, one per frame interval of the adapter's
// clock from its origin. Grabbing starts before FFmpeg reads; what it has not read yet waits in a
// queue, so nothing from before FFmpeg was ready is lost. A queue that is full (FFmpeg falling
// behind) is given the last frame again instead of a new grab: the stream keeps its time and the
// memory stays bounded. Without a pipe the frames are taken in this process, in slot order (next()).
class ScreenFeed
{
public:
    // A frame's memory. Frames are handed to the pipe by reference (vmsplice), so one is
    // written over only once the reader has taken every byte the pipe had of it; one taken in
    // this process, once nothing refers to it any more.
    struct Frame
    {
        explicit Frame(size_t bytes);
        ~Frame();
        Frame(const Frame&) = delete;
        Frame& operator=(const Frame&) = delete;
        uint8_t* data = nullptr;
        size_t size = 0;
        int64_t sentUpTo = 0; // the stream position just after its last byte in the pipe
        int64_t picture = 0;  // the grab it holds, counted from 1: repeats share it
    };
    using Buffer = std::shared_ptr<Frame>;

    // The queue holds at most this much picture, and never more than kQueueBytes.
    static constexpr int64_t kQueueNs = 1'000'000'000;
    static constexpr size_t kQueueBytes = size_t(64) << 20;
    // Frames taken in this process wait for the encoder only: a smaller bound.
    static constexpr size_t kInProcessQueueBytes = size_t(8) << 20;

    // Takes the prepared source and the pipe's write end `fd` over; `fd` -1 keeps the frames here.
    ScreenFeed(std::unique_ptr<ScreenSource> source, int fd, int64_t intervalNs, const FeedClock& clock);
    ~ScreenFeed();
    ScreenFeed(const ScreenFeed&) = delete;
    ScreenFeed& operator=(const ScreenFeed&) = delete;

    void start();
    // Ends the feed and closes the pipe.
    void stop();
    // The grabs failed (e.g. the X server went away) and the stream was ended early; why.
    bool failed() const { return failed_; }
    std::string failure() const;
    int64_t framesOut() const { return framesOut_; }
    int64_t grabs() const { return grabs_; }
    // Without a pipe: the frame of the next slot, waiting at most `timeoutNs`; false when none
    // came. A null `frame` ends the stream (the grabs failed).
    bool next(Buffer& frame, int64_t timeoutNs);

private:
    void run();
    Buffer acquire(size_t bytes, size_t limit);
    // Stream position up to which the reader has taken the bytes out of the pipe.
    int64_t consumed() const;
    ssize_t send(Frame& frame, size_t from);

    std::unique_ptr<ScreenSource> source_;
    int fd_;
    int wake_ = -1;
    FramePacer pacer_;
    const FeedClock& clock_;
    std::vector<Buffer> pool_;
    int64_t sent_ = 0;
    bool splice_ = true;
    std::thread thread_;
    std::mutex handOver_;
    std::condition_variable handed_;
    std::deque<Buffer> delivered_;
    std::atomic<bool> failed_{false};
    std::atomic<int64_t> framesOut_{0};
    std::atomic<int64_t> grabs_{0};
};
