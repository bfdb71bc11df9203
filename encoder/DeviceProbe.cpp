#include "DeviceProbe.h"

#include "ChildProcess.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool unixSocketAccepts(const std::string& path)
{
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
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
    if (pulseReachable_)
        return *pulseReachable_;
    bool reachable = false;
    const std::string server = env("PULSE_SERVER");
    if (!server.empty()) {
        // A server list: "unix:/path", a bare path, "tcp:host", each maybe led by "{machine-id}".
        std::istringstream in(server);
        for (std::string entry; !reachable && in >> entry;) {
            if (entry[0] == '{' && entry.find('}') != std::string::npos)
                entry = entry.substr(entry.find('}') + 1);
            if (entry.rfind("unix:", 0) == 0)
                reachable = unixSocketAccepts(entry.substr(5));
            else if (!entry.empty() && entry[0] == '/')
                reachable = unixSocketAccepts(entry);
            else
                reachable = true; // a network server: FFmpeg will find out
        }
    } else {
        std::string runtime = env("XDG_RUNTIME_DIR");
        if (runtime.empty())
            runtime = "/run/user/" + std::to_string(getuid());
        reachable =
            unixSocketAccepts(runtime + "/pulse/native") || unixSocketAccepts("/var/run/pulse/native");
    }
    pulseReachable_ = reachable;
    return reachable;
}

const std::optional<std::vector<DeviceProbe::PulseSource>>& DeviceProbe::pulseSources()
{
    if (pulseSources_)
        return *pulseSources_;
    pulseSources_.emplace();
    if (!pulseReachable())
        return *pulseSources_;
    const ChildProcess::Result listed = ChildProcess::run({"pactl", "list", "short", "sources"});
    if (!listed.ran)
        return *pulseSources_;
    std::vector<PulseSource> sources;
    for (const std::string& line : lines(listed.output)) {
        // index <TAB> name <TAB> driver <TAB> sample format <TAB> state
        const size_t first = line.find('\t');
        if (first == std::string::npos)
            continue;
        const size_t second = line.find('\t', first + 1);
        const std::string name =
            line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        const std::string suffix = ".monitor";
        const bool monitor = name.size() > suffix.size() &&
                             name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        sources.push_back({name, monitor});
    }
    *pulseSources_ = sources;
    return *pulseSources_;
}

bool DeviceProbe::defaultMonitorExists()
{
    const auto& sources = pulseSources();
    if (!sources)
        return pulseReachable();
    const ChildProcess::Result sink = ChildProcess::run({"pactl", "get-default-sink"});
    std::string name = sink.output.substr(0, sink.output.find('\n'));
    for (const PulseSource& source : *sources) {
        if (source.monitor && (!sink.ran || source.name == name + ".monitor"))
            return true;
    }
    return false;
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
