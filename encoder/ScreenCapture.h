#pragma once

#include "FeedClock.h"
#include "FfmpegCommand.h"
#include "PipeWireSource.h"
#include "ScreenFeed.h"
#include "ScreenGrabber.h"

#include <cstdint>
#include <memory>
#include <string>

// The adapter's own screen input: where it can grab the screen (a local X server with shared
// memory and 32-bit pixels), a screen input of the command becomes a raw yuv420p stream on a
// pipe that the adapter feeds; elsewhere the input is left to FFmpeg's x11grab, and the encoder
// log says why. Where the program hands over a screen cast (Wayland), the picture comes from it
// and never from X, whose screen there is black (PipeWireSource.h).
class ScreenCapture
{
public:
    // Stands for the pipe in the rewritten input until its descriptor number is known.
    static constexpr const char* kPipePlaceholder = "@screen";
    // Picture FFmpeg may hold between reading and encoding; the rest waits in the feed's queue.
    static constexpr double kReaderQueueSeconds = 0.5;

    ScreenCapture(std::string display, const FeedClock& clock) : display_(std::move(display)), clock_(clock)
    {
    }
    ~ScreenCapture();
    ScreenCapture(const ScreenCapture&) = delete;
    ScreenCapture& operator=(const ScreenCapture&) = delete;

    // Rewrites a screen input (gdigrab options for `area`, else the whole screen) at frame
    // `rate` into the fed stream and starts grabbing. False, with the reason on standard error,
    // when it cannot.
    bool take(FfmpegCommand::Input& input, bool area, const std::string& rate);
    bool taken() const { return feed_ != nullptr; }
    // Before take(): the layout to feed where the source has it (yuv420p otherwise).
    void preferLayout(FrameConverter::Layout layout) { preferred_ = layout; }
    FrameConverter::Layout layout() const { return layout_; }
    // Before take(): the frames are encoded in this process (feed()->next()), not sent on a pipe.
    void keepInProcess() { inProcess_ = true; }
    bool inProcess() const { return inProcess_; }
    ScreenFeed* feed() { return feed_.get(); }
    const ScreenGrabber::Area& area() const { return area_; }
    bool pointer() const { return pointer_; }
    int64_t intervalNs() const { return intervalNs_; }

    // The pipe's read end for FFmpeg (the caller closes it once FFmpeg has it), or -1.
    int start();
    // Ends the feed. Whether the grabs failed during the run, and why.
    void stop();
    bool failed() const { return feed_ && feed_->failed(); }
    std::string failure() const { return feed_ ? feed_->failure() : std::string(); }
    // The screen cast cannot be used: the run must not start (the reason is on standard error).
    bool unusable() const { return unusable_; }
    // The screen cast ended during the run.
    bool castEnded() const { return cast_ && cast_->ended(); }

private:
    bool fallBack(const std::string& why);
    bool refuse(const std::string& url, const std::string& why);
    bool takeCast(FfmpegCommand::Input& input, bool area, const std::string& rate);
    // The area a screen input asks for on a screen of `screen`; false with `why`.
    static bool wantedArea(const FfmpegCommand::Input& input, bool area, const ScreenGrabber::Area& screen,
                           ScreenGrabber::Area& wanted, std::string& why);
    // Rewrites `input` into the fed stream of `source` and starts feeding.
    bool feed(FfmpegCommand::Input& input, std::unique_ptr<ScreenSource> source, const std::string& rate);

    const std::string display_;
    const FeedClock& clock_;
    std::unique_ptr<ScreenFeed> feed_;
    ScreenGrabber::Area area_;
    bool pointer_ = false;
    FrameConverter::Layout preferred_ = FrameConverter::Layout::Yuv420p;
    FrameConverter::Layout layout_ = FrameConverter::Layout::Yuv420p;
    bool inProcess_ = false;
    int64_t intervalNs_ = 0;
    int readEnd_ = -1;
    PipeWireSource* cast_ = nullptr; // owned by the feed
    bool unusable_ = false;
};
