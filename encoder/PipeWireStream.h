#pragma once

#include "PipeWirePicture.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct pw_buffer;
struct pw_core;
struct pw_stream;
struct spa_hook;
struct spa_pod;

// One screen-cast node read through libpipewire: SHM buffers only (memfd or mapped memory, no
// DMA-BUF), 32-bit RGB formats, any frame rate up to what the run needs. Each buffer with picture
// data becomes `picture` (changed under `lock`) and is kept from the stream until the next one
// comes, so frames are read from it without a copy; header, crop and cursor metadata are
// honoured. Runs on the PipeWire loop's thread: every call but the atomic state queries is made
// with that loop locked.
class PipeWireStream
{
public:
    enum class State
    {
        Connecting,
        Ready, // a format is agreed
        Ended,
    };

    PipeWireStream(pw_core* core, uint32_t node, int maxRate, PipeWirePicture& picture, std::mutex& lock);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    bool connect(std::string& error);
    // The node went away or the stream broke; why.
    void end(const std::string& why);
    State state() const { return state_; }
    std::string why() const;
    bool hasPicture() const { return pictures_ > 0; }
    int64_t pictures() const { return pictures_; }
    // On the monotonic clock; 0 before the first picture.
    int64_t firstPictureNs() const { return firstPictureNs_; }
    uint32_t node() const { return node_; }

private:
    struct Events; // the loop's callbacks
    friend struct Events;

    void stateChanged(bool streaming, bool error, bool unconnected, const char* message);
    void bufferRemoved(pw_buffer* buffer);
    void process();
    void formatChanged(const spa_pod* param);

    pw_core* const core_;
    const uint32_t node_;
    const int maxRate_;
    PipeWirePicture& picture_;
    std::mutex& lock_;
    pw_stream* stream_ = nullptr;
    pw_buffer* held_ = nullptr; // the one `picture_` shows
    std::unique_ptr<spa_hook> listener_;
    uint32_t format_ = 0; // spa_video_format
    int width_ = 0;
    int height_ = 0;
    bool connected_ = false;
    std::atomic<State> state_{State::Connecting};
    std::atomic<int64_t> pictures_{0};
    std::atomic<int64_t> firstPictureNs_{0};
    mutable std::mutex whyLock_;
    std::string why_;
};
