#pragma once

#include <ctime>

// Milliseconds since the epoch on the real-time clock, the clock FFmpeg's live inputs stamp with.
class WallClock
{
public:
    static double nowMs()
    {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
    }
};
