#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Global shortcuts that the desktop itself binds for the program, where it offers them (Linux:
// the GlobalShortcuts portal of a Wayland desktop, where an X client's key grabs fire only while
// one of its windows has the focus). The callbacks come on the interface thread.
class DesktopShortcuts
{
public:
    struct Action
    {
        std::string id;
        std::string description;
        // As the desktop writes combinations, e.g. "ALT+F6"; the desktop may choose another.
        std::string preferredTrigger;
    };

    DesktopShortcuts();
    ~DesktopShortcuts();
    DesktopShortcuts(const DesktopShortcuts&) = delete;
    DesktopShortcuts& operator=(const DesktopShortcuts&) = delete;

    // Asks the desktop to bind `actions`; `ready(true)` once it has, `ready(false)` where it offers
    // no such service or refuses. `activated(id)` on every press afterwards.
    void bind(const std::vector<Action>& actions, std::function<void(bool bound)> ready,
              std::function<void(const std::string& id)> activated);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
