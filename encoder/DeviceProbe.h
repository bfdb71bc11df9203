#pragma once

#include "V4l2Devices.h"

#include <optional>
#include <string>
#include <vector>

// What the machine offers for recording. Each question is asked of the system at most once and
// only when needed, so that a recording start is not slowed by queries it does not use.
class DeviceProbe
{
public:
    struct PulseSource
    {
        std::string name;
        bool monitor = false;
    };

    static constexpr const char* kTestCamera = V4l2Devices::kTestCamera;

    // REELCAST_DEVICES=simulated: a test-picture camera and a tone as the system sound.
    bool simulated() const;
    // Whether `name` is the simulated camera, which exists only when simulated.
    bool isTestCamera(const std::string& name) const;
    std::string display() const;
    bool displayReachable() const;
    // A sound server socket accepts connections (nothing is spawned to find out).
    bool pulseReachable();
    // The server's sources as pactl lists them; nullopt when pactl could not tell.
    const std::optional<std::vector<PulseSource>>& pulseSources();
    // Whether the default sink has a monitor source (the system sound).
    bool defaultMonitorExists();
    const std::vector<V4l2Devices::Camera>& cameras();
    // The first camera of that name; nullptr when there is none.
    const V4l2Devices::Camera* camera(const std::string& name);

private:
    std::optional<bool> pulseReachable_;
    std::optional<std::optional<std::vector<PulseSource>>> pulseSources_;
    std::optional<std::vector<V4l2Devices::Camera>> cameras_;
};
