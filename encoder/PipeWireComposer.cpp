#include "PipeWireComposer.h"

#include "FrameConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <libyuv/convert.h>
#include <libyuv/planar_functions.h>
#include <libyuv/scale_argb.h>

PipeWireComposer::PipeWireComposer(std::vector<PipeWireLayout::Rect> streams, PipeWireLayout::Rect area,
                                   double scale, int width, int height)
    : streams_(std::move(streams)), area_(area), scale_(scale), width_(width), height_(height)
{
}

const uint8_t* PipeWireComposer::compose(const std::vector<const PipeWirePicture*>& pictures, int& stride)
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
            return pictures[i]->pixels() + size_t(p.source.y) * stride + size_t(p.source.x) * 4;
        }
    }
    stride = width_ * 4;
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
        if (p.source.width == p.target.width && p.source.height == p.target.height)
            libyuv::ARGBCopy(from, pictures[i]->stride(), to, stride, p.target.width, p.target.height);
        else
            libyuv::ARGBScale(from, pictures[i]->stride(), p.source.width, p.source.height, to, stride,
                              p.target.width, p.target.height, libyuv::kFilterBilinear);
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
                                 uint8_t* out)
{
    int stride = 0;
    const uint8_t* frame = compose(pictures, stride);
    FrameConverter::toYuv420p(frame, stride, width_, height_, out);
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
    libyuv::ARGBCopy(frame + size_t(top) * stride, stride, strip_.data(), width_ * 4, width_, rows);
    drawPointers(pictures, strip_.data(), width_ * 4, top, bottom);
    const int chromaWidth = (width_ + 1) / 2;
    uint8_t* y = out + size_t(width_) * top;
    uint8_t* u = out + size_t(width_) * height_ + size_t(chromaWidth) * (top / 2);
    uint8_t* v = out + size_t(width_) * height_ + size_t(chromaWidth) * ((height_ + 1) / 2) +
                 size_t(chromaWidth) * (top / 2);
    libyuv::ARGBToI420(strip_.data(), width_ * 4, y, width_, u, chromaWidth, v, chromaWidth, width_, rows);
}

const std::vector<uint8_t>& PipeWireComposer::toBgrx(const std::vector<const PipeWirePicture*>& pictures,
                                                     bool pointer)
{
    int stride = 0;
    const uint8_t* frame = compose(pictures, stride);
    if (frame != canvas_.data()) {
        canvas_.resize(size_t(width_) * 4 * height_);
        libyuv::ARGBCopy(frame, stride, canvas_.data(), width_ * 4, width_, height_);
    }
    if (pointer)
        drawPointers(pictures, canvas_.data(), width_ * 4, 0, height_);
    return canvas_;
}
