#pragma once

#include "PipeWireLayout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The last picture of one screen-cast stream, kept as 32-bit BGRX rows without padding, and its
// pointer. Buffers come when the screen changes; one without picture data (only metadata, or
// marked corrupted) leaves the picture as it was.
class PipeWirePicture
{
public:
    enum class Format
    {
        BGRx,
        RGBx,
        BGRA,
        RGBA
    };
    // One buffer as the stream delivers it: `size` bytes at `offset` into `data`, rows `stride`
    // apart, of a `width`x`height` picture of which `crop` (when not empty) is the part to show.
    struct Buffer
    {
        const uint8_t* data = nullptr;
        size_t size = 0;
        uint32_t offset = 0;
        int32_t stride = 0;
        Format format = Format::BGRx;
        int width = 0;
        int height = 0;
        PipeWireLayout::Rect crop;
        bool corrupted = false;
    };
    // The pointer in the picture's pixels; its image in straight-alpha BGRA.
    struct Pointer
    {
        bool visible = false;
        int x = 0;
        int y = 0;
        int hotX = 0;
        int hotY = 0;
        int width = 0;
        int height = 0;
        std::vector<uint8_t> bgra;
    };

    // Takes the buffer's picture. False, keeping the last picture, when it has none.
    bool take(const Buffer& buffer);
    // The pointer moved, or changed its image (`bitmap` in `format`, rows `stride` apart; nullptr
    // for none).
    void movePointer(bool visible, int x, int y, int hotX, int hotY);
    void setPointerImage(const uint8_t* bitmap, Format format, int width, int height, int stride);

    bool empty() const { return pixels_.empty(); }
    int width() const { return width_; }
    int height() const { return height_; }
    const uint8_t* pixels() const { return pixels_.data(); }
    int stride() const { return width_ * 4; }
    const Pointer& pointer() const { return pointer_; }
    // Counts every change of picture or pointer.
    uint64_t version() const { return version_; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pixels_;
    Pointer pointer_;
    uint64_t version_ = 0;
};
