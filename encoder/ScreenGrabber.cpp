#include "ScreenGrabber.h"

#include "FrameConverter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

ScreenGrabber::~ScreenGrabber()
{
    release();
    if (connection_)
        xcb_disconnect(connection_);
}

bool ScreenGrabber::fail(const std::string& why)
{
    failure_ = why;
    return false;
}

bool ScreenGrabber::open(const std::string& display)
{
    if (display.empty())
        return fail("no X display");
    int screenNumber = 0;
    connection_ = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection_))
        return fail("cannot connect to the X display " + display);
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return fail("the X display " + display + " has no such screen");
    const xcb_screen_t* screen = screens.data;
    root_ = screen->root;
    screenWidth_ = screen->width_in_pixels;
    screenHeight_ = screen->height_in_pixels;

    if (screen->root_depth != 24 && screen->root_depth != 32)
        return fail("the screen's depth is " + std::to_string(screen->root_depth) + ", not 24 or 32");
    int bitsPerPixel = 0;
    for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == screen->root_depth)
            bitsPerPixel = f.data->bits_per_pixel;
    }
    if (bitsPerPixel != 32 || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return fail("the screen's pixels are not 32-bit BGRX");

    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection_, &xcb_shm_id);
    if (!shm || !shm->present)
        return fail("the X server offers no shared memory (MIT-SHM)");
    xcb_shm_query_version_reply_t* version =
        xcb_shm_query_version_reply(connection_, xcb_shm_query_version(connection_), nullptr);
    if (!version)
        return fail("the X server offers no shared memory (MIT-SHM)");
    free(version);

    // Without XFixes the picture is grabbed without the pointer, as x11grab would.
    const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(connection_, &xcb_xfixes_id);
    if (fixes && fixes->present) {
        xcb_xfixes_query_version_reply_t* reply = xcb_xfixes_query_version_reply(
            connection_,
            xcb_xfixes_query_version(connection_, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr);
        xfixes_ = reply != nullptr;
        free(reply);
    }
    return true;
}

void ScreenGrabber::release()
{
    if (segment_ && connection_) {
        xcb_shm_detach(connection_, segment_);
        xcb_flush(connection_);
    }
    segment_ = 0;
    if (shared_)
        shmdt(shared_);
    if (frame_ != shared_)
        std::free(frame_);
    shared_ = nullptr;
    frame_ = nullptr;
}

bool ScreenGrabber::prepare(const Area& area, bool pointer)
{
    release();
    if (!connection_)
        return fail("no X display");
    if (area.width <= 0 || area.height <= 0)
        return fail("an empty area");
    area_ = area;
    pointer_ = pointer && xfixes_;
    const int left = std::max(area.x, 0);
    const int top = std::max(area.y, 0);
    const int right = std::min(area.x + area.width, screenWidth_);
    const int bottom = std::min(area.y + area.height, screenHeight_);
    visible_ = {left, top, std::max(0, right - left), std::max(0, bottom - top)};

    const size_t frameBytes = size_t(area.width) * area.height * 4;
    const bool whole = visible_.width == area.width && visible_.height == area.height;
    const size_t sharedBytes = std::max<size_t>(size_t(visible_.width) * visible_.height * 4, 4);
    shmId_ = shmget(IPC_PRIVATE, sharedBytes, IPC_CREAT | 0600);
    if (shmId_ < 0)
        return fail(std::string("cannot create shared memory: ") + std::strerror(errno));
    void* address = shmat(shmId_, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(shmId_, IPC_RMID, nullptr);
        return fail(std::string("cannot map shared memory: ") + std::strerror(errno));
    }
    shared_ = static_cast<uint8_t*>(address);
    segment_ = xcb_generate_id(connection_);
    xcb_generic_error_t* error =
        xcb_request_check(connection_, xcb_shm_attach_checked(connection_, segment_, shmId_, false));
    // Marked for removal at once: it goes when the last of the server and this process lets go.
    shmctl(shmId_, IPC_RMID, nullptr);
    if (error) {
        free(error);
        segment_ = 0;
        return fail("the X server cannot attach shared memory (not on this machine?)");
    }
    if (whole) {
        frame_ = shared_;
    } else {
        frame_ = static_cast<uint8_t*>(std::calloc(frameBytes, 1));
        if (!frame_)
            return fail("out of memory");
    }
    // One grab now, so that a server that accepts the segment but cannot fill it is found here.
    return grab() != nullptr;
}

const uint8_t* ScreenGrabber::grab()
{
    if (!segment_)
        return nullptr;
    // Both requests go out before either answer is awaited: one round trip.
    xcb_shm_get_image_cookie_t image{};
    if (visible_.width > 0 && visible_.height > 0)
        image = xcb_shm_get_image(connection_, root_, int16_t(visible_.x), int16_t(visible_.y),
                                  uint16_t(visible_.width), uint16_t(visible_.height), ~0u,
                                  XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0);
    xcb_xfixes_get_cursor_image_cookie_t cursor{};
    if (pointer_)
        cursor = xcb_xfixes_get_cursor_image(connection_);
    if (visible_.width > 0 && visible_.height > 0) {
        xcb_generic_error_t* error = nullptr;
        xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(connection_, image, &error);
        free(reply);
        if (!reply) {
            free(error);
            if (pointer_)
                xcb_discard_reply(connection_, cursor.sequence);
            fail(xcb_connection_has_error(connection_) ? "the X connection was lost"
                                                       : "the X server refused a grab");
            return nullptr;
        }
        if (frame_ != shared_) {
            const size_t row = size_t(visible_.width) * 4;
            for (int y = 0; y < visible_.height; ++y)
                std::memcpy(frame_ +
                                (size_t(visible_.y - area_.y + y) * area_.width + (visible_.x - area_.x)) * 4,
                            shared_ + y * row, row);
        }
    }
    if (pointer_) {
        xcb_xfixes_get_cursor_image_reply_t* reply =
            xcb_xfixes_get_cursor_image_reply(connection_, cursor, nullptr);
        if (reply) {
            const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply);
            const int originX = reply->x - reply->xhot - area_.x;
            const int originY = reply->y - reply->yhot - area_.y;
            const int x0 = std::max(0, -originX);
            const int y0 = std::max(0, -originY);
            const int x1 = std::min<int>(reply->width, area_.width - originX);
            const int y1 = std::min<int>(reply->height, area_.height - originY);
            for (int y = y0; y < y1; ++y) {
                uint8_t* out = frame_ + (size_t(originY + y) * area_.width + originX + x0) * 4;
                const uint32_t* in = pixels + size_t(y) * reply->width + x0;
                for (int x = x0; x < x1; ++x, out += 4, ++in) {
                    // Premultiplied ARGB over the picture.
                    const uint32_t argb = *in;
                    const uint32_t alpha = argb >> 24;
                    if (alpha == 0)
                        continue;
                    const uint32_t keep = 255 - alpha;
                    for (int c = 0; c < 3; ++c) {
                        const uint32_t src = (argb >> (8 * c)) & 0xFF;
                        out[c] = uint8_t(std::min<uint32_t>(255, src + (out[c] * keep + 127) / 255));
                    }
                }
            }
            free(reply);
        }
    }
    return frame_;
}

ScreenSource::Grab ScreenGrabber::grabInto(uint8_t* out)
{
    const uint8_t* pixels = grab();
    if (!pixels)
        return Grab::Failed;
    FrameConverter::convert(pixels, stride(), area_.width, area_.height, layout_, out);
    return Grab::Fresh;
}
