#pragma once

// The one list of cameras on Linux. Qt-free: the program's device discovery and the encoder
// adapter both compile this file, so the camera menu offers exactly the names the adapter can
// turn back into a device.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class V4l2CameraList
{
public:
    struct Camera
    {
        std::string name; // unique within one list
        std::string path; // /dev/videoN; empty for the simulated camera
    };

    // The test-picture camera offered with REELCAST_DEVICES=simulated.
    static constexpr const char* kTestCamera = "Test Camera";

    // The effective capabilities of a node (device_caps where the driver reports them);
    // nullopt when the node cannot be opened or queried.
    using CapabilityQuery = std::function<std::optional<std::uint32_t>(const std::string& devicePath)>;

    // Where the list is read from; the defaults are the machine itself.
    struct Source
    {
        std::string sysfs = "/sys/class/video4linux";
        std::string dev = "/dev";
        CapabilityQuery capabilities = &V4l2CameraList::queryCapabilities;
        bool simulated = V4l2CameraList::simulatedByEnvironment();
    };

    // Nodes that capture single-planar video, in node-number order (video9 before video10),
    // named as sysfs names them. FFmpeg's v4l2 input reads no other kind, and metadata nodes
    // share their camera's name. A name seen before gets " #2", " #3", ... so that each entry
    // maps to one node. With `simulated`, the test camera comes first.
    static std::vector<Camera> cameras(const Source& source);
    static std::vector<Camera> cameras();

    static std::optional<std::uint32_t> queryCapabilities(const std::string& devicePath);
    static bool simulatedByEnvironment();
};
