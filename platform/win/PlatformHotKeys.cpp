#include "PlatformHotKeys.h"

#include <windows.h>

#include <cstring>

bool platform::registerHotKey(int id, unsigned modifiers, unsigned virtualKey)
{
    // A hot key of the thread: WM_HOTKEY arrives in its queue, with no window.
    return RegisterHotKey(nullptr, id, modifiers, virtualKey) != FALSE;
}

void platform::unregisterHotKey(int id)
{
    UnregisterHotKey(nullptr, id);
}

bool platform::hotKeysAvailable()
{
    return true;
}

platform::NativeEvent platform::decodeNativeEvent(const char* eventType, void* message)
{
    NativeEvent result;
    if (!eventType || !message || std::strcmp(eventType, "windows_generic_MSG") != 0)
        return result;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_HOTKEY) {
        // lParam: modifier flags in the low word, virtual key in the high word.
        result.kind = NativeEvent::HotKey;
        result.hotKeyId = LOWORD(msg->lParam) ^ HIWORD(msg->lParam);
    } else if (msg->message == WM_DEVICECHANGE) {
        result.kind = NativeEvent::DeviceChange;
    }
    return result;
}

// Device changes come as WM_DEVICECHANGE through the native event filter.
struct platform::VideoDeviceWatcher::Impl
{
    std::function<void()> onChange;
};

platform::VideoDeviceWatcher::VideoDeviceWatcher(std::function<void()> onChange) : impl_(new Impl)
{
    impl_->onChange = std::move(onChange);
}

platform::VideoDeviceWatcher::~VideoDeviceWatcher() = default;

bool platform::VideoDeviceWatcher::isWatching() const
{
    return false;
}

void platform::VideoDeviceWatcher::simulateChange()
{
    if (impl_->onChange)
        impl_->onChange();
}
