"""Segments as a killed encoder leaves them: for every container the program offers, a recording
whose encoder gets SIGKILL keeps all but its last 2 s, and the concat merge of such a segment with
a finished one gives a file of the chosen container with both. Run inside scripts/with-desktop:
the camera on simulated devices is encoded by FFmpeg's program, the screen by the adapter itself."""

import itertools
import os
import re
import shlex
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import adapter_support as support

# The program's camera command with both sounds, simulated devices, for each container.
RECORD = ('-y -f dshow -video_size 640x480 -i video="Test Camera" -f dshow -i audio="virtual-audio-capturer" '
          '-framerate 18 -r 18 -b:v 300k -crf 22 -c:v libx264 -preset ultrafast -pix_fmt yuv420p '
          '-ar 44100 -ab 128k  -c:a aac -f %s -movflags faststart "%s"')
SCREEN = ('-y -f gdigrab -offset_x 0 -offset_y 0 -video_size 640x480 -draw_mouse 1 -i desktop '
          '-f dshow -i audio="virtual-audio-capturer" -framerate 18 -r 18 -b:v 300k -crf 22 -c:v libx264 '
          '-preset ultrafast -pix_fmt yuv420p -ar 44100 -ab 128k  -c:a aac -f %s -movflags faststart "%s"')
COMMANDS = {"camera": (RECORD, {"REELCAST_DEVICES": "simulated"}), "screen": (SCREEN, {})}
CONTAINERS = {"mp4": "mp4", "flv": "flv", "avi": "avi", "wmv": "asf"}
MAX_LOSS = 2.0
TIME = re.compile(rb"time=(\d\d):(\d\d):(\d\d\.\d\d)")


def start(arguments, env):
    return subprocess.Popen([support.ADAPTER] + shlex.split(arguments), env=env, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def watch(process, progress):
    """Keeps the last progress time and the moment it was read in `progress`."""
    for chunk in iter(lambda: process.stdout.read1(4096), b""):
        found = TIME.findall(chunk)
        if found:
            h, m, s = found[-1]
            progress[:] = [int(h) * 3600 + int(m) * 60 + float(s), time.monotonic()]


def record_and_kill(arguments, seconds, env):
    """Records until `seconds` of progress, kills the encoder; the seconds it had recorded."""
    process = start(arguments, env)
    progress = [0.0, time.monotonic()]
    reader = threading.Thread(target=watch, args=(process, progress), daemon=True)
    reader.start()
    deadline = time.monotonic() + seconds + 20
    while progress[0] < seconds and time.monotonic() < deadline and process.poll() is None:
        time.sleep(0.05)
    recorded = progress[0] + (time.monotonic() - progress[1])
    process.send_signal(signal.SIGKILL)
    process.wait()
    reader.join(5)
    return recorded


def video_end(path):
    """End of the last picture in `path` (AVI and ASF packets carry only decoding times); 0 when
    the file cannot be read or holds no picture."""
    p = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                        "packet=pts_time,dts_time,duration_time", "-of", "csv=p=0", path],
                       capture_output=True, text=True)
    end = 0.0
    for line in p.stdout.split("\n"):
        fields = [f for f in line.strip().split(",")]
        if len(fields) < 3:
            continue
        stamp = fields[0] if fields[0] not in ("", "N/A") else fields[1]
        if stamp in ("", "N/A"):
            continue
        end = max(end, float(stamp) + (float(fields[2]) if fields[2] not in ("", "N/A") else 0.0))
    return end


class KilledSegments(unittest.TestCase):
    def test_every_container_survives_a_kill_and_merges(self):
        for (source, (command, variables)), (name, format_name) in itertools.product(COMMANDS.items(),
                                                                                     CONTAINERS.items()):
            env = support.environment(**variables)
            with self.subTest(source=source, container=name), tempfile.TemporaryDirectory() as folder:
                killed = os.path.join(folder, "2024-05-01-10-20-30.bak")
                recorded = record_and_kill(command % (name, killed), 3.5, env)
                kept = video_end(killed)
                self.assertLessEqual(recorded - kept, MAX_LOSS,
                                     "%s: %.2f s recorded, %.2f s readable" % (name, recorded, kept))

                finished = os.path.join(folder, "2024-05-01-10-20-40.bak")
                code, out, _, _ = support.record(command % (name, finished), 2, env)
                self.assertEqual(code, 0, out[-2000:])
                listing = os.path.join(folder, "concat.txt")
                with open(listing, "w", encoding="utf-8") as f:
                    f.write("file '%s'\r\nfile '%s'\r\n" % (killed, finished))
                merged = os.path.join(folder, "Rec 2024-05-01-10-20-30.bak")
                code, _, err = support.run('-y -f concat -safe 0 -i "%s" -c copy -f %s "%s"'
                                           % (listing, name, merged))
                self.assertEqual(code, 0, err[-2000:])
                info = support.probe(merged)
                self.assertIn(format_name, info["format"]["format_name"].split(","))
                self.assertEqual(info["video"]["codec_name"], "h264")
                self.assertEqual(info["audio"]["codec_name"], "aac")
                self.assertGreater(video_end(merged), kept + 1.5)


if __name__ == "__main__":
    unittest.main(argv=support.take_paths(sys.argv), verbosity=2)
