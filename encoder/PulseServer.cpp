#include "PulseServer.h"

#include <pulse/pulseaudio.h>

namespace {

struct Waiter
{
    pa_threaded_mainloop* loop;
    bool timedOut = false;
};

void signalLoop(pa_context*, void* userdata)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

void timeUp(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata)
{
    auto* waiter = static_cast<Waiter*>(userdata);
    waiter->timedOut = true;
    pa_threaded_mainloop_signal(waiter->loop, 0);
}

// A time event for the caller's wait; removed with the object.
class Deadline
{
public:
    Deadline(pa_threaded_mainloop* loop, pa_context* context, int timeoutMs) : waiter_{loop}
    {
        event_ = pa_context_rttime_new(context, pa_rtclock_now() + pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC,
                                       timeUp, &waiter_);
    }
    ~Deadline()
    {
        if (event_)
            pa_threaded_mainloop_get_api(waiter_.loop)->time_free(event_);
    }
    bool passed() const { return waiter_.timedOut; }

private:
    Waiter waiter_;
    pa_time_event* event_ = nullptr;
};

// Small blocks keep the delay from capture to the encoder short; the server's default is seconds.
constexpr pa_usec_t kFragmentUs = 10 * PA_USEC_PER_MSEC;

} // namespace

struct PulseServer::Recording
{
    pa_stream* stream = nullptr;
    Receiver receiver;

    static void readable(pa_stream* stream, size_t, void* userdata)
    {
        auto* self = static_cast<Recording*>(userdata);
        for (;;) {
            const void* data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
                return;
            pa_usec_t latency = 0;
            int negative = 0;
            int64_t age = -1;
            if (pa_stream_get_latency(stream, &latency, &negative) == 0)
                age = negative ? -int64_t(latency) : int64_t(latency);
            // A hole (data == nullptr) is silence the server skipped: passed on as such.
            self->receiver(data, bytes, age);
            pa_stream_drop(stream);
        }
    }
};

PulseServer::PulseServer()
{
    loop_ = pa_threaded_mainloop_new();
    if (loop_)
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "zrk_video_capture");
}

PulseServer::~PulseServer()
{
    disconnect();
    if (loop_)
        pa_threaded_mainloop_free(loop_);
}

void PulseServer::disconnect()
{
    if (!loop_ || !context_)
        return;
    stopRecording();
    pa_threaded_mainloop_lock(loop_);
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    connected_ = false;
}

void PulseServer::stopRecording()
{
    if (!loop_ || recordings_.empty())
        return;
    // Under the loop's lock no callback runs, and none is called for these streams afterwards.
    pa_threaded_mainloop_lock(loop_);
    for (auto& recording : recordings_) {
        pa_stream_set_read_callback(recording->stream, nullptr, nullptr);
        pa_stream_disconnect(recording->stream);
        pa_stream_unref(recording->stream);
    }
    recordings_.clear();
    pa_threaded_mainloop_unlock(loop_);
}

bool PulseServer::connect(int timeoutMs)
{
    if (!context_)
        return false;
    if (connected_)
        return true;
    pa_context_set_state_callback(context_, signalLoop, loop_);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    if (pa_threaded_mainloop_start(loop_) < 0)
        return false;
    pa_threaded_mainloop_lock(loop_);
    {
        Deadline deadline(loop_, context_, timeoutMs);
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) {
                connected_ = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || deadline.passed())
                break;
            pa_threaded_mainloop_wait(loop_);
        }
    }
    pa_threaded_mainloop_unlock(loop_);
    return connected_;
}

bool PulseServer::wait(pa_operation* operation, int timeoutMs)
{
    // Called with the loop locked.
    if (!operation)
        return false;
    Deadline deadline(loop_, context_, timeoutMs);
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING && !deadline.passed())
        pa_threaded_mainloop_wait(loop_);
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!done)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return done;
}

namespace {

constexpr int kQueryTimeoutMs = 2000;

struct SourceList
{
    pa_threaded_mainloop* loop;
    std::vector<PulseServer::Source> sources;
};

struct Names
{
    pa_threaded_mainloop* loop;
    std::string name;
};

} // namespace

std::vector<PulseServer::Source> PulseServer::sources()
{
    SourceList list{loop_, {}};
    if (!connected_)
        return list.sources;
    pa_threaded_mainloop_lock(loop_);
    auto got = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
        auto* found = static_cast<SourceList*>(userdata);
        if (eol == 0 && info)
            found->sources.push_back({info->name, info->monitor_of_sink != PA_INVALID_INDEX});
        if (eol != 0)
            pa_threaded_mainloop_signal(found->loop, 0);
    };
    if (!wait(pa_context_get_source_info_list(context_, got, &list), kQueryTimeoutMs))
        list.sources.clear();
    pa_threaded_mainloop_unlock(loop_);
    return list.sources;
}

std::string PulseServer::defaultSinkMonitor()
{
    if (!connected_)
        return {};
    pa_threaded_mainloop_lock(loop_);
    Names sink{loop_, {}};
    auto server = [](pa_context*, const pa_server_info* info, void* userdata) {
        auto* names = static_cast<Names*>(userdata);
        if (info && info->default_sink_name)
            names->name = info->default_sink_name;
        pa_threaded_mainloop_signal(names->loop, 0);
    };
    Names monitor{loop_, {}};
    if (wait(pa_context_get_server_info(context_, server, &sink), kQueryTimeoutMs) && !sink.name.empty()) {
        auto got = [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
            auto* names = static_cast<Names*>(userdata);
            if (eol == 0 && info && info->monitor_source_name)
                names->name = info->monitor_source_name;
            if (eol != 0)
                pa_threaded_mainloop_signal(names->loop, 0);
        };
        if (!wait(pa_context_get_sink_info_by_name(context_, sink.name.c_str(), got, &monitor),
                  kQueryTimeoutMs))
            monitor.name.clear();
    }
    pa_threaded_mainloop_unlock(loop_);
    return monitor.name;
}

bool PulseServer::record(const std::string& device, int rate, int channels, Receiver receiver)
{
    if (!connected_)
        return false;
    pa_sample_spec format{PA_SAMPLE_S16LE, uint32_t(rate), uint8_t(channels)};
    if (!pa_sample_spec_valid(&format))
        return false;
    pa_threaded_mainloop_lock(loop_);
    auto recording = std::make_unique<Recording>();
    recording->receiver = std::move(receiver);
    recording->stream = pa_stream_new(context_, "recording", &format, nullptr);
    bool ok = false;
    if (recording->stream) {
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(kFragmentUs, &format));
        pa_stream_set_read_callback(recording->stream, Recording::readable, recording.get());
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                             PA_STREAM_INTERPOLATE_TIMING);
        ok = pa_stream_connect_record(recording->stream, device.empty() ? nullptr : device.c_str(), &attr,
                                      flags) == 0;
        if (ok)
            recordings_.push_back(std::move(recording));
        else
            pa_stream_unref(recording->stream);
    }
    pa_threaded_mainloop_unlock(loop_);
    return ok;
}
