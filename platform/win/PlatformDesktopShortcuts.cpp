#include "PlatformDesktopShortcuts.h"

// Windows registers its hot keys itself (RegisterHotKey); the desktop binds none for us.
struct platform::DesktopShortcuts::Impl
{
};

platform::DesktopShortcuts::DesktopShortcuts() : impl_(new Impl) {}

platform::DesktopShortcuts::~DesktopShortcuts() = default;

void platform::DesktopShortcuts::bind(const std::vector<Action>&, std::function<void(bool)> ready,
                                      std::function<void(const std::string&)>)
{
    if (ready)
        ready(false);
}
