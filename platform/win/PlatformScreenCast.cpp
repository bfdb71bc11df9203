#include "PlatformScreenCast.h"

// Windows records its screens itself; there is no desktop cast to ask for.
struct platform::ScreenCastSession::Impl
{
};

platform::ScreenCastSession::ScreenCastSession() : impl_(new Impl) {}

platform::ScreenCastSession::~ScreenCastSession() = default;

void platform::ScreenCastSession::start(const CastRequest&,
                                        std::function<void(CastOutcome, const std::string&)> done)
{
    if (done)
        done(CastOutcome::Unavailable, std::string());
}

void platform::ScreenCastSession::setClosedHandler(std::function<void()>) {}

bool platform::ScreenCastSession::isOpen() const
{
    return false;
}

std::vector<platform::CastStream> platform::ScreenCastSession::streams() const
{
    return {};
}

platform::CastCursor platform::ScreenCastSession::cursor() const
{
    return CastCursor::Hidden;
}

std::string platform::ScreenCastSession::restoreToken() const
{
    return std::string();
}

int platform::ScreenCastSession::openRemote() const
{
    return -1;
}

void platform::ScreenCastSession::close() {}

void platform::inheritDescriptor(int) {}

void platform::closeDescriptor(int) {}
