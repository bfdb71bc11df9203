#include "FrameConverter.h"

#include <libyuv/convert.h>

size_t FrameConverter::frameBytes(int width, int height)
{
    const size_t chroma = size_t((width + 1) / 2) * size_t((height + 1) / 2);
    return size_t(width) * size_t(height) + 2 * chroma;
}

bool FrameConverter::toYuv420p(const uint8_t* bgrx, int stride, int width, int height, uint8_t* out)
{
    if (width <= 0 || height <= 0)
        return false;
    // libyuv's "ARGB" is B, G, R, A in memory: the screen's own byte order.
    const int chromaWidth = (width + 1) / 2;
    uint8_t* y = out;
    uint8_t* u = y + size_t(width) * height;
    uint8_t* v = u + size_t(chromaWidth) * ((height + 1) / 2);
    return libyuv::ARGBToI420(bgrx, stride, y, width, u, chromaWidth, v, chromaWidth, width, height) == 0;
}
