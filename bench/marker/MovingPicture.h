#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <atomic>
#include <thread>

// A full-screen picture that scrolls sideways at a fixed rate, drawn into the root window under
// every other window. The picture is rendered once, twice side by side in one shared-memory image,
// so each frame is a single XShmPutImage from a moving offset: the X server copies the pixels and
// this process does next to nothing, whatever the screen size.
class MovingPicture
{
public:
    static constexpr int kRate = 30; // pictures a second
    static constexpr int kStep = 23; // pixels a picture; not a multiple of the encoder's blocks

    MovingPicture() = default;
    ~MovingPicture();
    MovingPicture(const MovingPicture&) = delete;
    MovingPicture& operator=(const MovingPicture&) = delete;

    // Opens its own connection (the drawing runs on its own thread) and starts drawing.
    bool start();

private:
    void render();
    void run();

    Display* display_ = nullptr;
    Window root_ = 0;
    GC gc_ = nullptr;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool attached_ = false;
    int width_ = 0;
    int height_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};
