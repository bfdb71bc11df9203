"""Screen casts for the adapter's tests, on the private desktop of session.sh: the ScreenCast
portal (the real one, answering without its dialog after a grant put into the permission store,
or fake_portal.py), and the environment an encoder run is given for it."""

import os
import time
import uuid

from gi.repository import Gio, GLib

BUS_NAME = "org.freedesktop.portal.Desktop"
OBJECT = "/org/freedesktop/portal/desktop"
SCREENCAST = "org.freedesktop.portal.ScreenCast"
CURSOR_MODES = {"hidden": 1, "embedded": 2, "metadata": 4}


class PortalError(Exception):
    pass


def grant_first_monitor(bus):
    """A restore token that the GNOME portal backend accepts without asking: the permission store
    entry it would have written after the user chose the first monitor and "remember"."""
    state = bus.call_sync("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                          "org.gnome.Mutter.DisplayConfig", "GetCurrentState", None, None,
                          Gio.DBusCallFlags.NONE, -1, None).unpack()
    _, vendor, product, serial = state[1][0][0]
    now = int(time.time() * 1e6)
    monitor = GLib.Variant("(xxa(uuv))", (now, now, [(0, 1, GLib.Variant("s", "%s:%s:%s" % (vendor, product, serial)))]))
    token = str(uuid.uuid4())
    # An unsandboxed process outside an app scope has the app id "".
    bus.call_sync("org.freedesktop.impl.portal.PermissionStore", "/org/freedesktop/impl/portal/PermissionStore",
                  "org.freedesktop.impl.portal.PermissionStore", "Set",
                  GLib.Variant("(sbsa{sas}v)", ("screencast", True, token, {"": ["yes"]},
                                                GLib.Variant("(suv)", ("GNOME", 1, monitor)))),
                  None, Gio.DBusCallFlags.NONE, -1, None)
    return token


class ScreenCast:
    """One portal session: started once, a fresh PipeWire remote for every run."""

    def __init__(self, cursor="metadata", restore_token=None, timeout=20):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        self.sender = self.bus.get_unique_name()[1:].replace(".", "_")
        self.cursor = cursor
        self.proxy = Gio.DBusProxy.new_sync(self.bus, Gio.DBusProxyFlags.NONE, None, BUS_NAME, OBJECT, SCREENCAST,
                                            None)
        if self.proxy.get_cached_property("version") is None:
            raise PortalError("no ScreenCast portal")
        token = "rc" + uuid.uuid4().hex[:8]
        self.session = self._request("CreateSession", lambda t: GLib.Variant("(a{sv})", ({
            "handle_token": GLib.Variant("s", t), "session_handle_token": GLib.Variant("s", token)},)),
            timeout)["session_handle"]

        def select(t):
            options = {"handle_token": GLib.Variant("s", t), "types": GLib.Variant("u", 1),
                       "multiple": GLib.Variant("b", False),
                       "cursor_mode": GLib.Variant("u", CURSOR_MODES[cursor]), "persist_mode": GLib.Variant("u", 2)}
            if restore_token:
                options["restore_token"] = GLib.Variant("s", restore_token)
            return GLib.Variant("(oa{sv})", (self.session, options))
        self._request("SelectSources", select, timeout)
        results = self._request("Start", lambda t: GLib.Variant("(osa{sv})", (self.session, "", {
            "handle_token": GLib.Variant("s", t)})), timeout)
        self.streams = [(node, props["position"], props["size"]) for node, props in results.get("streams", [])]
        if not self.streams:
            raise PortalError("no streams")

    def _request(self, method, parameters, timeout):
        token = "rc" + uuid.uuid4().hex[:8]
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (self.sender, token)
        loop = GLib.MainLoop()
        answer = {}

        def on_response(conn, sender, obj, iface, signal, params, _):
            answer["code"], answer["results"] = params.unpack()
            loop.quit()
        sub = self.bus.signal_subscribe(BUS_NAME, "org.freedesktop.portal.Request", "Response", path, None,
                                        Gio.DBusSignalFlags.NONE, on_response, None)
        self.proxy.call_sync(method, parameters(token), Gio.DBusCallFlags.NONE, -1, None)
        timer = GLib.timeout_add(int(timeout * 1000), loop.quit)
        loop.run()
        self.bus.signal_unsubscribe(sub)
        if "code" not in answer:
            raise PortalError("%s: no answer in %d s" % (method, timeout))
        GLib.source_remove(timer)
        if answer["code"] != 0:
            raise PortalError("%s answered %d" % (method, answer["code"]))
        return answer["results"]

    def open_remote(self):
        """A new descriptor of the session's PipeWire remote (the caller closes it)."""
        result, fds = self.proxy.call_with_unix_fd_list_sync("OpenPipeWireRemote",
                                                             GLib.Variant("(oa{sv})", (self.session, {})),
                                                             Gio.DBusCallFlags.NONE, -1, None, None)
        return fds.get(result.unpack()[0])

    def environment(self, fd, streams=None):
        """What an encoder run of this session is given, for the remote `fd`."""
        streams = streams or self.streams
        return {"REELCAST_PIPEWIRE_FD": str(fd), "REELCAST_PIPEWIRE_CURSOR": self.cursor,
                "REELCAST_PIPEWIRE_STREAMS": ";".join("%d@%d,%d,%dx%d" % (node, pos[0], pos[1], size[0], size[1])
                                                      for node, pos, size in streams)}

    def close(self):
        try:
            self.bus.call_sync(BUS_NAME, self.session, "org.freedesktop.portal.Session", "Close", None, None,
                               Gio.DBusCallFlags.NONE, -1, None)
        except GLib.Error:
            pass  # closed by the desktop already
