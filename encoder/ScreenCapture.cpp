#include "ScreenCapture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace {

// The grab options of FFmpeg's screen inputs; the raw stream has none of them.
const char* const kGrabOptions[] = {
    "-f",           "-offset_x",      "-offset_y",     "-video_size", "-framerate", "-draw_mouse",
    "-show_region", "-region_border", "-follow_mouse", "-grab_x",     "-grab_y"};

bool number(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

// "18", "30000/1001": nanoseconds per frame; 0 when it is not a rate.
int64_t intervalOf(const std::string& rate)
{
    long num = 0;
    long den = 1;
    const size_t slash = rate.find('/');
    if (!number(rate.substr(0, slash), num))
        return 0;
    if (slash != std::string::npos && !number(rate.substr(slash + 1), den))
        return 0;
    if (num <= 0 || den <= 0 || num > 1000)
        return 0;
    return int64_t(1'000'000'000) * den / num;
}

} // namespace

bool ScreenCapture::fallBack(const std::string& why)
{
    std::cerr << "zrk_video_capture: the screen is grabbed by FFmpeg (x11grab): " << why << '\n';
    return false;
}

bool ScreenCapture::refuse(const std::string& url, const std::string& why)
{
    // In FFmpeg's words, as its own inputs fail; the X screen is no stand-in for the cast.
    std::cerr << "[pipewire @ remote] " << why << '\n' << url << ": Input/output error\n";
    unusable_ = true;
    return false;
}

bool ScreenCapture::wantedArea(const FfmpegCommand::Input& input, bool area,
                               const ScreenGrabber::Area& screen, ScreenGrabber::Area& wanted,
                               std::string& why)
{
    wanted = screen;
    if (area) {
        long x = 0;
        long y = 0;
        const std::string size = FfmpegCommand::value(input.options, "-video_size");
        if (!number(FfmpegCommand::value(input.options, "-offset_x", "0"), x) ||
            !number(FfmpegCommand::value(input.options, "-offset_y", "0"), y)) {
            why = "unreadable offsets";
            return false;
        }
        wanted.x = int(x);
        wanted.y = int(y);
        wanted.width = screen.x + screen.width - wanted.x;
        wanted.height = screen.y + screen.height - wanted.y;
        if (!size.empty()) {
            long w = 0;
            long h = 0;
            const size_t cross = size.find('x');
            if (cross == std::string::npos || !number(size.substr(0, cross), w) ||
                !number(size.substr(cross + 1), h)) {
                why = "the size " + size + " is not WIDTHxHEIGHT";
                return false;
            }
            wanted.width = int(w);
            wanted.height = int(h);
        }
    }
    // The encoder takes yuv420p only in even sizes: an odd column or row is left out.
    wanted.width &= ~1;
    wanted.height &= ~1;
    if (wanted.width <= 0 || wanted.height <= 0 || wanted.width > 16384 || wanted.height > 16384) {
        why = "an area of " + std::to_string(wanted.width) + "x" + std::to_string(wanted.height);
        return false;
    }
    return true;
}

bool ScreenCapture::take(FfmpegCommand::Input& input, bool area, const std::string& rate)
{
    if (PipeWireSource::given() && (taken() || unusable_))
        return refuse(input.url, "only one screen input can be read from the screen cast");
    if (taken())
        return fallBack("only one screen input is grabbed by the adapter");
    const std::string frameRate =
        rate.empty() ? FfmpegCommand::value(input.options, "-framerate", "30") : rate;
    intervalNs_ = intervalOf(frameRate);
    if (PipeWireSource::given()) {
        if (intervalNs_ <= 0)
            return refuse(input.url, "the frame rate " + frameRate + " is not a number of frames per second");
        return takeCast(input, area, frameRate);
    }
    const char* forced = std::getenv("REELCAST_CAPTURE");
    if (forced && std::strcmp(forced, "ffmpeg") == 0)
        return fallBack("REELCAST_CAPTURE=ffmpeg");
    if (intervalNs_ <= 0)
        return fallBack("the frame rate " + frameRate + " is not a number of frames per second");

    auto grabber = std::make_unique<ScreenGrabber>();
    if (!grabber->open(display_))
        return fallBack(grabber->failure());
    ScreenGrabber::Area wanted;
    std::string why;
    if (!wantedArea(input, area, {0, 0, grabber->screenWidth(), grabber->screenHeight()}, wanted, why))
        return fallBack(why);
    pointer_ = FfmpegCommand::value(input.options, "-draw_mouse", "1") != "0";
    if (!grabber->prepare(wanted, pointer_))
        return fallBack(grabber->failure());
    area_ = wanted;
    return feed(input, std::move(grabber), frameRate);
}

bool ScreenCapture::takeCast(FfmpegCommand::Input& input, bool area, const std::string& rate)
{
    PipeWireSource::Remote remote;
    std::string why;
    if (!PipeWireSource::fromEnvironment(remote, why))
        return refuse(input.url, why);
    const PipeWireLayout::Rect desktop = PipeWireLayout::desktop(remote.streams);
    ScreenGrabber::Area wanted;
    if (!wantedArea(input, area, {desktop.x, desktop.y, desktop.width, desktop.height}, wanted, why))
        return refuse(input.url, why);
    pointer_ = FfmpegCommand::value(input.options, "-draw_mouse", "1") != "0";
    auto source = std::make_unique<PipeWireSource>();
    // The desktop need not send faster than the frames are taken.
    const int maxRate = int(std::ceil(1e9 / double(intervalNs_)));
    if (!source->open(remote, maxRate) ||
        !source->frame({wanted.x, wanted.y, wanted.width, wanted.height}, pointer_))
        return refuse(input.url, source->failure());
    area_ = wanted;
    cast_ = source.get();
    return feed(input, std::move(source), rate);
}

bool ScreenCapture::feed(FfmpegCommand::Input& input, std::unique_ptr<ScreenSource> source,
                         const std::string& rate)
{
    int fds[2] = {-1, -1};
    if (!inProcess_ && pipe2(fds, O_CLOEXEC) != 0) {
        const std::string why = std::string("cannot create a pipe: ") + std::strerror(errno);
        return cast_ ? refuse(input.url, why) : fallBack(why);
    }
    readEnd_ = fds[0];
    layout_ = source->useLayout(preferred_) ? preferred_ : FrameConverter::Layout::Yuv420p;

    std::vector<std::string> options{
        "-f",          "rawvideo",
        "-pix_fmt",    FrameConverter::pixelFormat(layout_),
        "-video_size", std::to_string(area_.width) + "x" + std::to_string(area_.height),
        "-framerate",  rate};
    std::vector<std::string> rest = input.options;
    for (const char* name : kGrabOptions)
        FfmpegCommand::remove(rest, name);
    options.insert(options.end(), rest.begin(), rest.end());
    if (!FfmpegCommand::has(options, "-thread_queue_size")) {
        const double frames = std::ceil(kReaderQueueSeconds * 1e9 / double(intervalNs_));
        options.insert(options.end(), {"-thread_queue_size", std::to_string(std::max(8, int(frames)))});
    }
    input.options = options;
    input.url = kPipePlaceholder;
    // Grabbing starts here, before the rest of the start-up; the frames wait in the queue.
    feed_ = std::make_unique<ScreenFeed>(std::move(source), fds[1], intervalNs_, clock_);
    feed_->start();
    return true;
}

ScreenCapture::~ScreenCapture()
{
    stop();
    if (readEnd_ >= 0)
        close(readEnd_);
}

int ScreenCapture::start()
{
    if (readEnd_ < 0) {
        errno = EINVAL;
        return -1;
    }
    const int fd = readEnd_;
    readEnd_ = -1;
    return fd;
}

void ScreenCapture::stop()
{
    if (feed_)
        feed_->stop();
}
