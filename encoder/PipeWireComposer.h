#pragma once

#include "FrameConverter.h"
#include "PipeWireLayout.h"
#include "PipeWirePicture.h"

#include <cstdint>
#include <vector>

// Puts the pictures of the streams together into one frame: the part of the desktop in `area`
// (logical units) at `scale` frame pixels per unit, each stream scaled from its pixels, parts no
// stream covers black, the pointers drawn in on request.
class PipeWireComposer
{
public:
    PipeWireComposer(std::vector<PipeWireLayout::Rect> streams, PipeWireLayout::Rect area, double scale,
                     int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    // `pictures` in the order of the streams; empty ones stay black. `out` holds
    // FrameConverter::frameBytes(width(), height()), in `layout`.
    void toYuv420p(const std::vector<const PipeWirePicture*>& pictures, bool pointer, uint8_t* out,
                   FrameConverter::Layout layout = FrameConverter::Layout::Yuv420p);
    // The frame as BGRX rows without padding.
    const std::vector<uint8_t>& toBgrx(const std::vector<const PipeWirePicture*>& pictures, bool pointer);

private:
    // Composes into canvas_, or finds the one picture that is the frame as it is; the frame's
    // rows, their distance and byte order.
    const uint8_t* compose(const std::vector<const PipeWirePicture*>& pictures, int& stride,
                           PipeWirePicture::Format& format);
    void drawPointers(const std::vector<const PipeWirePicture*>& pictures, uint8_t* rows, int stride, int top,
                      int bottom);
    // The rows of the frame the pointers cover, [top, bottom).
    bool pointerRows(const std::vector<const PipeWirePicture*>& pictures, int& top, int& bottom) const;
    // Where a point of a stream's picture lands in the frame.
    void toFrame(size_t stream, const PipeWirePicture& picture, int x, int y, int& fx, int& fy) const;

    const std::vector<PipeWireLayout::Rect> streams_;
    const PipeWireLayout::Rect area_;
    const double scale_;
    const int width_;
    const int height_;
    std::vector<uint8_t> canvas_;
    std::vector<uint8_t> strip_;
};
