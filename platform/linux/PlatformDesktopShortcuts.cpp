#include "PlatformDesktopShortcuts.h"

#include "ShortcutsPortal.h"

struct platform::DesktopShortcuts::Impl
{
    ShortcutsPortal portal;
};

platform::DesktopShortcuts::DesktopShortcuts() : impl_(new Impl) {}

platform::DesktopShortcuts::~DesktopShortcuts() = default;

void platform::DesktopShortcuts::bind(const std::vector<Action>& actions, std::function<void(bool)> ready,
                                      std::function<void(const std::string&)> activated)
{
    impl_->portal.bind(actions, std::move(ready), std::move(activated));
}
