#include "PipeWireComposer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <libyuv/convert.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/scale_argb.h>

PipeWireComposer::PipeWireComposer(std::vector<PipeWireLayout::Rect> streams, PipeWireLayout::Rect area,
                                   double scale, int width, int height)
    : streams_(std::move(streams)), area_(area), scale_(scale), width_(width), height_(height)
{
}

namespace {

using Format = PipeWirePicture::Format;

void toBgra(const uint8_t* from, int fromStride, Format format, uint8_t* to, int toStride, int width,
            int height)
{
    if (PipeWirePicture::rgbOrder(format))
        libyuv::ABGRToARGB(from, fromStride, to, toStride, width, height);
    else
        libyuv::ARGBCopy(from, fromStride, to, toStride, width, height);
}

// BT.601 limited range from either byte order, the planes of a frame `width` wide; nv12 has its
// interleaved chroma in `u`.
void toI420(const uint8_t* from, int stride, Format format, int width, int rows, uint8_t* y, uint8_t* u,
            uint8_t* v, FrameConverter::Layout layout)
{
    const int chromaWidth = (width + 1) / 2;
    if (layout == FrameConverter::Layout::Nv12) {
        if (PipeWirePicture::rgbOrder(format))
            libyuv::ABGRToNV12(from, stride, y, width, u, chromaWidth * 2, width, rows);
        else
            libyuv::ARGBToNV12(from, stride, y, width, u, chromaWidth * 2, width, rows);
        return;
    }
    if (PipeWirePicture::rgbOrder(format))
        libyuv::ABGRToI420(from, stride, y, width, u, chromaWidth, v, chromaWidth, width, rows);
    else
        libyuv::ARGBToI420(from, stride, y, width, u, chromaWidth, v, chromaWidth, width, rows);
}

} // namespace

const uint8_t* PipeWireComposer::compose(const std::vector<const PipeWirePicture*>& pictures, int& stride,
                                         Format& format)
{
    std::vector<PipeWireLayout::Placement> placements(streams_.size());
    for (size_t i = 0; i < streams_.size() && i < pictures.size(); ++i) {
        if (pictures[i] && !pictures[i]->empty())
            placements[i] = PipeWireLayout::place(streams_[i], pictures[i]->width(), pictures[i]->height(),
                                                  area_, scale_, width_, height_);
    }
    // Most often one stream fills the frame at its own size: the frame is read from its picture.
    for (size_t i = 0; i < placements.size(); ++i) {
        const PipeWireLayout::Placement& p = placements[i];
        if (p.target == PipeWireLayout::Rect{0, 0, width_, height_} && p.source.width == width_ &&
            p.source.height == height_) {
            stride = pictures[i]->stride();
            format = pictures[i]->format();
            return pictures[i]->pixels() + size_t(p.source.y) * stride + size_t(p.source.x) * 4;
        }
    }
    stride = width_ * 4;
    format = Format::BGRx;
    if (canvas_.size() != size_t(stride) * height_)
        canvas_.assign(size_t(stride) * height_, 0);
    else
        std::fill(canvas_.begin(), canvas_.end(), 0);
    for (size_t i = 0; i < placements.size(); ++i) {
        const PipeWireLayout::Placement& p = placements[i];
        if (p.empty())
            continue;
        const uint8_t* from =
            pictures[i]->pixels() + size_t(p.source.y) * pictures[i]->stride() + size_t(p.source.x) * 4;
        uint8_t* to = canvas_.data() + size_t(p.target.y) * stride + size_t(p.target.x) * 4;
        const Format fromFormat = pictures[i]->format();
        if (p.source.width == p.target.width && p.source.height == p.target.height) {
            toBgra(from, pictures[i]->stride(), fromFormat, to, stride, p.target.width, p.target.height);
        } else {
            // Scaling treats the four bytes alike; the byte order is put right afterwards, in place.
            libyuv::ARGBScale(from, pictures[i]->stride(), p.source.width, p.source.height, to, stride,
                              p.target.width, p.target.height, libyuv::kFilterBilinear);
            if (PipeWirePicture::rgbOrder(fromFormat))
                libyuv::ABGRToARGB(to, stride, to, stride, p.target.width, p.target.height);
        }
    }
    return canvas_.data();
}

void PipeWireComposer::toFrame(size_t stream, const PipeWirePicture& picture, int x, int y, int& fx,
                               int& fy) const
{
    const PipeWireLayout::Rect& logical = streams_[stream];
    const double lx = logical.x + double(x) * logical.width / picture.width();
    const double ly = logical.y + double(y) * logical.height / picture.height();
    fx = int(std::floor((lx - area_.x) * scale_));
    fy = int(std::floor((ly - area_.y) * scale_));
}

bool PipeWireComposer::pointerRows(const std::vector<const PipeWirePicture*>& pictures, int& top,
                                   int& bottom) const
{
    top = height_;
    bottom = 0;
    for (size_t i = 0; i < streams_.size() && i < pictures.size(); ++i) {
        if (!pictures[i] || pictures[i]->empty())
            continue;
        const PipeWirePicture::Pointer& pointer = pictures[i]->pointer();
        if (!pointer.visible || pointer.bgra.empty())
            continue;
        int fx = 0;
        int fy = 0;
        toFrame(i, *pictures[i], pointer.x - pointer.hotX, pointer.y - pointer.hotY, fx, fy);
        if (fx >= width_ || fx + pointer.width <= 0)
            continue;
        top = std::min(top, std::max(0, fy));
        bottom = std::max(bottom, std::min(height_, fy + pointer.height));
    }
    return top < bottom;
}

void PipeWireComposer::drawPointers(const std::vector<const PipeWirePicture*>& pictures, uint8_t* rows,
                                    int stride, int top, int bottom)
{
    for (size_t i = 0; i < streams_.size() && i < pictures.size(); ++i) {
        if (!pictures[i] || pictures[i]->empty())
            continue;
        const PipeWirePicture::Pointer& pointer = pictures[i]->pointer();
        if (!pointer.visible || pointer.bgra.empty())
            continue;
        int ox = 0;
        int oy = 0;
        toFrame(i, *pictures[i], pointer.x - pointer.hotX, pointer.y - pointer.hotY, ox, oy);
        const int x0 = std::max(0, -ox);
        const int x1 = std::min(pointer.width, width_ - ox);
        const int y0 = std::max(top - oy, 0);
        const int y1 = std::min(pointer.height, bottom - oy);
        for (int y = y0; y < y1; ++y) {
            uint8_t* out = rows + size_t(oy + y - top) * stride + size_t(ox + x0) * 4;
            const uint8_t* in = pointer.bgra.data() + (size_t(y) * pointer.width + x0) * 4;
            for (int x = x0; x < x1; ++x, out += 4, in += 4) {
                const uint32_t alpha = in[3];
                if (alpha == 0)
                    continue;
                for (int c = 0; c < 3; ++c)
                    out[c] = uint8_t((in[c] * alpha + out[c] * (255 - alpha) + 127) / 255);
            }
        }
    }
}

void PipeWireComposer::toYuv420p(const std::vector<const PipeWirePicture*>& pictures, bool pointer,
                                 uint8_t* out, FrameConverter::Layout layout)
{
    int stride = 0;
    Format format{};
    const uint8_t* frame = compose(pictures, stride, format);
    const int chromaWidth = (width_ + 1) / 2;
    // Bytes of chroma per chroma row: both planes' samples in nv12's one.
    const size_t chromaRow = size_t(chromaWidth) * (layout == FrameConverter::Layout::Nv12 ? 2 : 1);
    uint8_t* const uPlane = out + size_t(width_) * height_;
    uint8_t* const vPlane = uPlane + size_t(chromaWidth) * ((height_ + 1) / 2);
    toI420(frame, stride, format, width_, height_, out, uPlane, vPlane, layout);
    int top = 0;
    int bottom = 0;
    if (!pointer || !pointerRows(pictures, top, bottom))
        return;
    // Only the rows under the pointer are converted again, from a copy with the pointer drawn in;
    // whole chroma rows, so from an even row.
    top &= ~1;
    bottom = std::min(height_, (bottom + 1) & ~1);
    const int rows = bottom - top;
    strip_.resize(size_t(width_) * 4 * rows);
    toBgra(frame + size_t(top) * stride, stride, format, strip_.data(), width_ * 4, width_, rows);
    drawPointers(pictures, strip_.data(), width_ * 4, top, bottom);
    toI420(strip_.data(), width_ * 4, Format::BGRx, width_, rows, out + size_t(width_) * top,
           uPlane + chromaRow * (top / 2), vPlane + size_t(chromaWidth) * (top / 2), layout);
}

const std::vector<uint8_t>& PipeWireComposer::toBgrx(const std::vector<const PipeWirePicture*>& pictures,
                                                     bool pointer)
{
    int stride = 0;
    Format format{};
    const uint8_t* frame = compose(pictures, stride, format);
    if (frame != canvas_.data()) {
        canvas_.resize(size_t(width_) * 4 * height_);
        toBgra(frame, stride, format, canvas_.data(), width_ * 4, width_, height_);
    }
    if (pointer)
        drawPointers(pictures, canvas_.data(), width_ * 4, 0, height_);
    return canvas_;
}
