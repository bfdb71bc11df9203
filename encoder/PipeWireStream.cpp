#include "PipeWireStream.h"

#include "FeedClock.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

namespace {

// Room for the pointer's image in the cursor metadata. Mutter sends 384x384 whatever the
// pointer's size and gives no metadata at all to a consumer whose range leaves that out.
constexpr size_t cursorMetaSize(int width, int height)
{
    return sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + size_t(width) * height * 4;
}

bool pictureFormat(uint32_t format, PipeWirePicture::Format& out)
{
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
        out = PipeWirePicture::Format::BGRx;
        return true;
    case SPA_VIDEO_FORMAT_RGBx:
        out = PipeWirePicture::Format::RGBx;
        return true;
    case SPA_VIDEO_FORMAT_BGRA:
        out = PipeWirePicture::Format::BGRA;
        return true;
    case SPA_VIDEO_FORMAT_RGBA:
        out = PipeWirePicture::Format::RGBA;
        return true;
    default:
        return false;
    }
}

} // namespace

struct PipeWireStream::Events
{
    static void stateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
    {
        static_cast<PipeWireStream*>(data)->stateChanged(
            state == PW_STREAM_STATE_STREAMING || state == PW_STREAM_STATE_PAUSED,
            state == PW_STREAM_STATE_ERROR, state == PW_STREAM_STATE_UNCONNECTED, error);
    }
    static void paramChanged(void* data, uint32_t id, const spa_pod* param)
    {
        if (id == SPA_PARAM_Format)
            static_cast<PipeWireStream*>(data)->formatChanged(param);
    }
    static void process(void* data) { static_cast<PipeWireStream*>(data)->process(); }
    static void removeBuffer(void* data, pw_buffer* buffer)
    {
        static_cast<PipeWireStream*>(data)->bufferRemoved(buffer);
    }

    static const pw_stream_events* table()
    {
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = stateChanged;
            e.param_changed = paramChanged;
            e.process = process;
            e.remove_buffer = removeBuffer;
            return e;
        }();
        return &events;
    }
};

PipeWireStream::PipeWireStream(pw_core* core, uint32_t node, int maxRate, PipeWirePicture& picture,
                               std::mutex& lock)
    : core_(core), node_(node), maxRate_(maxRate), picture_(picture), lock_(lock),
      listener_(std::make_unique<spa_hook>())
{
}

PipeWireStream::~PipeWireStream()
{
    if (stream_) {
        if (held_)
            bufferRemoved(held_);
        pw_stream_destroy(stream_);
    }
}

void PipeWireStream::bufferRemoved(pw_buffer* buffer)
{
    if (buffer != held_)
        return;
    // The stream takes its memory back (a new format, the end): the picture stays as a copy.
    std::lock_guard<std::mutex> hold(lock_);
    picture_.detach();
    held_ = nullptr;
}

bool PipeWireStream::connect(std::string& error)
{
    // The node is the screen-cast's own: no other is linked in its place when it goes.
    stream_ = pw_stream_new(core_, "zrk_video_capture",
                            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                              PW_KEY_MEDIA_ROLE, "Screen", PW_KEY_NODE_DONT_RECONNECT, "true",
                                              nullptr));
    if (!stream_) {
        error = "cannot create a stream";
        return false;
    }
    *listener_ = spa_hook{};
    pw_stream_add_listener(stream_, listener_.get(), Events::table(), this);

    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_rectangle size = SPA_RECTANGLE(1920, 1080);
    const spa_rectangle minSize = SPA_RECTANGLE(1, 1);
    const spa_rectangle maxSize = SPA_RECTANGLE(16384, 16384);
    const spa_fraction anyRate = SPA_FRACTION(0, 1);
    const spa_fraction topRate = SPA_FRACTION(1000, 1);
    const spa_fraction wantedRate = SPA_FRACTION(uint32_t(maxRate_), 1);
    const spa_fraction minRate = SPA_FRACTION(1, 1);
    // No modifier property: memory the CPU can read, not DMA-BUF. A range of rates, as compositors
    // send on damage (0/1) and other producers at a fixed rate.
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&anyRate, &anyRate, &topRate),
        SPA_FORMAT_VIDEO_maxFramerate, SPA_POD_CHOICE_RANGE_Fraction(&wantedRate, &minRate, &topRate)));
    const int result =
        pw_stream_connect(stream_, PW_DIRECTION_INPUT, node_,
                          pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                          PW_STREAM_FLAG_DONT_RECONNECT),
                          params, 1);
    if (result < 0) {
        error = std::string("cannot connect to node ") + std::to_string(node_) + ": " + spa_strerror(result);
        return false;
    }
    return true;
}

void PipeWireStream::end(const std::string& why)
{
    if (state_ == State::Ended)
        return;
    {
        std::lock_guard<std::mutex> hold(whyLock_);
        why_ = why;
    }
    state_ = State::Ended;
}

std::string PipeWireStream::why() const
{
    std::lock_guard<std::mutex> hold(whyLock_);
    return why_;
}

void PipeWireStream::stateChanged(bool streaming, bool error, bool unconnected, const char* message)
{
    if (streaming) {
        connected_ = true;
        if (state_ == State::Connecting)
            state_ = State::Ready;
    } else if (error) {
        end(std::string("stream of node ") + std::to_string(node_) + " failed" +
            (message ? std::string(": ") + message : std::string()));
    } else if (unconnected && connected_) {
        end("node " + std::to_string(node_) + " disconnected");
    }
}

void PipeWireStream::formatChanged(const spa_pod* param)
{
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    spa_video_info_raw info{};
    if (!param || spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw ||
        spa_format_video_raw_parse(param, &info) < 0)
        return;
    format_ = info.format;
    width_ = int(info.size.width);
    height_ = int(info.size.height);

    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* params[4];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_VideoCrop), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region))));
    params[3] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(int(cursorMetaSize(384, 384)), int(cursorMetaSize(1, 1)),
                                 int(cursorMetaSize(1024, 1024)))));
    pw_stream_update_params(stream_, params, 4);
}

void PipeWireStream::process()
{
    // Only the newest buffer counts; older ones that queued up go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(stream_)) {
        if (newest)
            pw_stream_queue_buffer(stream_, newest);
        newest = next;
    }
    if (!newest)
        return;
    spa_buffer* buffer = newest->buffer;
    PipeWirePicture::Format format{};
    if (buffer->n_datas > 0 && pictureFormat(format_, format)) {
        const spa_data& data = buffer->datas[0];
        const auto* header = static_cast<const spa_meta_header*>(
            spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
        const auto* crop = static_cast<const spa_meta_region*>(
            spa_buffer_find_meta_data(buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
        const auto* cursor = static_cast<const spa_meta_cursor*>(
            spa_buffer_find_meta_data(buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));

        PipeWirePicture::Buffer in;
        in.data = static_cast<const uint8_t*>(data.data);
        in.size = data.chunk->size;
        in.offset = data.chunk->offset;
        in.stride = data.chunk->stride;
        in.format = format;
        in.width = width_;
        in.height = height_;
        in.corrupted = (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) ||
                       (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED));
        // The mapped memory must hold what the chunk claims.
        if (in.data && size_t(in.offset) + in.size > data.maxsize)
            in.data = nullptr;
        if (crop && spa_meta_region_is_valid(crop))
            in.crop = {crop->region.position.x, crop->region.position.y, int(crop->region.size.width),
                       int(crop->region.size.height)};

        std::lock_guard<std::mutex> hold(lock_);
        if (picture_.show(in)) {
            if (pictures_++ == 0)
                firstPictureNs_ = FeedClock::monotonicNs();
            std::swap(held_, newest); // the buffer shown stays; the one shown before goes back
        }
        if (cursor) {
            const bool valid = spa_meta_cursor_is_valid(cursor);
            // Positions are on the whole buffer; the picture starts at the crop.
            const int x = cursor->position.x - (in.crop.empty() ? 0 : in.crop.x);
            const int y = cursor->position.y - (in.crop.empty() ? 0 : in.crop.y);
            picture_.movePointer(valid, x, y, cursor->hotspot.x, cursor->hotspot.y);
            if (valid && cursor->bitmap_offset >= sizeof(spa_meta_cursor)) {
                const auto* bitmap = SPA_PTROFF(cursor, cursor->bitmap_offset, const spa_meta_bitmap);
                PipeWirePicture::Format bitmapFormat{};
                if (bitmap->format != 0 && pictureFormat(bitmap->format, bitmapFormat)) {
                    const bool image = bitmap->offset >= sizeof(spa_meta_bitmap);
                    picture_.setPointerImage(
                        image ? SPA_PTROFF(bitmap, bitmap->offset, const uint8_t) : nullptr, bitmapFormat,
                        int(bitmap->size.width), int(bitmap->size.height), bitmap->stride);
                }
            }
        }
    }
    if (newest)
        pw_stream_queue_buffer(stream_, newest);
}
