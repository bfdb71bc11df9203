#include "PlatformChannel.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder that belongs to the user and that nobody else may enter.
bool isPrivateFolder(const std::string& path)
{
    struct stat st
    {
    };
    if (lstat(path.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

std::string runtimeFolder()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && *xdg == '/' && isPrivateFolder(xdg))
        return xdg;
    // No usable runtime folder: make a private one in /tmp. If someone else owns that name
    // already we refuse to use it rather than talk to a stranger's socket.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp == '/') ? tmp : "/tmp";
    std::string folder = base + "/reelcast-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string();
    return isPrivateFolder(folder) ? folder : std::string();
}

} // namespace

std::string platform::localChannelAddress(const std::string& name)
{
    const std::string folder = runtimeFolder();
    if (folder.empty())
        return std::string();
    return folder + "/" + name;
}
