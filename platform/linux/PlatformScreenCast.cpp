#include "PlatformScreenCast.h"

#include "ScreenCastPortal.h"

#include <fcntl.h>
#include <unistd.h>

struct platform::ScreenCastSession::Impl
{
    ScreenCastPortal portal;
};

platform::ScreenCastSession::ScreenCastSession() : impl_(new Impl) {}

platform::ScreenCastSession::~ScreenCastSession() = default;

void platform::ScreenCastSession::start(const CastRequest& request,
                                        std::function<void(CastOutcome, const std::string&)> done)
{
    impl_->portal.start(request, std::move(done));
}

void platform::ScreenCastSession::setClosedHandler(std::function<void()> onClosed)
{
    impl_->portal.onClosed = std::move(onClosed);
}

bool platform::ScreenCastSession::isOpen() const
{
    return impl_->portal.isOpen();
}

std::vector<platform::CastStream> platform::ScreenCastSession::streams() const
{
    return impl_->portal.streams();
}

platform::CastCursor platform::ScreenCastSession::cursor() const
{
    return impl_->portal.cursor();
}

std::string platform::ScreenCastSession::restoreToken() const
{
    return impl_->portal.restoreToken();
}

int platform::ScreenCastSession::openRemote() const
{
    return impl_->portal.openRemote();
}

void platform::ScreenCastSession::close()
{
    impl_->portal.close();
}

void platform::inheritDescriptor(int fd)
{
    if (fd < 0)
        return;
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0)
        fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC);
}

void platform::closeDescriptor(int fd)
{
    if (fd >= 0)
        ::close(fd);
}
