#pragma once

// The screen from a desktop's screen cast (Wayland), read through PipeWire.
//
// How the program hands an encoder run a screen cast (one portal session serves many runs):
//
//   REELCAST_PIPEWIRE_FD=<n>
//       an inherited descriptor of a PipeWire remote, from the ScreenCast portal's
//       OpenPipeWireRemote; a fresh one for every run.
//   REELCAST_PIPEWIRE_STREAMS=<node>@<x>,<y>,<w>x<h>[;<node>@<x>,<y>,<w>x<h>...]
//       every stream's node id with its position and size in the desktop's logical coordinates
//       (the stream's "position" and "size" in the portal's answer).
//   REELCAST_PIPEWIRE_CURSOR=embedded|metadata|hidden
//       the cursor mode the session was opened with; metadata when not set.
//
// With these set, the screen inputs of the command line come from the streams and never from X:
//   -f gdigrab -offset_x X -offset_y Y -video_size WxH -draw_mouse D -i desktop
//       the rectangle in logical coordinates, from the stream (or streams) under it, each scaled
//       from its pixels to logical units (its pixel size against its logical size);
//   -f dshow -i video="screen-capture-recorder"
//       the whole desktop: every stream side by side at its logical position.
// The frame has the size the X grab gives for the same command (odd widths and heights lose
// their last column or row). -draw_mouse 1 draws the pointer from the cursor metadata (mode
// metadata) or keeps the one the desktop drew in (embedded); 0 draws none (an embedded pointer
// stays in the picture: a session for recordings without it is opened hidden or metadata).
// Frames arrive when the screen changes; the adapter's own clock sends one per interval and
// repeats the last picture in between, with the sound on the same clock.
// A stream that ends (the desktop closed the session, the node went away, the remote failed)
// makes FFmpeg finish its file as on "q"; the adapter then says "pipewire stream ended" on
// standard error and exits with status 3. A remote that cannot be used at all at the start (a
// bad descriptor, no such node) is reported on standard error before FFmpeg starts, with a
// nonzero status.
//
//   zrk_video_capture.exe --snapshot FILE
//       with the same environment: the first complete picture of the whole desktop (all streams
//       as for screen-capture-recorder, at the largest stream's pixels per logical unit; with one
//       stream exactly its pixels), written to FILE as binary PPM (P6); status 0, or nonzero with
//       a message on standard error when no picture comes within 5 s.

#include "PipeWireComposer.h"
#include "PipeWireLayout.h"
#include "PipeWirePicture.h"
#include "ScreenSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class PipeWireStream;
struct pw_context;
struct pw_core;
struct pw_registry;
struct pw_thread_loop;
struct spa_hook;

class PipeWireSource : public ScreenSource
{
public:
    enum class Cursor
    {
        Embedded,
        Metadata,
        Hidden
    };
    // What the environment says about the screen cast.
    struct Remote
    {
        int fd = -1;
        std::vector<PipeWireLayout::Stream> streams;
        Cursor cursor = Cursor::Metadata;
    };

    // Whether a screen cast is given at all.
    static bool given();
    // The screen cast of the environment; false with `error` when it is unusable.
    static bool fromEnvironment(Remote& remote, std::string& error);

    PipeWireSource();
    ~PipeWireSource() override;
    PipeWireSource(const PipeWireSource&) = delete;
    PipeWireSource& operator=(const PipeWireSource&) = delete;

    // Connects to the remote and starts reading every stream, at most `maxRate` frames a second.
    // False with failure() when the remote or a node cannot be used.
    bool open(const Remote& remote, int maxRate);
    // Frames of `area` (logical; empty for the whole desktop), `area`'s size with an even width and
    // height; the pointer drawn in where the cursor comes as metadata.
    bool frame(PipeWireLayout::Rect area, bool pointer);
    // The desktop's first complete picture as RGB rows, waiting up to `timeoutMs`.
    bool snapshot(int timeoutMs, std::vector<uint8_t>& rgb, int& width, int& height);
    // The streams have ended (the run is to end), and why.
    bool ended() const;

    int width() const override { return composer_ ? composer_->width() : 0; }
    int height() const override { return composer_ ? composer_->height() : 0; }
    bool ready() override;
    bool useLayout(FrameConverter::Layout layout) override
    {
        layout_ = layout;
        return true;
    }
    Grab grabInto(uint8_t* out) override;
    std::string failure() const override;

private:
    struct Events;
    friend struct Events;

    bool fail(const std::string& why);
    // Runs the loop until `done` or the timeout; with the loop locked.
    bool waitFor(int timeoutMs, const std::function<bool()>& done);
    void globalAdded(uint32_t id, const char* type);
    void globalRemoved(uint32_t id);
    void coreDone(uint32_t id, int seq);
    void coreError(uint32_t id, int res, const char* message);

    Remote remote_;
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_registry* registry_ = nullptr;
    std::unique_ptr<spa_hook> coreListener_;
    std::unique_ptr<spa_hook> registryListener_;
    std::vector<uint32_t> nodes_; // node ids the remote shows
    int syncSeq_ = -1;
    bool synced_ = false;
    std::string coreFailure_;
    std::vector<std::unique_ptr<PipeWirePicture>> pictures_;
    std::vector<std::unique_ptr<PipeWireStream>> streams_;
    mutable std::mutex lock_; // the pictures, the failure text
    std::unique_ptr<PipeWireComposer> composer_;
    FrameConverter::Layout layout_ = FrameConverter::Layout::Yuv420p;
    bool pointer_ = false;
    uint64_t sentVersion_ = 0;
    bool sentOnce_ = false;
    int64_t startedNs_ = 0; // open() called
    int64_t openedNs_ = 0;  // every stream streaming
    bool timesTold_ = false;
    std::atomic<bool> remoteLost_{false};
    std::string failure_;
};
