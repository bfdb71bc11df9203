#include "PipeWirePicture.h"

#include <algorithm>
#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>

namespace {

// Rows of R, G, B, A bytes (or B, G, R, A) into B, G, R, A rows; libyuv calls the latter ARGB.
void toBgra(const uint8_t* from, int fromStride, PipeWirePicture::Format format, uint8_t* to, int toStride,
            int width, int height)
{
    if (PipeWirePicture::rgbOrder(format))
        libyuv::ABGRToARGB(from, fromStride, to, toStride, width, height);
    else
        libyuv::ARGBCopy(from, fromStride, to, toStride, width, height);
}

} // namespace

bool PipeWirePicture::locate(const Buffer& buffer, const uint8_t*& first, PipeWireLayout::Rect& shown,
                             int& stride)
{
    if (!buffer.data || buffer.size == 0 || buffer.corrupted || buffer.width <= 0 || buffer.height <= 0)
        return false;
    shown = {0, 0, buffer.width, buffer.height};
    if (!buffer.crop.empty()) {
        const int right = std::min(buffer.crop.x + buffer.crop.width, buffer.width);
        const int bottom = std::min(buffer.crop.y + buffer.crop.height, buffer.height);
        shown = {std::max(0, buffer.crop.x), std::max(0, buffer.crop.y), 0, 0};
        shown.width = right - shown.x;
        shown.height = bottom - shown.y;
        if (shown.empty())
            return false;
    }
    stride = buffer.stride != 0 ? buffer.stride : buffer.width * 4;
    if (stride < buffer.width * 4)
        return false;
    // Every row read must lie inside the data the buffer says it holds.
    const size_t start = size_t(shown.y) * size_t(stride) + size_t(shown.x) * 4;
    const size_t end =
        size_t(shown.y + shown.height - 1) * size_t(stride) + size_t(shown.x + shown.width) * 4;
    if (end > buffer.size)
        return false;
    first = buffer.data + buffer.offset + start;
    return true;
}

bool PipeWirePicture::take(const Buffer& buffer)
{
    const uint8_t* first = nullptr;
    PipeWireLayout::Rect shown;
    int stride = 0;
    if (!locate(buffer, first, shown, stride))
        return false;
    view_ = nullptr;
    if (shown.width != width_ || shown.height != height_ ||
        pixels_.size() != size_t(shown.width) * shown.height * 4)
        pixels_.assign(size_t(shown.width) * shown.height * 4, 0);
    width_ = shown.width;
    height_ = shown.height;
    toBgra(first, stride, buffer.format, pixels_.data(), width_ * 4, width_, height_);
    ++version_;
    return true;
}

bool PipeWirePicture::show(const Buffer& buffer)
{
    const uint8_t* first = nullptr;
    PipeWireLayout::Rect shown;
    int stride = 0;
    if (!locate(buffer, first, shown, stride))
        return false;
    view_ = first;
    viewStride_ = stride;
    viewFormat_ = buffer.format;
    width_ = shown.width;
    height_ = shown.height;
    ++version_;
    return true;
}

void PipeWirePicture::detach()
{
    if (!view_)
        return;
    std::vector<uint8_t> copy(size_t(width_) * height_ * 4);
    toBgra(view_, viewStride_, viewFormat_, copy.data(), width_ * 4, width_, height_);
    pixels_.swap(copy);
    view_ = nullptr;
}

void PipeWirePicture::movePointer(bool visible, int x, int y, int hotX, int hotY)
{
    if (visible == pointer_.visible && x == pointer_.x && y == pointer_.y && hotX == pointer_.hotX &&
        hotY == pointer_.hotY)
        return;
    pointer_.visible = visible;
    pointer_.x = x;
    pointer_.y = y;
    pointer_.hotX = hotX;
    pointer_.hotY = hotY;
    ++version_;
}

void PipeWirePicture::setPointerImage(const uint8_t* bitmap, Format format, int width, int height, int stride)
{
    if (!bitmap || width <= 0 || height <= 0 || stride < width * 4) {
        // An image without data: the pointer is not to be shown.
        if (!pointer_.bgra.empty())
            ++version_;
        pointer_.width = pointer_.height = 0;
        pointer_.bgra.clear();
        return;
    }
    pointer_.width = width;
    pointer_.height = height;
    pointer_.bgra.assign(size_t(width) * height * 4, 0);
    toBgra(bitmap, stride, format, pointer_.bgra.data(), width * 4, width, height);
    if (format == Format::BGRx || format == Format::RGBx) {
        for (size_t i = 3; i < pointer_.bgra.size(); i += 4)
            pointer_.bgra[i] = 255;
    }
    ++version_;
}
