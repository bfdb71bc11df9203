#include "PlatformChannel.h"

std::string platform::localChannelAddress(const std::string& name)
{
    // Named pipes live in the session's namespace already.
    return name;
}
