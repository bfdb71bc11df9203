#pragma once

#include <string>
#include <vector>

// The machine's V4L2 video capture devices, named as the kernel names them in sysfs.
class V4l2Devices
{
public:
    struct Camera
    {
        std::string name;
        std::string path; // /dev/videoN
    };

    struct Mode
    {
        std::string format; // FFmpeg's name of the pixel format or codec
        bool compressed = false;
        unsigned width = 0;
        unsigned height = 0;
        double minFps = 0;
        double maxFps = 0;
    };

    // Capture-capable nodes in /dev order (video0, video1, ..., video10).
    static std::vector<Camera> cameras();
    // Every frame size of every format the device offers, in the driver's order.
    static std::vector<Mode> modes(const std::string& path);
};
