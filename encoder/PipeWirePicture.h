#pragma once

#include "PipeWireLayout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The last picture of one screen-cast stream and its pointer. Buffers come when the screen
// changes; one without picture data (only metadata, or marked corrupted) leaves the picture as it
// was. The picture is either a copy (32-bit BGRX rows without padding) or, to spare copying every
// frame, the buffer's own memory for as long as the stream lends it.
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

    // Copies the buffer's picture. False, keeping the last picture, when it has none.
    bool take(const Buffer& buffer);
    // Shows the buffer's picture from its memory, which must stay until the next show() or
    // detach(). False, keeping the last picture, when it has none.
    bool show(const Buffer& buffer);
    // Keeps a copy of the picture shown: its memory is about to go.
    void detach();
    // The pointer moved, or changed its image (`bitmap` in `format`, rows `stride` apart; nullptr
    // for none).
    void movePointer(bool visible, int x, int y, int hotX, int hotY);
    void setPointerImage(const uint8_t* bitmap, Format format, int width, int height, int stride);

    bool empty() const { return width_ == 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The rows of the picture, in format(): BGRx for a copy, the buffer's for one shown.
    const uint8_t* pixels() const { return view_ ? view_ : pixels_.data(); }
    int stride() const { return view_ ? viewStride_ : width_ * 4; }
    Format format() const { return view_ ? viewFormat_ : Format::BGRx; }
    // Whether format() has red in its first byte.
    static bool rgbOrder(Format format) { return format == Format::RGBx || format == Format::RGBA; }
    const Pointer& pointer() const { return pointer_; }
    // Counts every change of picture or pointer.
    uint64_t version() const { return version_; }

private:
    // Where the picture of `buffer` starts, its size and row distance; false when it has none.
    static bool locate(const Buffer& buffer, const uint8_t*& first, PipeWireLayout::Rect& shown, int& stride);

    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pixels_;
    const uint8_t* view_ = nullptr;
    int viewStride_ = 0;
    Format viewFormat_ = Format::BGRx;
    Pointer pointer_;
    uint64_t version_ = 0;
};
