#include "PlatformWindow.h"

#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

// Windows of this process that the search under the pointer passes over (the overlays).
std::set<xcb_window_t>& disabledWindows()
{
    static std::set<xcb_window_t> windows;
    return windows;
}

// A connection of our own, opened on first use and kept; one that broke is opened again.
struct Display
{
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t wmState = 0;
    int screenNumber = 0;
};

Display* display()
{
    static Display d;
    if (d.connection && xcb_connection_has_error(d.connection)) {
        xcb_disconnect(d.connection);
        d.connection = nullptr;
    }
    if (d.connection)
        return &d;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return nullptr;
    }
    d.connection = c;
    d.root = it.data->root;
    d.screenNumber = screenNumber;
    static const char name[] = "WM_STATE";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    d.wmState = atom ? atom->atom : 0;
    std::free(atom);
    return &d;
}

template <typename T> struct Reply
{
    T* p;
    explicit Reply(T* reply) : p(reply) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

std::vector<xcb_window_t> childrenBottomToTop(xcb_connection_t* c, xcb_window_t window)
{
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.p);
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.p));
}

// The topmost viewable, drawable child of parent whose area holds the point (px, py), given in
// parent's coordinates; the point comes back in the child's coordinates. 0 when there is none.
xcb_window_t childAt(xcb_connection_t* c, xcb_window_t parent, int& px, int& py,
                     const std::set<xcb_window_t>& skipped)
{
    const std::vector<xcb_window_t> children = childrenBottomToTop(c, parent);
    // Ask for all attributes and geometries at once: one round trip instead of one per child.
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    std::vector<xcb_get_geometry_cookie_t> geometries;
    attributes.reserve(children.size());
    geometries.reserve(children.size());
    for (xcb_window_t w : children) {
        attributes.push_back(xcb_get_window_attributes(c, w));
        geometries.push_back(xcb_get_geometry(c, w));
    }
    xcb_window_t found = 0;
    for (size_t i = children.size(); i-- > 0;) {
        Reply<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(c, attributes[i], nullptr));
        Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, geometries[i], nullptr));
        if (found || !a || !g || skipped.count(children[i]))
            continue;
        if (a->map_state != XCB_MAP_STATE_VIEWABLE || a->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
            continue;
        const int border = g->border_width;
        const int right = g->x + g->width + 2 * border;
        const int bottom = g->y + g->height + 2 * border;
        if (px < g->x || py < g->y || px >= right || py >= bottom)
            continue;
        found = children[i];
        px -= g->x + border;
        py -= g->y + border;
        // Keep reading the remaining replies so that none is left pending on the connection.
    }
    return found;
}

bool hasWmState(const Display& d, xcb_window_t window)
{
    if (!d.wmState)
        return false;
    Reply<xcb_get_property_reply_t> p(xcb_get_property_reply(
        d.connection, xcb_get_property(d.connection, 0, window, d.wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        nullptr));
    return p && p->type != XCB_NONE;
}

// A window manager marks the application's own window with WM_STATE and wraps it in frames of
// its own; without a manager there is no mark and the top-level window is the client.
xcb_window_t clientWindow(const Display& d, xcb_window_t topLevel, int depth = 0)
{
    if (hasWmState(d, topLevel))
        return topLevel;
    if (depth > 4)
        return 0;
    for (xcb_window_t child : childrenBottomToTop(d.connection, topLevel))
        if (xcb_window_t client = clientWindow(d, child, depth + 1))
            return client;
    return depth == 0 ? topLevel : 0;
}

} // namespace

bool platform::setForegroundWindow(std::uintptr_t nativeHandle)
{
    // The window manager decides about focus here; raising and activating is the request it honours.
    QWidget* window = QWidget::find(static_cast<WId>(nativeHandle));
    if (!window)
        return false;
    window->raise();
    window->activateWindow();
    return true;
}

void platform::enableWindow(std::uintptr_t nativeHandle, bool enable)
{
    const auto window = static_cast<xcb_window_t>(nativeHandle);
    if (enable)
        disabledWindows().erase(window);
    else
        disabledWindows().insert(window);
}

bool platform::windowRectUnderCursor(WindowRect& rect)
{
    Display* d = display();
    if (!d)
        return false;
    xcb_connection_t* c = d->connection;
    Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, d->root), nullptr));
    if (!pointer || !pointer->same_screen)
        return false;

    // Top-level windows: a frame counts as disabled when the client inside it is.
    std::set<xcb_window_t> skipped;
    const std::set<xcb_window_t>& disabled = disabledWindows();
    int px = pointer->root_x;
    int py = pointer->root_y;
    xcb_window_t found = 0;
    for (;;) {
        int x = pointer->root_x;
        int y = pointer->root_y;
        xcb_window_t top = childAt(c, d->root, x, y, skipped);
        if (!top)
            return false;
        const xcb_window_t client = clientWindow(*d, top);
        if (disabled.count(top) || disabled.count(client)) {
            skipped.insert(top);
            continue;
        }
        found = client;
        break;
    }

    // Down to the deepest viewable child under the pointer.
    Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, d->root, found, static_cast<int16_t>(px), static_cast<int16_t>(py)),
        nullptr));
    if (at) {
        px = at->dst_x;
        py = at->dst_y;
        while (xcb_window_t child = childAt(c, found, px, py, disabled))
            found = child;
    }

    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, xcb_get_geometry(c, found), nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, found, d->root, 0, 0), nullptr));
    if (!g || !origin)
        return false;
    rect.x = origin->dst_x;
    rect.y = origin->dst_y;
    rect.width = g->width;
    rect.height = g->height;
    return true;
}

bool platform::translucentWindowsShown()
{
    // A compositing manager owns the selection _NET_WM_CM_S<screen> while it runs.
    Display* d = display();
    if (!d)
        return true;
    const std::string name = "_NET_WM_CM_S" + std::to_string(d->screenNumber);
    xcb_connection_t* c = d->connection;
    Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str()), nullptr));
    if (!atom)
        return true;
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}
