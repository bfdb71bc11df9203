#include "QuitWatch.h"

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

QuitWatch::QuitWatch(int fd) : fd_(fd)
{
    struct stat info
    {
    };
    if (fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode)) {
        if (pipe2(copy_, O_CLOEXEC | O_NONBLOCK) != 0)
            copy_[0] = copy_[1] = -1;
    }
}

QuitWatch::~QuitWatch()
{
    for (int fd : copy_) {
        if (fd >= 0)
            close(fd);
    }
}

bool QuitWatch::seen()
{
    if (copy_[0] < 0)
        return false;
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, 0) <= 0 || !(ready.revents & POLLIN))
        return false;
    const ssize_t n = tee(fd_, copy_[1], 64, SPLICE_F_NONBLOCK);
    if (n <= 0)
        return false;
    char bytes[64];
    const ssize_t got = read(copy_[0], bytes, sizeof bytes);
    return got > 0 && std::memchr(bytes, 'q', size_t(got)) != nullptr;
}
