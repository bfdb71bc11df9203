#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where the screen-cast streams lie on the desktop and which part of each lands where in a frame.
// The desktop is counted in logical units (the coordinates the program and XWayland use); a
// stream's picture is in pixels, more of them than logical units under fractional scaling.
class PipeWireLayout
{
public:
    struct Rect
    {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool empty() const { return width <= 0 || height <= 0; }
        bool operator==(const Rect& other) const
        {
            return x == other.x && y == other.y && width == other.width && height == other.height;
        }
    };
    struct Stream
    {
        uint32_t node = 0;
        Rect logical;
    };
    // A stream's part of a frame: `source` in the stream's pixels goes to `target` in the frame's.
    struct Placement
    {
        Rect source;
        Rect target;
        bool empty() const { return source.empty() || target.empty(); }
    };

    // "<node>@<x>,<y>,<w>x<h>[;...]". False with `error` for anything else.
    static bool parse(const std::string& text, std::vector<Stream>& streams, std::string& error);
    // The smallest rectangle holding every stream.
    static Rect desktop(const std::vector<Stream>& streams);
    // The part of a stream at `logical` whose picture is `pixelWidth`x`pixelHeight` that shows in
    // `area` (logical), for a frame of `frameWidth`x`frameHeight` that holds `area` at `scale`
    // frame pixels per logical unit.
    static Placement place(const Rect& logical, int pixelWidth, int pixelHeight, const Rect& area,
                           double scale, int frameWidth, int frameHeight);
};
