#!/usr/bin/python3
"""A stand-in org.freedesktop.portal.Desktop (ScreenCast only) on the session bus of session.sh
with WAYLAND_COMPOSITOR=none: every Start makes a GStreamer test picture (a moving ball, BGRx,
30 fps) a PipeWire node, as a compositor makes one per session, and OpenPipeWireRemote hands out a
real connection to the PipeWire daemon. With --closed-after S the session ends S seconds after
Start, as when the user stops sharing from the desktop: its node goes away and Closed is sent.
--answer cancel|fail makes Start answer as a cancelled dialog (1) or a refusing desktop (2);
--no-screencast leaves the interface out (a desktop without a backend); --refuse-tokens answers 2
to a SelectSources that brings a remembered permission. A Start asked to persist returns a new
restore token each time ("restore_token T" in the log).
--shortcuts bind|refuse adds org.freedesktop.portal.GlobalShortcuts: BindShortcuts answers as a
desktop that binds (0, then Activated for each bound shortcut in order, as if its keys were
pressed) or refuses (2).

  fake_portal.py [--size WxH] [--closed-after S] [--answer ok|cancel|fail] [--no-screencast]
                 [--refuse-tokens] [--shortcuts bind|refuse]
"""
import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import time
import uuid

from gi.repository import Gio, GLib

parser = argparse.ArgumentParser()
parser.add_argument("--size", default="1280x720")
parser.add_argument("--closed-after", type=float, default=None)
parser.add_argument("--answer", choices=["ok", "cancel", "fail"], default="ok")
parser.add_argument("--no-screencast", action="store_true")
parser.add_argument("--refuse-tokens", action="store_true")
parser.add_argument("--shortcuts", choices=["bind", "refuse"])
args = parser.parse_args()
WIDTH, HEIGHT = map(int, args.size.split("x"))

PORTAL = """<node><interface name="org.freedesktop.portal.ScreenCast">
 <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
 <method name="SelectSources"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
 <method name="Start"><arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
 <method name="OpenPipeWireRemote"><arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="h" direction="out"/></method>
 <property name="AvailableSourceTypes" type="u" access="read"/>
 <property name="AvailableCursorModes" type="u" access="read"/>
 <property name="version" type="u" access="read"/>
</interface></node>"""
SHORTCUTS = """<node><interface name="org.freedesktop.portal.GlobalShortcuts">
 <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
 <method name="BindShortcuts"><arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
 <signal name="Activated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
 <property name="version" type="u" access="read"/>
</interface></node>"""
SESSION = """<node><interface name="org.freedesktop.portal.Session">
 <method name="Close"/><signal name="Closed"><arg type="a{sv}"/></signal>
 <property name="version" type="u" access="read"/></interface></node>"""

BUS = "org.freedesktop.portal.Desktop"
sessions = {}


def log(*text):
    print("fake-portal:", *text, flush=True)


def request_path(sender, options):
    return "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"),
                                                               options.get("handle_token", uuid.uuid4().hex[:8]))


def respond(conn, sender, path, code, results):
    GLib.timeout_add(20, lambda: conn.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                                                  GLib.Variant("(ua{sv})", (code, results))) and False)


def start_picture(name):
    gst = subprocess.Popen(["gst-launch-1.0", "-q", "videotestsrc", "is-live=true", "pattern=ball", "!",
                            "video/x-raw,format=BGRx,width=%d,height=%d,framerate=30/1" % (WIDTH, HEIGHT), "!",
                            "pipewiresink", "mode=provide",
                            "stream-properties=props,media.class=Video/Source,node.name=%s" % name],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            for item in json.loads(subprocess.run(["pw-dump"], capture_output=True, text=True).stdout or "[]"):
                if item.get("info", {}).get("props", {}).get("node.name") == name:
                    return gst, item["id"]
        except ValueError:
            pass
        time.sleep(0.1)
    gst.terminate()
    return None, None


def close_session(conn, path, by_desktop):
    session = sessions.pop(path, None)
    if not session:
        return
    if session.get("gst"):
        session["gst"].terminate()
        session["gst"].wait()
    if by_desktop:
        conn.emit_signal(session["sender"], path, "org.freedesktop.portal.Session", "Closed",
                         GLib.Variant("(a{sv})", ({},)))
    conn.unregister_object(session["registration"])
    log("session closed", path, "by the desktop" if by_desktop else "by the client")


def on_session_call(conn, sender, path, iface, method, params, invocation):
    if method == "Close":
        close_session(conn, path, False)
    invocation.return_value(None)


def on_call(conn, sender, path, iface, method, params, invocation):
    p = params.unpack()
    log(method)
    if method == "CreateSession":
        spath = "/org/freedesktop/portal/desktop/session/%s/%s" % (sender[1:].replace(".", "_"),
                                                                    p[0].get("session_handle_token", "s"))
        registration = conn.register_object(spath, Gio.DBusNodeInfo.new_for_xml(SESSION).interfaces[0],
                                            on_session_call, lambda *a: GLib.Variant("u", 1), None)
        sessions[spath] = {"sender": sender, "registration": registration}
        rpath = request_path(sender, p[0])
        invocation.return_value(GLib.Variant("(o)", (rpath,)))
        respond(conn, sender, rpath, 0, {"session_handle": GLib.Variant("s", spath)})
    elif method == "SelectSources":
        rpath = request_path(sender, p[1])
        invocation.return_value(GLib.Variant("(o)", (rpath,)))
        token = p[1].get("restore_token")
        log("SelectSources token=%s persist=%s multiple=%s cursor=%s" % (
            token, p[1].get("persist_mode"), p[1].get("multiple"), p[1].get("cursor_mode")))
        if p[0] in sessions:
            sessions[p[0]]["persist"] = p[1].get("persist_mode", 0)
        refused = token is not None and args.refuse_tokens
        respond(conn, sender, rpath, 0 if p[0] in sessions and not refused else 2, {})
    elif method == "Start":
        spath, _, options = p
        rpath = request_path(sender, options)
        invocation.return_value(GLib.Variant("(o)", (rpath,)))
        session = sessions.get(spath)
        node = None
        if args.answer != "ok":
            respond(conn, sender, rpath, 1 if args.answer == "cancel" else 2, {})
            return
        if session is not None:
            session["gst"], node = start_picture("fake-portal-" + uuid.uuid4().hex[:6])
        if node is None:
            respond(conn, sender, rpath, 2, {})
            return
        results = {"streams": GLib.Variant("a(ua{sv})", [(node, {
            "id": GLib.Variant("s", "0"), "source_type": GLib.Variant("u", 1),
            "position": GLib.Variant("(ii)", (0, 0)), "size": GLib.Variant("(ii)", (WIDTH, HEIGHT))})])}
        if session.get("persist"):
            token = str(uuid.uuid4())
            log("restore_token", token)
            results["restore_token"] = GLib.Variant("s", token)
            results["persist_mode"] = GLib.Variant("u", session["persist"])
        respond(conn, sender, rpath, 0, results)
        if args.closed_after is not None:
            GLib.timeout_add(int(args.closed_after * 1000), lambda: close_session(conn, spath, True) and False)
    elif method == "OpenPipeWireRemote":
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
        fds = Gio.UnixFDList.new()
        index = fds.append(sock.fileno())
        sock.close()
        invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (index,)), fds)


def on_shortcuts_call(conn, sender, path, iface, method, params, invocation):
    p = params.unpack()
    if method == "CreateSession":
        on_call(conn, sender, path, iface, method, params, invocation)
        return
    spath, shortcuts, _, options = p
    log("BindShortcuts " + " ".join("%s=%s" % (i, props.get("preferred_trigger")) for i, props in shortcuts))
    rpath = request_path(sender, options)
    invocation.return_value(GLib.Variant("(o)", (rpath,)))
    if args.shortcuts != "bind" or spath not in sessions:
        respond(conn, sender, rpath, 2, {})
        return
    bound = [(i, {"description": GLib.Variant("s", props.get("description", "")),
                  "trigger_description": GLib.Variant("s", props.get("preferred_trigger", ""))})
             for i, props in shortcuts]
    respond(conn, sender, rpath, 0, {"shortcuts": GLib.Variant("a(sa{sv})", bound)})
    for n, (i, _) in enumerate(bound):
        GLib.timeout_add(300 * (n + 1), lambda i=i: conn.emit_signal(
            sender, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.GlobalShortcuts", "Activated",
            GLib.Variant("(osta{sv})", (spath, i, int(time.monotonic() * 1000), {}))) and False)


def register(conn):
    if not args.no_screencast:
        conn.register_object("/org/freedesktop/portal/desktop", Gio.DBusNodeInfo.new_for_xml(PORTAL).interfaces[0],
                             on_call, on_property, None)
    if args.shortcuts:
        conn.register_object("/org/freedesktop/portal/desktop",
                             Gio.DBusNodeInfo.new_for_xml(SHORTCUTS).interfaces[0], on_shortcuts_call,
                             lambda *a: GLib.Variant("u", 1), None)


def on_property(conn, sender, path, iface, name):
    return GLib.Variant("u", {"AvailableSourceTypes": 1, "AvailableCursorModes": 7, "version": 4}[name])


def stop(*_):
    # The test pictures go with the portal, whether or not their sessions were closed.
    for session in sessions.values():
        if session.get("gst"):
            session["gst"].terminate()
            session["gst"].wait()
    sys.exit(0)


signal.signal(signal.SIGTERM, stop)
loop = GLib.MainLoop()
Gio.bus_own_name(Gio.BusType.SESSION, BUS, Gio.BusNameOwnerFlags.REPLACE, lambda conn, name: register(conn),
                 lambda conn, name: log("ready"), lambda conn, name: (log("name lost"), loop.quit()))
loop.run()
