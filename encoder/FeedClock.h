#pragma once

#include <cstdint>
#include <ctime>

// The instant the adapter's own streams start from. Positions in them are counted on the
// monotonic clock; FFmpeg's live inputs stamp with the wall clock, so the same instant is kept on
// both to place the streams on FFmpeg's time line.
class FeedClock
{
public:
    static FeedClock startingNow()
    {
        FeedClock clock;
        clock.originNs_ = monotonicNs();
        timespec real{};
        clock_gettime(CLOCK_REALTIME, &real);
        clock.originWallUs_ = int64_t(real.tv_sec) * 1000000 + real.tv_nsec / 1000;
        return clock;
    }

    static int64_t monotonicNs()
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    }

    int64_t originNs() const { return originNs_; }
    int64_t originWallUs() const { return originWallUs_; }
    // Nanoseconds since the origin.
    int64_t elapsedNs() const { return monotonicNs() - originNs_; }

private:
    int64_t originNs_ = 0;
    int64_t originWallUs_ = 0;
};
