#pragma once

#include "V4l2CameraList.h"

#include <string>
#include <vector>

// The machine's V4L2 video capture devices, named as the kernel names them in sysfs.
class V4l2Devices
{
public:
    // The program's own camera list: the same names in the same order.
    using Camera = V4l2CameraList::Camera;
    static constexpr const char* kTestCamera = V4l2CameraList::kTestCamera;

    struct Mode
    {
        std::string format; // FFmpeg's name of the pixel format or codec
        bool compressed = false;
        unsigned width = 0;
        unsigned height = 0;
        double minFps = 0;
        double maxFps = 0;
    };

    // The cameras FFmpeg's v4l2 input can read, the simulated one (empty path) first when
    // REELCAST_DEVICES=simulated.
    static std::vector<Camera> cameras();
    // Every frame size of every format the device offers, in the driver's order.
    static std::vector<Mode> modes(const std::string& path);
};
