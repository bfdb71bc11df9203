#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

// The instant the adapter's own streams start from. Positions in them are counted on the
// monotonic clock; FFmpeg's live inputs stamp with the wall clock, so the same instant is kept on
// both to place the streams on FFmpeg's time line.
class FeedClock
{
public:
    // `agoNs` before now.
    static FeedClock startingNow(int64_t agoNs = 0)
    {
        FeedClock clock;
        clock.originNs_ = monotonicNs() - agoNs;
        timespec real{};
        clock_gettime(CLOCK_REALTIME, &real);
        clock.originWallUs_ = int64_t(real.tv_sec) * 1000000 + real.tv_nsec / 1000 - agoNs / 1000;
        return clock;
    }

    // From the instant this process was started: the program counts a run from there, and
    // loading the encoder's libraries takes a tenth of a second before any code runs. The
    // system keeps that instant in clock ticks; at most `limitNs` is counted back.
    static FeedClock startingAtExec(int64_t limitNs)
    {
        int64_t ago = 0;
        if (FILE* stat = std::fopen("/proc/self/stat", "r")) {
            char text[1024] = {};
            const size_t n = std::fread(text, 1, sizeof text - 1, stat);
            std::fclose(stat);
            // Field 22 (start time), counted after the command name's closing parenthesis.
            const char* at = n > 0 ? std::strrchr(text, ')') : nullptr;
            unsigned long long ticks = 0;
            if (at && std::sscanf(
                          at + 1,
                          " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                          &ticks) == 1) {
                timespec boot{};
                clock_gettime(CLOCK_BOOTTIME, &boot);
                const long hz = sysconf(_SC_CLK_TCK);
                const int64_t bootNs = int64_t(boot.tv_sec) * 1000000000 + boot.tv_nsec;
                if (hz > 0)
                    ago = bootNs - int64_t(ticks) * (1000000000 / hz);
            }
        }
        return startingNow(ago < 0 ? 0 : ago > limitNs ? limitNs : ago);
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
