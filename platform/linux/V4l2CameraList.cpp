#include "V4l2CameraList.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/videodev2.h>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace {

// "video12" -> 12; -1 for everything else in the class folder (vbi, radio, v4l-subdev, ...).
int nodeNumber(const std::string& entry)
{
    const std::string prefix = "video";
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
        return -1;
    return std::atoi(entry.c_str() + prefix.size());
}

std::string trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Later cameras of an already listed name get the first free " #N"; names the system gave
// keep priority, so a camera really called "Cam #2" is not renamed by a second "Cam".
void makeNamesUnique(std::vector<V4l2CameraList::Camera>& cameras)
{
    std::set<std::string> taken;
    for (const auto& camera : cameras)
        taken.insert(camera.name);
    std::set<std::string> seen;
    for (auto& camera : cameras) {
        if (seen.insert(camera.name).second)
            continue;
        for (int n = 2;; ++n) {
            const std::string candidate = camera.name + " #" + std::to_string(n);
            if (taken.insert(candidate).second) {
                camera.name = candidate;
                break;
            }
        }
        seen.insert(camera.name);
    }
}

} // namespace

std::optional<std::uint32_t> V4l2CameraList::queryCapabilities(const std::string& devicePath)
{
    // Read-write, as FFmpeg opens it: a node it could not open is no camera for it.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    v4l2_capability cap{};
    int r;
    do {
        r = ::ioctl(fd, VIDIOC_QUERYCAP, &cap);
    } while (r < 0 && errno == EINTR);
    ::close(fd);
    if (r < 0)
        return std::nullopt;
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

bool V4l2CameraList::simulatedByEnvironment()
{
    const char* value = std::getenv("REELCAST_DEVICES");
    return value && std::string(value) == "simulated";
}

std::vector<V4l2CameraList::Camera> V4l2CameraList::cameras()
{
    return cameras(Source());
}

std::vector<V4l2CameraList::Camera> V4l2CameraList::cameras(const Source& source)
{
    std::vector<std::pair<int, std::string>> nodes;
    if (DIR* dir = ::opendir(source.sysfs.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const int number = nodeNumber(entry->d_name);
            if (number >= 0)
                nodes.emplace_back(number, entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end());

    std::vector<Camera> cameras;
    if (source.simulated)
        cameras.push_back({kTestCamera, std::string()});
    for (const auto& node : nodes) {
        std::ifstream nameFile(source.sysfs + "/" + node.second + "/name");
        std::string name;
        std::getline(nameFile, name);
        name = trimmed(name);
        if (name.empty())
            continue;
        const std::string path = source.dev + "/" + node.second;
        const std::optional<std::uint32_t> caps =
            source.capabilities ? source.capabilities(path) : std::nullopt;
        if (caps && (*caps & V4L2_CAP_VIDEO_CAPTURE))
            cameras.push_back({name, path});
    }
    makeNamesUnique(cameras);
    return cameras;
}
