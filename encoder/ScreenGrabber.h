#pragma once

#include "ScreenSource.h"

#include <cstdint>
#include <string>

struct xcb_connection_t;

// Grabs a rectangle of the X screen through MIT-SHM into one shared segment that every grab
// reuses, and draws the pointer into it from XFixes. The pixels are 32-bit BGRX in memory, the
// layout of a little-endian depth-24/32 screen and what the converter takes.
class ScreenGrabber : public ScreenSource
{
public:
    struct Area
    {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    ScreenGrabber() = default;
    ~ScreenGrabber() override;
    ScreenGrabber(const ScreenGrabber&) = delete;
    ScreenGrabber& operator=(const ScreenGrabber&) = delete;

    // Connects to `display` and checks that this screen can be grabbed here. False with
    // failure() telling why (no display, no shared memory, a pixel layout other than 32-bit BGRX).
    bool open(const std::string& display);
    // The whole screen (all heads of a Xinerama desktop).
    int screenWidth() const { return screenWidth_; }
    int screenHeight() const { return screenHeight_; }
    // Sets up the shared segment for `area` (desktop coordinates; parts off the screen stay
    // black). False with failure() when the server cannot attach it, e.g. one on another host.
    bool prepare(const Area& area, bool pointer);
    // One grab with the pointer drawn in; nullptr with failure() set when the server refuses.
    const uint8_t* grab();
    int stride() const { return area_.width * 4; }
    const Area& area() const { return area_; }
    std::string failure() const override { return failure_; }

    int width() const override { return area_.width; }
    int height() const override { return area_.height; }
    bool useLayout(FrameConverter::Layout layout) override
    {
        layout_ = layout;
        return true;
    }
    // A grab converted for the feed.
    Grab grabInto(uint8_t* out) override;

private:
    bool fail(const std::string& why);
    void release();

    xcb_connection_t* connection_ = nullptr;
    uint32_t root_ = 0;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    bool xfixes_ = false;
    Area area_;
    Area visible_; // the part of area_ on the screen
    bool pointer_ = false;
    FrameConverter::Layout layout_ = FrameConverter::Layout::Yuv420p;
    uint32_t segment_ = 0;
    int shmId_ = -1;
    uint8_t* shared_ = nullptr; // what the server writes: visible_ rows
    uint8_t* frame_ = nullptr;  // area_ rows; the shared memory itself when all of it is visible
    std::string failure_;
};
