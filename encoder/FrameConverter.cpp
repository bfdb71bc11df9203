#include "FrameConverter.h"

#include <libyuv/convert.h>
#include <libyuv/convert_from_argb.h>

size_t FrameConverter::frameBytes(int width, int height)
{
    const size_t chroma = size_t((width + 1) / 2) * size_t((height + 1) / 2);
    return size_t(width) * size_t(height) + 2 * chroma;
}

bool FrameConverter::toYuv420p(const uint8_t* bgrx, int stride, int width, int height, uint8_t* out)
{
    return convert(bgrx, stride, width, height, Layout::Yuv420p, out);
}

bool FrameConverter::convert(const uint8_t* bgrx, int stride, int width, int height, Layout layout,
                             uint8_t* out)
{
    if (width <= 0 || height <= 0)
        return false;
    // libyuv's "ARGB" is B, G, R, A in memory: the screen's own byte order.
    const int chromaWidth = (width + 1) / 2;
    uint8_t* y = out;
    uint8_t* u = y + size_t(width) * height;
    if (layout == Layout::Nv12)
        return libyuv::ARGBToNV12(bgrx, stride, y, width, u, chromaWidth * 2, width, height) == 0;
    uint8_t* v = u + size_t(chromaWidth) * ((height + 1) / 2);
    return libyuv::ARGBToI420(bgrx, stride, y, width, u, chromaWidth, v, chromaWidth, width, height) == 0;
}
