#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The few Matroska elements of a live stream of raw sound: a header announcing one PCM track of
// unknown length, then clusters of blocks. It is what carries a time stamp for every block to
// FFmpeg through a pipe; raw sample streams have none, so FFmpeg could not place them on the
// wall clock of its other live inputs.
class LiveMatroska
{
public:
    // Time stamps count milliseconds.
    static constexpr int64_t kTimestampScaleNs = 1'000'000;
    // Block times are 16-bit offsets from their cluster's time: a new cluster well before that.
    static constexpr int64_t kClusterSpanMs = 10'000;

    // EBML header, segment and the track: signed 16-bit little-endian interleaved samples.
    static std::vector<uint8_t> header(int rate, int channels);
    // Appends one block of samples stamped `timestampMs`, opening a new cluster where needed.
    void appendBlock(std::vector<uint8_t>& out, int64_t timestampMs, const uint8_t* data, size_t bytes);

private:
    int64_t clusterMs_ = -1;
};
