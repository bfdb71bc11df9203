#pragma once

#include "FrameConverter.h"

#include <cstdint>
#include <string>

// Where the fed picture comes from: the X screen grabbed on demand, or a screen cast that
// delivers frames when the screen changes. The feed asks once per frame interval.
class ScreenSource
{
public:
    enum class Grab
    {
        Fresh,  // `out` holds a new picture
        Same,   // nothing changed since the last one: it may be sent again
        Failed, // no picture any more; failure() says why
    };

    virtual ~ScreenSource() = default;

    // The size of the frames, even in both directions.
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Whether the first picture can be taken; until then the feed waits and serves no frame.
    virtual bool ready() { return true; }
    // Makes grabInto write `layout`; false (and yuv420p kept) where the source has no such layout.
    virtual bool useLayout(FrameConverter::Layout layout)
    {
        return layout == FrameConverter::Layout::Yuv420p;
    }
    // The picture as yuv420p, or the layout chosen, into `out` (FrameConverter::frameBytes(width(),
    // height()) bytes).
    virtual Grab grabInto(uint8_t* out) = 0;
    virtual std::string failure() const = 0;
};
