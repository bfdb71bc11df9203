#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

// One connection to the sound server through libpulse, which finds the server the way every
// client does (PULSE_SERVER, client.conf, the runtime folders and their /tmp links, the system
// socket, PipeWire's pulse server). Nothing is spawned. All calls come from one thread; record
// callbacks run on libpulse's own thread.
class PulseServer
{
public:
    struct Source
    {
        std::string name;
        bool monitor = false;
    };

    // Called with each block of recorded sound and how long ago its first sample was captured.
    using Receiver = std::function<void(const void* data, size_t bytes, int64_t ageUs)>;

    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Connects to the default server; false when none answers within the time-out.
    bool connect(int timeoutMs);
    bool connected() const { return connected_; }
    // Empty when the server does not answer in time.
    std::vector<Source> sources();
    // The monitor source of the default sink; empty when there is none.
    std::string defaultSinkMonitor();

    // Starts recording `device` (empty: the default source) as interleaved signed 16-bit
    // little-endian samples, delivered in small blocks. Recording goes on until stopRecording() or
    // destruction; a stream the server refuses or drops simply delivers nothing more.
    bool record(const std::string& device, int rate, int channels, Receiver receiver);
    // Ends every recording; no receiver is called once this returns, so what they feed may go.
    void stopRecording();

private:
    struct Recording;

    bool wait(pa_operation* operation, int timeoutMs);
    void disconnect();

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool connected_ = false;
    std::vector<std::unique_ptr<Recording>> recordings_;
};
