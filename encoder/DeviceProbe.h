#pragma once

#include "PulseServer.h"
#include "V4l2Devices.h"

#include <memory>
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
    // A local server answers within milliseconds; one that does not is treated as absent.
    static constexpr int kPulseTimeoutMs = 1000;

    // REELCAST_DEVICES=simulated: a test-picture camera and a tone as the system sound.
    bool simulated() const;
    // Whether `name` is the simulated camera, which exists only when simulated.
    bool isTestCamera(const std::string& name) const;
    std::string display() const;
    bool displayReachable() const;
    // The default sound server answers within kPulseTimeoutMs (nothing is spawned to find out).
    bool pulseReachable();
    // The server's sources; nullopt when it did not tell.
    const std::optional<std::vector<PulseSource>>& pulseSources();
    // Whether the default sink has a monitor source (the system sound).
    bool defaultMonitorExists();
    // The connection the answers came from, for recording from the same server; nullptr when
    // no server answers.
    PulseServer* pulse();
    const std::vector<V4l2Devices::Camera>& cameras();
    // The first camera of that name; nullptr when there is none.
    const V4l2Devices::Camera* camera(const std::string& name);

private:
    std::unique_ptr<PulseServer> pulse_;
    std::optional<bool> pulseReachable_;
    std::optional<bool> defaultMonitor_;
    std::optional<std::optional<std::vector<PulseSource>>> pulseSources_;
    std::optional<std::vector<V4l2Devices::Camera>> cameras_;
};
