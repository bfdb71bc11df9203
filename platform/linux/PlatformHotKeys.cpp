#include "PlatformHotKeys.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QX11Info>

#include <libudev.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include <cstring>
#include <map>
#include <vector>

namespace {

struct Grab
{
    xcb_keycode_t keycode;
    uint16_t mask;
};

// What one registered hot key holds: the grabs the server granted and the combination to match.
struct HotKey
{
    std::vector<xcb_keycode_t> keycodes;
    uint16_t mask = 0;
    std::vector<Grab> grabs;
};

std::map<int, HotKey>& hotKeys()
{
    static std::map<int, HotKey> keys;
    return keys;
}

// The modifiers that take part in a combination; lock states (Caps Lock, Num Lock, Scroll Lock)
// are ignored when a press is matched.
constexpr uint16_t kComboMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

xcb_keysym_t keysymOf(unsigned vk)
{
    if (vk >= '0' && vk <= '9')
        return XK_0 + (vk - '0');
    if (vk >= 'A' && vk <= 'Z')
        return XK_a + (vk - 'A');
    if (vk >= 112 && vk <= 135)
        return XK_F1 + (vk - 112);
    switch (vk) {
    case 8:
        return XK_BackSpace;
    case 9:
        return XK_Tab;
    case 12:
        return XK_Clear;
    case 13:
        return XK_Return;
    case 19:
        return XK_Pause;
    case 27:
        return XK_Escape;
    case 32:
        return XK_space;
    case 33:
        return XK_Prior;
    case 34:
        return XK_Next;
    case 35:
        return XK_End;
    case 36:
        return XK_Home;
    case 37:
        return XK_Left;
    case 38:
        return XK_Up;
    case 39:
        return XK_Right;
    case 40:
        return XK_Down;
    case 42:
        return XK_Print;
    case 45:
        return XK_Insert;
    case 46:
        return XK_Delete;
    case 106:
        return XK_KP_Multiply;
    case 107:
        return XK_KP_Add;
    case 108:
        return XK_KP_Separator;
    case 109:
        return XK_KP_Subtract;
    case 111:
        return XK_KP_Divide;
    default:
        return XCB_NO_SYMBOL;
    }
}

uint16_t maskOf(unsigned modifiers)
{
    uint16_t mask = 0;
    if (modifiers & platform::HotKeyAlt)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & platform::HotKeyControl)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & platform::HotKeyShift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & platform::HotKeyWin)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

// The modifier bit that Num Lock sets in this server's modifier mapping (usually Mod2).
uint16_t numLockMask(xcb_connection_t* connection, xcb_key_symbols_t* symbols)
{
    uint16_t result = 0;
    xcb_keycode_t* numLock = xcb_key_symbols_get_keycode(symbols, XK_Num_Lock);
    if (!numLock)
        return 0;
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
    if (reply) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8 && !result; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[modifier * perModifier + i];
                for (const xcb_keycode_t* n = numLock; code && *n != XCB_NO_SYMBOL; ++n) {
                    if (*n == code)
                        result = static_cast<uint16_t>(1u << modifier);
                }
            }
        }
        free(reply);
    }
    free(numLock);
    return result;
}

void ungrab(xcb_connection_t* connection, const std::vector<Grab>& grabs)
{
    for (const Grab& grab : grabs)
        xcb_ungrab_key(connection, grab.keycode, QX11Info::appRootWindow(), grab.mask);
    xcb_flush(connection);
}

} // namespace

bool platform::registerHotKey(int id, unsigned modifiers, unsigned virtualKey)
{
    if (!QX11Info::isPlatformX11() || hotKeys().count(id))
        return false;
    const xcb_keysym_t keysym = keysymOf(virtualKey);
    if (keysym == XCB_NO_SYMBOL)
        return false;
    xcb_connection_t* connection = QX11Info::connection();
    const xcb_window_t root = QX11Info::appRootWindow();
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    if (!symbols)
        return false;

    HotKey key;
    key.mask = maskOf(modifiers);
    if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym)) {
        for (const xcb_keycode_t* c = codes; *c != XCB_NO_SYMBOL; ++c)
            key.keycodes.push_back(*c);
        free(codes);
    }
    const uint16_t numLock = numLockMask(connection, symbols);
    xcb_key_symbols_free(symbols);
    // Keycode 0 would be AnyKey and grab the whole keyboard.
    if (key.keycodes.empty())
        return false;

    // The same combination again with every lock state, so it works whatever the locks show.
    std::vector<uint16_t> locks = {0, XCB_MOD_MASK_LOCK};
    if (numLock)
        locks.insert(locks.end(), {numLock, static_cast<uint16_t>(numLock | XCB_MOD_MASK_LOCK)});
    std::vector<std::pair<Grab, xcb_void_cookie_t>> requests;
    for (xcb_keycode_t keycode : key.keycodes) {
        for (uint16_t lock : locks) {
            const Grab grab{keycode, static_cast<uint16_t>(key.mask | lock)};
            requests.push_back({grab, xcb_grab_key_checked(connection, 1, root, grab.mask, keycode,
                                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
        }
    }
    bool refused = false;
    for (const auto& request : requests) {
        if (xcb_generic_error_t* error = xcb_request_check(connection, request.second)) {
            refused = true;
            free(error);
        } else {
            key.grabs.push_back(request.first);
        }
    }
    // Another client holds (part of) the combination: it is theirs, entirely.
    if (refused) {
        ungrab(connection, key.grabs);
        return false;
    }
    hotKeys()[id] = key;
    return true;
}

void platform::unregisterHotKey(int id)
{
    const auto it = hotKeys().find(id);
    if (it == hotKeys().end())
        return;
    if (QX11Info::isPlatformX11())
        ungrab(QX11Info::connection(), it->second.grabs);
    hotKeys().erase(it);
}

bool platform::hotKeysAvailable()
{
    return QX11Info::isPlatformX11();
}

platform::NativeEvent platform::decodeNativeEvent(const char* eventType, void* message)
{
    NativeEvent result;
    if (!eventType || !message || std::strcmp(eventType, "xcb_generic_event_t") != 0)
        return result;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return result;
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    if (press->event != QX11Info::appRootWindow())
        return result;
    for (const auto& entry : hotKeys()) {
        const HotKey& key = entry.second;
        if ((press->state & kComboMask) != key.mask)
            continue;
        for (xcb_keycode_t keycode : key.keycodes) {
            if (keycode == press->detail) {
                result.kind = NativeEvent::HotKey;
                result.hotKeyId = entry.first;
                return result;
            }
        }
    }
    return result;
}

struct platform::VideoDeviceWatcher::Impl
{
    std::function<void()> onChange;
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    QSocketNotifier* notifier = nullptr;
};

platform::VideoDeviceWatcher::VideoDeviceWatcher(std::function<void()> onChange) : impl_(new Impl)
{
    impl_->onChange = std::move(onChange);
    impl_->context = udev_new();
    if (!impl_->context)
        return;
    // Events from udev itself, after its rules ran: the device node then exists with its rights.
    impl_->monitor = udev_monitor_new_from_netlink(impl_->context, "udev");
    if (!impl_->monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(impl_->monitor, "video4linux", nullptr) < 0 ||
        udev_monitor_enable_receiving(impl_->monitor) < 0) {
        if (impl_->monitor)
            udev_monitor_unref(impl_->monitor);
        impl_->monitor = nullptr;
        return;
    }
    if (!QCoreApplication::instance())
        return;
    impl_->notifier = new QSocketNotifier(udev_monitor_get_fd(impl_->monitor), QSocketNotifier::Read);
    Impl* impl = impl_.get();
    QObject::connect(impl->notifier, &QSocketNotifier::activated, [impl] {
        // Read every pending notice; one change of the device set may come as several.
        bool any = false;
        while (udev_device* device = udev_monitor_receive_device(impl->monitor)) {
            udev_device_unref(device);
            any = true;
        }
        if (any && impl->onChange)
            impl->onChange();
    });
}

platform::VideoDeviceWatcher::~VideoDeviceWatcher()
{
    delete impl_->notifier;
    if (impl_->monitor)
        udev_monitor_unref(impl_->monitor);
    if (impl_->context)
        udev_unref(impl_->context);
}

bool platform::VideoDeviceWatcher::isWatching() const
{
    return impl_->notifier != nullptr;
}

void platform::VideoDeviceWatcher::simulateChange()
{
    if (impl_->onChange)
        impl_->onChange();
}
