#include "MovingPicture.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <chrono>
#include <cstdint>
#include <cstring>

namespace {

uint32_t hash(uint32_t a, uint32_t b)
{
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u + (a << 6) + (a >> 2));
    h ^= h >> 15;
    h *= 0x85EBCA77u;
    h ^= h >> 13;
    return h;
}

} // namespace

MovingPicture::~MovingPicture()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (attached_)
        XShmDetach(display_, &shm_);
    if (image_) {
        image_->data = nullptr; // the segment is not Xlib's to free
        XDestroyImage(image_);
    }
    if (shm_.shmaddr)
        shmdt(shm_.shmaddr);
    if (gc_)
        XFreeGC(display_, gc_);
    if (display_)
        XCloseDisplay(display_);
}

bool MovingPicture::start()
{
    display_ = XOpenDisplay(nullptr);
    if (!display_ || !XShmQueryExtension(display_))
        return false;
    const int screen = DefaultScreen(display_);
    root_ = RootWindow(display_, screen);
    width_ = DisplayWidth(display_, screen);
    height_ = DisplayHeight(display_, screen);
    image_ = XShmCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen),
                             ZPixmap, nullptr, &shm_, 2 * width_, height_);
    if (!image_ || image_->bits_per_pixel != 32)
        return false;
    shm_.shmid = shmget(IPC_PRIVATE, size_t(image_->bytes_per_line) * height_, IPC_CREAT | 0600);
    if (shm_.shmid < 0)
        return false;
    shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
    // Marked for removal at once: it goes when both sides have detached, also after a crash.
    shmctl(shm_.shmid, IPC_RMID, nullptr);
    if (shm_.shmaddr == reinterpret_cast<char*>(-1)) {
        shm_.shmaddr = nullptr;
        return false;
    }
    shm_.readOnly = True;
    if (!XShmAttach(display_, &shm_))
        return false;
    attached_ = true;
    gc_ = XCreateGC(display_, root_, 0, nullptr); // clipped by the windows above the root
    render();
    XSync(display_, False);
    thread_ = std::thread(&MovingPicture::run, this);
    return true;
}

void MovingPicture::render()
{
    // Something like a busy desktop: tiles of mid-tone colours, each with lines of "words" (short
    // dark and light bars) and a gradient across the screen. Mid-tones throughout, so that the
    // marker's white screen stays told apart from it.
    constexpr int kTile = 96;
    for (int y = 0; y < height_; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image_->data + size_t(y) * image_->bytes_per_line);
        const int ty = y / kTile;
        const int line = (y % kTile) / 12;
        const bool inkRow = (y % 12) >= 3 && (y % 12) <= 9;
        for (int x = 0; x < width_; ++x) {
            const uint32_t tile = hash(uint32_t(x / kTile), uint32_t(ty));
            int r = 60 + int(tile & 0x7f);
            int g = 60 + int((tile >> 8) & 0x7f);
            int b = 60 + int((tile >> 16) & 0x7f);
            if (inkRow) {
                const uint32_t word = hash(tile ^ uint32_t(line), uint32_t((x % kTile) / 7));
                if ((word & 3) == 0) {
                    r /= 3;
                    g /= 3;
                    b /= 3;
                } else if ((word & 7) == 1) {
                    r = 230;
                    g = 230;
                    b = 220;
                }
            }
            const int shade = (x * 64 / width_ + y * 32 / height_) - 48;
            r = r + shade < 0 ? 0 : (r + shade > 255 ? 255 : r + shade);
            g = g + shade < 0 ? 0 : (g + shade > 255 ? 255 : g + shade);
            b = b + shade / 2 < 0 ? 0 : (b + shade / 2 > 255 ? 255 : b + shade / 2);
            row[x] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        }
        std::memcpy(row + width_, row, size_t(width_) * 4);
    }
}

void MovingPicture::run()
{
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::nanoseconds(1000000000LL / kRate);
    auto next = Clock::now();
    long frame = 0;
    while (!stop_) {
        const int offset = int((frame * kStep) % width_);
        XShmPutImage(display_, root_, gc_, image_, offset, 0, 0, 0, unsigned(width_), unsigned(height_),
                     False);
        // Waits until the server has drawn it, so a slow server never gets a queue of pictures.
        XSync(display_, False);
        ++frame;
        next += interval;
        const auto now = Clock::now();
        if (next < now)
            next = now; // late: the next picture at once, without catching up
        std::this_thread::sleep_until(next);
    }
}
