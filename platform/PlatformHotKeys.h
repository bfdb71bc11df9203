#pragma once

#include <functional>
#include <memory>

namespace platform {

// Modifier flags of a hot key; the values are the Windows ones, so the identifiers computed
// from them are the same on every system.
enum HotKeyModifier : unsigned
{
    HotKeyAlt = 1,
    HotKeyControl = 2,
    HotKeyShift = 4,
    HotKeyWin = 8
};

// Registers a system-wide hot key of the calling (interface) thread under `id`. `modifiers` is a
// set of HotKeyModifier flags, `virtualKey` a Windows virtual-key code. False when the system
// refuses it: another program holds the combination, a code is unknown or 0, `id` is in use, or
// there is no desktop to register with. A refused hot key is not registered at all.
bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey);

// Releases what registerHotKey obtained under `id`, and nothing else; nothing when it got nothing.
void unregisterHotKey(int id);

// Whether this session takes system-wide hot keys at all. Where it does, a refused valid
// combination is one that another program holds.
bool hotKeysAvailable();

// What a message seen by the application's native event filter means for the hot keys.
struct NativeEvent
{
    enum Kind
    {
        Other,
        HotKey,      // a registered hot key was pressed; hotKeyId tells which
        DeviceChange // the system reports that devices came or went
    };
    Kind kind = Other;
    int hotKeyId = 0;
};

// Decodes a native event: eventType "windows_generic_MSG" with a MSG*, or "xcb_generic_event_t"
// with an xcb_generic_event_t*. Anything else is Other.
NativeEvent decodeNativeEvent(const char* eventType, void* message);

// Calls `onChange` on the interface thread after each notice that a video capture device
// appeared or disappeared. Where such notices arrive as window messages instead (decodeNativeEvent
// reports them as DeviceChange), it watches nothing.
class VideoDeviceWatcher
{
public:
    explicit VideoDeviceWatcher(std::function<void()> onChange);
    ~VideoDeviceWatcher();
    VideoDeviceWatcher(const VideoDeviceWatcher&) = delete;
    VideoDeviceWatcher& operator=(const VideoDeviceWatcher&) = delete;

    // Whether the system's device notices reach this watcher.
    bool isWatching() const;
    // Handles a notice as if the system had sent one, for machines on which no capture device
    // can be added or removed.
    void simulateChange();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
