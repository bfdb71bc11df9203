#pragma once

#include <cstddef>
#include <cstdint>

// 32-bit BGRX pixels into planar yuv420p as FFmpeg lays it out in a raw stream: the Y plane, then
// U and V with half the width and height rounded up. BT.601 limited range, the matrix the encoder
// is told.
class FrameConverter
{
public:
    static size_t frameBytes(int width, int height);
    // `out` holds frameBytes(width, height). False when the sizes are unusable.
    static bool toYuv420p(const uint8_t* bgrx, int stride, int width, int height, uint8_t* out);
};
