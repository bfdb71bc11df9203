#include "V4l2Devices.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int xioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

class Device
{
public:
    explicit Device(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~Device()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

std::string formatName(unsigned fourcc, bool* compressed)
{
    struct Known
    {
        unsigned fourcc;
        const char* name;
        bool compressed;
    };
    static const Known known[] = {
        {V4L2_PIX_FMT_YUYV, "yuyv422", false}, {V4L2_PIX_FMT_UYVY, "uyvy422", false},
        {V4L2_PIX_FMT_NV12, "nv12", false},    {V4L2_PIX_FMT_YUV420, "yuv420p", false},
        {V4L2_PIX_FMT_RGB24, "rgb24", false},  {V4L2_PIX_FMT_BGR24, "bgr24", false},
        {V4L2_PIX_FMT_GREY, "gray", false},    {V4L2_PIX_FMT_MJPEG, "mjpeg", true},
        {V4L2_PIX_FMT_JPEG, "mjpeg", true},    {V4L2_PIX_FMT_H264, "h264", true},
    };
    for (const Known& k : known) {
        if (k.fourcc == fourcc) {
            *compressed = k.compressed;
            return k.name;
        }
    }
    *compressed = false;
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((fourcc >> shift) & 0xff);
        if (c != ' ')
            text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

void frameRates(int fd, unsigned fourcc, unsigned width, unsigned height, double* minFps, double* maxFps)
{
    *minFps = *maxFps = 0;
    v4l2_frmivalenum ival{};
    ival.pixel_format = fourcc;
    ival.width = width;
    ival.height = height;
    for (ival.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &ival) == 0; ++ival.index) {
        // Frame rates are intervals: the shortest interval is the highest rate.
        const v4l2_fract shortest =
            ival.type == V4L2_FRMIVAL_TYPE_DISCRETE ? ival.discrete : ival.stepwise.min;
        const v4l2_fract longest =
            ival.type == V4L2_FRMIVAL_TYPE_DISCRETE ? ival.discrete : ival.stepwise.max;
        if (shortest.numerator && longest.numerator) {
            const double high = static_cast<double>(shortest.denominator) / shortest.numerator;
            const double low = static_cast<double>(longest.denominator) / longest.numerator;
            *maxFps = std::max(*maxFps, high);
            *minFps = *minFps == 0 ? low : std::min(*minFps, low);
        }
        if (ival.type != V4L2_FRMIVAL_TYPE_DISCRETE)
            break;
    }
}

} // namespace

std::vector<V4l2Devices::Camera> V4l2Devices::cameras()
{
    return V4l2CameraList::cameras();
}

std::vector<V4l2Devices::Mode> V4l2Devices::modes(const std::string& path)
{
    std::vector<Mode> modes;
    Device device(path);
    if (device.fd() < 0)
        return modes;
    v4l2_fmtdesc desc{};
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (desc.index = 0; xioctl(device.fd(), VIDIOC_ENUM_FMT, &desc) == 0; ++desc.index) {
        Mode mode;
        mode.format = formatName(desc.pixelformat, &mode.compressed);
        v4l2_frmsizeenum size{};
        size.pixel_format = desc.pixelformat;
        for (size.index = 0; xioctl(device.fd(), VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                mode.width = size.discrete.width;
                mode.height = size.discrete.height;
                frameRates(device.fd(), desc.pixelformat, mode.width, mode.height, &mode.minFps,
                           &mode.maxFps);
                modes.push_back(mode);
                continue;
            }
            // Stepwise or continuous: the smallest and the largest size stand for the range.
            for (const auto& wh : {std::make_pair(size.stepwise.min_width, size.stepwise.min_height),
                                   std::make_pair(size.stepwise.max_width, size.stepwise.max_height)}) {
                mode.width = wh.first;
                mode.height = wh.second;
                frameRates(device.fd(), desc.pixelformat, mode.width, mode.height, &mode.minFps,
                           &mode.maxFps);
                modes.push_back(mode);
            }
            break;
        }
    }
    return modes;
}
