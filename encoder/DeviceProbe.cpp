#include "DeviceProbe.h"

#include <cstdlib>
#include <xcb/xcb.h>

namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

bool DeviceProbe::simulated() const
{
    return env("REELCAST_DEVICES") == "simulated";
}

bool DeviceProbe::isTestCamera(const std::string& name) const
{
    return simulated() && name == kTestCamera;
}

std::string DeviceProbe::display() const
{
    return env("DISPLAY");
}

bool DeviceProbe::displayReachable() const
{
    if (display().empty())
        return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = connection && !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return ok;
}

bool DeviceProbe::pulseReachable()
{
    if (!pulseReachable_) {
        pulse_ = std::make_unique<PulseServer>();
        pulseReachable_ = pulse_->connect(kPulseTimeoutMs);
        if (!*pulseReachable_)
            pulse_.reset();
    }
    return *pulseReachable_;
}

PulseServer* DeviceProbe::pulse()
{
    return pulseReachable() ? pulse_.get() : nullptr;
}

const std::optional<std::vector<DeviceProbe::PulseSource>>& DeviceProbe::pulseSources()
{
    if (pulseSources_)
        return *pulseSources_;
    pulseSources_.emplace();
    if (!pulseReachable())
        return *pulseSources_;
    std::vector<PulseSource> sources;
    for (const PulseServer::Source& source : pulse_->sources())
        sources.push_back({source.name, source.monitor});
    if (!sources.empty())
        *pulseSources_ = sources;
    return *pulseSources_;
}

bool DeviceProbe::defaultMonitorExists()
{
    if (!defaultMonitor_)
        defaultMonitor_ = pulseReachable() && !pulse_->defaultSinkMonitor().empty();
    return *defaultMonitor_;
}

const std::vector<V4l2Devices::Camera>& DeviceProbe::cameras()
{
    if (!cameras_)
        cameras_ = V4l2Devices::cameras();
    return *cameras_;
}

const V4l2Devices::Camera* DeviceProbe::camera(const std::string& name)
{
    for (const V4l2Devices::Camera& candidate : cameras()) {
        if (candidate.name == name)
            return &candidate;
    }
    return nullptr;
}
