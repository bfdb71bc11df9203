#pragma once

#include <cstddef>
#include <cstdint>

// 32-bit BGRX pixels into 4:2:0 frames as FFmpeg lays them out in a raw stream: the Y plane, then
// the chroma with half the width and height rounded up, either as two planes (yuv420p) or
// interleaved in one (nv12, x264's own layout, which spares the encoder a copy). BT.601 limited
// range, the matrix the encoder is told.
class FrameConverter
{
public:
    enum class Layout
    {
        Yuv420p,
        Nv12
    };

    static const char* pixelFormat(Layout layout) { return layout == Layout::Nv12 ? "nv12" : "yuv420p"; }
    // The same for both layouts.
    static size_t frameBytes(int width, int height);
    // `out` holds frameBytes(width, height). False when the sizes are unusable.
    static bool toYuv420p(const uint8_t* bgrx, int stride, int width, int height, uint8_t* out);
    static bool convert(const uint8_t* bgrx, int stride, int width, int height, Layout layout, uint8_t* out);
};
