#include "PipeWireSource.h"

#include "FeedClock.h"
#include "PipeWireStream.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <pipewire/pipewire.h>
#include <spa/utils/result.h>
#include <unistd.h>

namespace {

// How long the remote may take to show its nodes and a stream to agree on a format.
constexpr int kConnectMs = 3000;
// A stream that has not sent its first picture by then leaves its part black.
constexpr int64_t kFirstPictureNs = 2'000'000'000;

const char* env(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

} // namespace

struct PipeWireSource::Events
{
    static void coreDone(void* data, uint32_t id, int seq)
    {
        static_cast<PipeWireSource*>(data)->coreDone(id, seq);
    }
    static void coreError(void* data, uint32_t id, int, int res, const char* message)
    {
        static_cast<PipeWireSource*>(data)->coreError(id, res, message);
    }
    static void global(void* data, uint32_t id, uint32_t, const char* type, uint32_t, const spa_dict*)
    {
        static_cast<PipeWireSource*>(data)->globalAdded(id, type);
    }
    static void globalRemove(void* data, uint32_t id)
    {
        static_cast<PipeWireSource*>(data)->globalRemoved(id);
    }

    static const pw_core_events* core()
    {
        static const pw_core_events events = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.done = coreDone;
            e.error = coreError;
            return e;
        }();
        return &events;
    }
    static const pw_registry_events* registry()
    {
        static const pw_registry_events events = [] {
            pw_registry_events e{};
            e.version = PW_VERSION_REGISTRY_EVENTS;
            e.global = global;
            e.global_remove = globalRemove;
            return e;
        }();
        return &events;
    }
};

bool PipeWireSource::given()
{
    return env("REELCAST_PIPEWIRE_FD") != nullptr;
}

bool PipeWireSource::fromEnvironment(Remote& remote, std::string& error)
{
    const char* fd = env("REELCAST_PIPEWIRE_FD");
    char* end = nullptr;
    const long number = fd ? std::strtol(fd, &end, 10) : -1;
    if (!fd || *end != '\0' || number < 0 || number > 65535) {
        error = std::string("REELCAST_PIPEWIRE_FD=") + (fd ? fd : "") + " is not a descriptor";
        return false;
    }
    if (fcntl(int(number), F_GETFD) < 0) {
        error = std::string("cannot use the PipeWire remote ") + fd + ": " + std::strerror(errno);
        return false;
    }
    remote.fd = int(number);
    const char* streams = env("REELCAST_PIPEWIRE_STREAMS");
    std::string why;
    if (!streams || !PipeWireLayout::parse(streams, remote.streams, why)) {
        error = "REELCAST_PIPEWIRE_STREAMS: " + (streams ? why : std::string("not set"));
        return false;
    }
    const char* cursor = env("REELCAST_PIPEWIRE_CURSOR");
    if (!cursor || std::strcmp(cursor, "metadata") == 0) {
        remote.cursor = Cursor::Metadata;
    } else if (std::strcmp(cursor, "embedded") == 0) {
        remote.cursor = Cursor::Embedded;
    } else if (std::strcmp(cursor, "hidden") == 0) {
        remote.cursor = Cursor::Hidden;
    } else {
        error = std::string("REELCAST_PIPEWIRE_CURSOR=") + cursor + " is not embedded, metadata or hidden";
        return false;
    }
    return true;
}

PipeWireSource::PipeWireSource()
    : coreListener_(std::make_unique<spa_hook>()), registryListener_(std::make_unique<spa_hook>())
{
    *coreListener_ = spa_hook{};
    *registryListener_ = spa_hook{};
}

PipeWireSource::~PipeWireSource()
{
    if (loop_) {
        pw_thread_loop_lock(loop_);
        streams_.clear();
        if (registry_)
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
        if (core_)
            pw_core_disconnect(core_);
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
        if (context_)
            pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }
}

bool PipeWireSource::fail(const std::string& why)
{
    std::lock_guard<std::mutex> hold(lock_);
    failure_ = why;
    return false;
}

std::string PipeWireSource::failure() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return failure_;
}

bool PipeWireSource::waitFor(int timeoutMs, const std::function<bool()>& done)
{
    const int64_t deadline = FeedClock::monotonicNs() + int64_t(timeoutMs) * 1'000'000;
    while (!done()) {
        if (FeedClock::monotonicNs() > deadline)
            return false;
        // The loop's thread runs the callbacks meanwhile.
        pw_thread_loop_unlock(loop_);
        const timespec pause{0, 2'000'000};
        nanosleep(&pause, nullptr);
        pw_thread_loop_lock(loop_);
    }
    return true;
}

void PipeWireSource::coreDone(uint32_t id, int seq)
{
    if (id == PW_ID_CORE && seq == syncSeq_)
        synced_ = true;
}

void PipeWireSource::coreError(uint32_t id, int res, const char* message)
{
    if (id == PW_ID_CORE) {
        coreFailure_ = std::string(message ? message : "error") + " (" + spa_strerror(res) + ")";
        remoteLost_ = true;
        for (auto& stream : streams_)
            stream->end("the PipeWire remote failed: " + coreFailure_);
    }
}

void PipeWireSource::globalAdded(uint32_t id, const char* type)
{
    if (type && std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0)
        nodes_.push_back(id);
}

void PipeWireSource::globalRemoved(uint32_t id)
{
    nodes_.erase(std::remove(nodes_.begin(), nodes_.end(), id), nodes_.end());
    for (auto& stream : streams_) {
        if (stream->node() == id)
            stream->end("node " + std::to_string(id) + " went away");
    }
}

bool PipeWireSource::open(const Remote& remote, int maxRate)
{
    remote_ = remote;
    startedNs_ = FeedClock::monotonicNs();
    pw_init(nullptr, nullptr);
    loop_ = pw_thread_loop_new("zrk-pipewire", nullptr);
    if (!loop_)
        return fail(std::string("cannot create the PipeWire loop: ") + std::strerror(errno));
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (!context_)
        return fail(std::string("cannot create a PipeWire context: ") + std::strerror(errno));
    if (pw_thread_loop_start(loop_) < 0)
        return fail("cannot start the PipeWire loop");
    pw_thread_loop_lock(loop_);
    // The connection owns a copy; the inherited descriptor is not handed on to FFmpeg.
    const int fd = fcntl(remote.fd, F_DUPFD_CLOEXEC, 3);
    fcntl(remote.fd, F_SETFD, fcntl(remote.fd, F_GETFD) | FD_CLOEXEC);
    core_ = fd >= 0 ? pw_context_connect_fd(context_, fd, nullptr, 0) : nullptr;
    if (!core_) {
        const int error = errno;
        pw_thread_loop_unlock(loop_);
        return fail("cannot connect to the PipeWire remote " + std::to_string(remote.fd) + ": " +
                    std::strerror(error));
    }
    pw_core_add_listener(core_, coreListener_.get(), Events::core(), this);
    registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(registry_, registryListener_.get(), Events::registry(), this);
    syncSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
    if (!waitFor(kConnectMs, [this] { return synced_ || !coreFailure_.empty(); }) || !coreFailure_.empty()) {
        const std::string why = coreFailure_.empty() ? "no answer" : coreFailure_;
        pw_thread_loop_unlock(loop_);
        return fail("the PipeWire remote " + std::to_string(remote.fd) + " cannot be used: " + why);
    }
    for (const PipeWireLayout::Stream& stream : remote.streams) {
        if (std::find(nodes_.begin(), nodes_.end(), stream.node) == nodes_.end()) {
            pw_thread_loop_unlock(loop_);
            return fail("no PipeWire node " + std::to_string(stream.node) + " on the remote");
        }
    }
    for (const PipeWireLayout::Stream& stream : remote.streams) {
        pictures_.push_back(std::make_unique<PipeWirePicture>());
        streams_.push_back(
            std::make_unique<PipeWireStream>(core_, stream.node, maxRate, *pictures_.back(), lock_));
        std::string error;
        if (!streams_.back()->connect(error)) {
            pw_thread_loop_unlock(loop_);
            return fail(error);
        }
    }
    // A node that offers nothing this reader takes fails here, before anything is recorded.
    const bool agreed = waitFor(kConnectMs, [this] {
        return std::all_of(streams_.begin(), streams_.end(),
                           [](const auto& s) { return s->state() != PipeWireStream::State::Connecting; });
    });
    std::string why;
    for (const auto& stream : streams_) {
        if (stream->state() == PipeWireStream::State::Ended)
            why = stream->why();
        else if (!agreed && stream->state() == PipeWireStream::State::Connecting)
            why = "node " + std::to_string(stream->node()) + " agreed on no format";
    }
    pw_thread_loop_unlock(loop_);
    if (!why.empty())
        return fail(why);
    openedNs_ = FeedClock::monotonicNs();
    return true;
}

bool PipeWireSource::frame(PipeWireLayout::Rect area, bool pointer)
{
    if (area.empty())
        area = PipeWireLayout::desktop(remote_.streams);
    // The encoder takes even sizes only: an odd column or row is left out.
    area.width &= ~1;
    area.height &= ~1;
    if (area.empty())
        return fail("an area of " + std::to_string(area.width) + "x" + std::to_string(area.height));
    std::vector<PipeWireLayout::Rect> logical;
    for (const PipeWireLayout::Stream& stream : remote_.streams)
        logical.push_back(stream.logical);
    composer_ = std::make_unique<PipeWireComposer>(logical, area, 1.0, area.width, area.height);
    pointer_ = pointer && remote_.cursor == Cursor::Metadata;
    return true;
}

bool PipeWireSource::ended() const
{
    if (remoteLost_)
        return true;
    return std::any_of(streams_.begin(), streams_.end(),
                       [](const auto& s) { return s->state() == PipeWireStream::State::Ended; });
}

bool PipeWireSource::ready()
{
    const bool all =
        std::all_of(streams_.begin(), streams_.end(), [](const auto& s) { return s->hasPicture(); });
    if (all && !timesTold_) {
        // How long the desktop takes to send is its own; what came before is ours. Told in the
        // encoder's log, where a slow start can be told apart.
        timesTold_ = true;
        int64_t firstNs = 0;
        for (const auto& stream : streams_)
            firstNs = std::max(firstNs, stream->firstPictureNs());
        std::cerr << "[pipewire @ remote] streaming " << (openedNs_ - startedNs_) / 1'000'000
                  << " ms after connecting, first picture "
                  << std::max<int64_t>(0, firstNs - openedNs_) / 1'000'000 << " ms later\n";
    }
    return all || ended() || FeedClock::monotonicNs() - openedNs_ > kFirstPictureNs;
}

ScreenSource::Grab PipeWireSource::grabInto(uint8_t* out)
{
    std::lock_guard<std::mutex> hold(lock_);
    uint64_t version = 0;
    std::vector<const PipeWirePicture*> pictures;
    for (const auto& picture : pictures_) {
        version += picture->version();
        pictures.push_back(picture.get());
    }
    if (sentOnce_ && version == sentVersion_)
        return Grab::Same;
    composer_->toYuv420p(pictures, pointer_, out, layout_);
    sentVersion_ = version;
    sentOnce_ = true;
    return Grab::Fresh;
}

bool PipeWireSource::snapshot(int timeoutMs, std::vector<uint8_t>& rgb, int& width, int& height)
{
    const int64_t deadline = FeedClock::monotonicNs() + int64_t(timeoutMs) * 1'000'000;
    while (!std::all_of(streams_.begin(), streams_.end(), [](const auto& s) { return s->hasPicture(); })) {
        if (ended())
            return fail("pipewire stream ended before its first picture");
        if (FeedClock::monotonicNs() > deadline)
            return fail("no picture within " + std::to_string(timeoutMs / 1000) + " s");
        const timespec pause{0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<const PipeWirePicture*> pictures;
    std::vector<PipeWireLayout::Rect> logical;
    double scale = 0;
    for (size_t i = 0; i < pictures_.size(); ++i) {
        pictures.push_back(pictures_[i].get());
        logical.push_back(remote_.streams[i].logical);
        scale = std::max(scale, double(pictures_[i]->width()) / remote_.streams[i].logical.width);
    }
    const PipeWireLayout::Rect desktop = PipeWireLayout::desktop(remote_.streams);
    width = int(std::lround(desktop.width * scale));
    height = int(std::lround(desktop.height * scale));
    PipeWireComposer composer(logical, desktop, scale, width, height);
    const std::vector<uint8_t>& bgrx = composer.toBgrx(pictures, false);
    rgb.resize(size_t(width) * height * 3);
    for (size_t i = 0, o = 0; i < bgrx.size(); i += 4, o += 3) {
        rgb[o] = bgrx[i + 2];
        rgb[o + 1] = bgrx[i + 1];
        rgb[o + 2] = bgrx[i];
    }
    return true;
}
