#pragma once

#include <X11/Xlib.h>

#include <cstdint>

// Two override-redirect windows on the X screen: a strip in the bottom right corner that always
// shows a millisecond clock as a row of black and white blocks (with its complement below, so the
// reader needs no absolute threshold), and a white window over the rest of the screen that is
// shown on request. The strip is never covered by the white window, so every captured frame
// carries the instant it was grabbed.
class ClockStrip
{
public:
    static constexpr int kBits = 24;
    static constexpr int kBlock = 20;

    ClockStrip() = default;
    ~ClockStrip();
    ClockStrip(const ClockStrip&) = delete;
    ClockStrip& operator=(const ClockStrip&) = delete;

    bool open();
    int screenWidth() const { return width_; }
    int screenHeight() const { return height_; }
    int stripX() const { return width_ - kBits * kBlock; }
    int stripY() const { return height_ - 2 * kBlock; }

    // Redraws the strip when the value changed; one copy request, so a grab never sees half a value.
    void show(uint32_t value);
    // Returns once the X server has carried out the change.
    void setWhite(bool white);

private:
    Display* display_ = nullptr;
    Window strip_ = 0;
    Window white_ = 0;
    Pixmap pixmap_ = 0;
    GC black_ = nullptr;
    GC paper_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    uint32_t shown_ = 0xffffffffu;
};
