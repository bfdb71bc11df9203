#include "PipeWireLayout.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

// A number at `at` up to one of `ends` (or the end of the text); moves `at` past it.
bool number(const std::string& text, size_t& at, const char* ends, long long& value)
{
    const size_t stop = text.find_first_of(ends, at);
    const std::string digits = text.substr(at, stop == std::string::npos ? std::string::npos : stop - at);
    if (digits.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(digits.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX)
        return false;
    at = stop == std::string::npos ? text.size() : stop + 1;
    return true;
}

int edge(double value)
{
    return int(std::lround(value));
}

} // namespace

bool PipeWireLayout::parse(const std::string& text, std::vector<Stream>& streams, std::string& error)
{
    streams.clear();
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find(';', at);
        const std::string item = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        size_t pos = 0;
        long long node = 0;
        long long x = 0;
        long long y = 0;
        long long w = 0;
        long long h = 0;
        if (!number(item, pos, "@", node) || item[pos - 1] != '@' || !number(item, pos, ",", x) ||
            item[pos - 1] != ',' || !number(item, pos, ",", y) || item[pos - 1] != ',' ||
            !number(item, pos, "x", w) || item[pos - 1] != 'x' || !number(item, pos, "", h) || node < 0 ||
            w <= 0 || h <= 0) {
            error = "stream \"" + item + "\" is not NODE@X,Y,WxH";
            return false;
        }
        streams.push_back({uint32_t(node), {int(x), int(y), int(w), int(h)}});
    }
    if (streams.empty()) {
        error = "no streams";
        return false;
    }
    return true;
}

PipeWireLayout::Rect PipeWireLayout::desktop(const std::vector<Stream>& streams)
{
    if (streams.empty())
        return {};
    int left = INT_MAX;
    int top = INT_MAX;
    int right = INT_MIN;
    int bottom = INT_MIN;
    for (const Stream& stream : streams) {
        left = std::min(left, stream.logical.x);
        top = std::min(top, stream.logical.y);
        right = std::max(right, stream.logical.x + stream.logical.width);
        bottom = std::max(bottom, stream.logical.y + stream.logical.height);
    }
    return {left, top, right - left, bottom - top};
}

PipeWireLayout::Placement PipeWireLayout::place(const Rect& logical, int pixelWidth, int pixelHeight,
                                                const Rect& area, double scale, int frameWidth,
                                                int frameHeight)
{
    Placement placement;
    if (logical.empty() || pixelWidth <= 0 || pixelHeight <= 0)
        return placement;
    const int left = std::max(logical.x, area.x);
    const int top = std::max(logical.y, area.y);
    const int right = std::min(logical.x + logical.width, area.x + area.width);
    const int bottom = std::min(logical.y + logical.height, area.y + area.height);
    if (right <= left || bottom <= top)
        return placement;
    // Edges are mapped, not sizes, so neighbouring parts meet without a gap or an overlap.
    const double sx = double(pixelWidth) / logical.width;
    const double sy = double(pixelHeight) / logical.height;
    const int sLeft = std::clamp(edge((left - logical.x) * sx), 0, pixelWidth);
    const int sTop = std::clamp(edge((top - logical.y) * sy), 0, pixelHeight);
    const int sRight = std::clamp(edge((right - logical.x) * sx), 0, pixelWidth);
    const int sBottom = std::clamp(edge((bottom - logical.y) * sy), 0, pixelHeight);
    const int tLeft = std::clamp(edge((left - area.x) * scale), 0, frameWidth);
    const int tTop = std::clamp(edge((top - area.y) * scale), 0, frameHeight);
    const int tRight = std::clamp(edge((right - area.x) * scale), 0, frameWidth);
    const int tBottom = std::clamp(edge((bottom - area.y) * scale), 0, frameHeight);
    placement.source = {sLeft, sTop, sRight - sLeft, sBottom - sTop};
    placement.target = {tLeft, tTop, tRight - tLeft, tBottom - tTop};
    return placement;
}
