#include "CrashBlock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t blockSize = 1024;

std::uint32_t get32(const unsigned char* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
           std::uint32_t(at[3]) << 24;
}

} // namespace

std::string crashBlockPath(const std::string& mappingName)
{
    if (mappingName.empty() || mappingName.find('/') != std::string::npos || mappingName == "." ||
        mappingName == "..")
        return std::string();
    return "/dev/shm/" + mappingName;
}

bool readCrashBlock(const std::string& mappingName, CrashBlock& block)
{
    const std::string path = crashBlockPath(mappingName);
    if (path.empty())
        return false;
    // Never blocks (a FIFO under that name) and reads only a regular file of this user's: a block
    // another user planted is not taken for ours.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        close(fd);
        return false;
    }
    unsigned char data[blockSize];
    std::size_t got = 0;
    while (got < blockSize) {
        const ssize_t n = read(fd, data + got, blockSize - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    if (got < 12)
        return false;
    block.processId = get32(data);
    block.threadId = get32(data + 4);
    block.contextLow = get32(data + 8);
    return true;
}
