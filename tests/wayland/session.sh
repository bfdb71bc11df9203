#!/bin/bash
# Runs COMMAND inside a private headless Wayland desktop: its own session bus, PipeWire,
# WirePlumber, a PulseAudio sound server (PULSE_SERVER) and (WAYLAND_COMPOSITOR=mutter, the default) mutter --headless on one virtual
# monitor, or no compositor at all (WAYLAND_COMPOSITOR=none, for a fake portal). Screen casts need
# an ordinary user: started as root, the desktop and COMMAND run as the test user "reelcast-wl",
# created on first use, with a private runtime folder and home. Everything started is stopped
# again by its process id.
#
#   tests/wayland/session.sh [--size WxH] COMMAND...
#
# Exit status: COMMAND's; 77 when the desktop cannot be started here (packages missing).
set -u
here=$(cd "$(dirname "$0")" && pwd)
size=1280x720
if [ "${1:-}" = --size ]; then size=$2; shift 2; fi
compositor=${WAYLAND_COMPOSITOR:-mutter}

missing=
for program in pipewire wireplumber dbus-run-session pw-dump; do
    command -v $program >/dev/null || missing="$missing $program"
done
[ "$compositor" = mutter ] && ! command -v mutter >/dev/null && missing="$missing mutter"
if [ -n "$missing" ]; then
    echo "session.sh: not installed:$missing (scripts/deps installs them)" >&2
    exit 77
fi

if [ "${REELCAST_WAYLAND_INNER:-}" != 1 ]; then
    run=$(mktemp -d /tmp/reelcast-wl.XXXXXX)
    chmod 700 "$run"
    base=(env -i REELCAST_WAYLAND_INNER=1 WAYLAND_COMPOSITOR="$compositor" XDG_RUNTIME_DIR="$run" LANG=C.UTF-8
          PATH=/usr/local/bin:/usr/bin:/bin)
    if [ "$(id -u)" = 0 ]; then
        user=reelcast-wl
        id "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user" || exit 77
        home=$(getent passwd "$user" | cut -d: -f6)
        chown "$user:" "$run"
        # The test's files (build folder, temporary folders) must be reachable for the user.
        runuser -u "$user" -- "${base[@]}" HOME="$home" USER="$user" TMPDIR="$run" \
            ${PYTHONDONTWRITEBYTECODE:+PYTHONDONTWRITEBYTECODE=1} \
            dbus-run-session -- "$0" --size "$size" "$@"
    else
        "${base[@]}" HOME="${HOME:-$run}" USER="${USER:-$(id -un)}" TMPDIR="$run" \
            dbus-run-session -- "$0" --size "$size" "$@"
    fi
    rc=$?
    # The document portal's mount in the runtime folder may take a moment to go.
    for _ in $(seq 25); do rm -rf "$run" 2>/dev/null && break; sleep 0.2; done
    exit $rc
fi

# Inside the private session bus, as the test user.
export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GTK_A11Y=none
unset DISPLAY
logs=$XDG_RUNTIME_DIR/logs
mkdir -p "$logs"
export REELCAST_WAYLAND_LOGS=$logs
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null; done
    sleep 0.3
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
}
trap cleanup EXIT
failed() {
    echo "session.sh: $1; its log:" >&2
    tail -20 "$2" >&2
    exit 77
}

pipewire >"$logs/pipewire.log" 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/pipewire-0" ] || failed "PipeWire did not start" "$logs/pipewire.log"
wireplumber >"$logs/wireplumber.log" 2>&1 & pids+=($!)

if [ "$compositor" = mutter ]; then
    mutter --headless --virtual-monitor "$size" --wayland --no-x11 >"$logs/compositor.log" 2>&1 & pids+=($!)
    export REELCAST_COMPOSITOR_PID=$!
    ok=
    for _ in $(seq 150); do
        if [ -S "$XDG_RUNTIME_DIR/wayland-0" ] && gdbus introspect --session --dest org.gnome.Mutter.ScreenCast \
            --object-path /org/gnome/Mutter/ScreenCast >/dev/null 2>&1; then ok=1; break; fi
        sleep 0.2
    done
    [ -n "$ok" ] || failed "mutter did not start" "$logs/compositor.log"
    export WAYLAND_DISPLAY=wayland-0
    # Bus-activated services (the portal, its GNOME backend, the permission store) see the display.
    dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE GSETTINGS_BACKEND \
        NO_AT_BRIDGE GTK_A11Y XDG_RUNTIME_DIR >/dev/null 2>&1
fi
# A sound server with a speaker whose monitor is the system sound, kept running in small blocks by
# a stream of silence (a null sink otherwise renders in two-second bursts).
if command -v pulseaudio >/dev/null && command -v pacat >/dev/null; then
    cat >"$logs/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse.sock
load-module module-null-sink sink_name=reelcast_speaker
set-default-sink reelcast_speaker
PA
    HOME=$XDG_RUNTIME_DIR XDG_CONFIG_HOME=$XDG_RUNTIME_DIR/.config pulseaudio -n -F "$logs/default.pa" \
        --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=stderr --log-level=error \
        >"$logs/pulse.log" 2>&1 & pids+=($!)
    export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse.sock
    for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    pacat --playback --raw --latency-msec=20 --device=reelcast_speaker </dev/zero >/dev/null 2>&1 & pids+=($!)
fi
sleep 0.5
"$@"
