#!/usr/bin/python3
"""The adapter's own CPU time per frame (FFmpeg not counted) while it records 1280x720 at 30 fps:
through the screen cast inside session.sh (--cast, with weston-simple-shm drawing, or --still),
or through its X grab on $DISPLAY (an X server of the same size). Prints one line of figures.

  measure_cpu.py --adapter PATH [--cast] [--still] [--seconds S]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

parser = argparse.ArgumentParser()
parser.add_argument("--adapter", required=True)
parser.add_argument("--cast", action="store_true")
parser.add_argument("--still", action="store_true")
parser.add_argument("--seconds", type=float, default=10)
args = parser.parse_args()
HZ = os.sysconf("SC_CLK_TCK")


def ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


env = dict(os.environ)
fds = ()
client = None
cast = None
if args.cast:
    import screencast
    bus = screencast.Gio.bus_get_sync(screencast.Gio.BusType.SESSION, None)
    cast = screencast.ScreenCast(cursor="metadata", restore_token=screencast.grant_first_monitor(bus))
    fd = cast.open_remote()
    env.update(cast.environment(fd))
    fds = (fd,)
    if not args.still:
        client = subprocess.Popen(["weston-simple-shm"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
folder = tempfile.mkdtemp()
out = os.path.join(folder, "cpu.mp4")
command = ("-y -f gdigrab -offset_x 0 -offset_y 0 -video_size 1280x720 -draw_mouse 1 -i desktop -framerate 30 -r 30 "
           "-c:v libx264 -preset ultrafast -crf 22 -pix_fmt yuv420p -f mp4 " + out).split()
adapter = subprocess.Popen([args.adapter] + command, env=env, pass_fds=fds, stdin=subprocess.PIPE,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
time.sleep(1.5)  # past the start-up
t0, c0 = time.monotonic(), ticks(adapter.pid)
time.sleep(args.seconds)
t1, c1 = time.monotonic(), ticks(adapter.pid)
adapter.stdin.write(b"q\r\n")
adapter.stdin.flush()
adapter.wait()
if client:
    client.terminate()
    client.wait()
frames = subprocess.run(["ffmpeg", "-v", "error", "-i", out, "-f", "framemd5", "-"], capture_output=True,
                        text=True).stdout.split("\n")
hashes = [line.split(",")[-1] for line in frames if line and not line.startswith("#")]
changes = sum(1 for a, b in zip(hashes, hashes[1:]) if a != b)
wall = t1 - t0
cpu = (c1 - c0) / HZ
print("%s%s: %.1f s, adapter cpu %.2f s = %.1f%% of a core, %.2f ms per output frame (30/s), "
      "%d of %d frames in the file changed" % ("cast" if args.cast else "x11", " still" if args.still else "", wall,
                                                cpu, 100 * cpu / wall, 1000 * cpu / (wall * 30), changes, len(hashes)))
if cast:
    cast.close()
