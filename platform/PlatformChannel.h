#pragma once

#include <string>

namespace platform {

// The address under which the single-instance channel `name` listens, reachable by the
// current user only. On Windows this is the plain pipe name.
std::string localChannelAddress(const std::string& name);

} // namespace platform
