#pragma once

#include "V4l2Devices.h"

#include <string>
#include <vector>

// Texts in the shape of FFmpeg's DirectShow listings (standard error of "-list_devices true" and
// "-list_options true"), so that callers parse the same output on every system.
class DshowListing
{
public:
    struct Device
    {
        std::string name;
        std::string alternative; // where the device really comes from
        bool audio = false;
    };

    static std::string devices(const std::vector<Device>& devices);
    static std::string options(const std::string& camera, const std::vector<V4l2Devices::Mode>& modes);
    static std::string cameraNotFound(const std::string& camera);
};
