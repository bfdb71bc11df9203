"""The encoder adapter on a Wayland desktop, run inside session.sh: recordings read from the
desktop's screen cast through PipeWire.

RealPortal (headless mutter, the real portal with a pre-seeded grant): the picture of the whole
monitor and of an area keeps the recorded time while the screen stands still (the desktop sends
no frames then), moves when a client draws, and the snapshot is the monitor's picture.
FakePortal (no compositor): a cast the desktop ends mid-run leaves a readable file and status 3;
a remote that cannot be used fails before FFmpeg starts, without falling back to X; two monitors at
different scales make one desktop."""

import os
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "encoder"))
import adapter_support as support  # noqa: E402
import screencast  # noqa: E402

RATE = 18
ENCODE = "-framerate %d -r %d -b:v 300k -crf 22 -c:v libx264 -preset ultrafast -pix_fmt yuv420p" % (RATE, RATE)
# Lossless, so that frames sent alike decode alike.
LOSSLESS = "-framerate %d -r %d -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p" % (RATE, RATE)
ENDED = "pipewire stream ended"


def gdigrab(x, y, w, h, mouse=1):
    return "-y -f gdigrab -offset_x %d -offset_y %d -video_size %dx%d -draw_mouse %d -i desktop" % (x, y, w, h, mouse)


def move_pointer(dx, dy):
    """Moves mutter's pointer by (dx, dy) through its remote-desktop interface."""
    bus = screencast.Gio.bus_get_sync(screencast.Gio.BusType.SESSION, None)
    name = "org.gnome.Mutter.RemoteDesktop"

    def call(path, iface, method, params=None):
        return bus.call_sync(name, path, iface, method, params, None, screencast.Gio.DBusCallFlags.NONE, -1,
                             None).unpack()
    (session,) = call("/org/gnome/Mutter/RemoteDesktop", name, "CreateSession")
    call(session, name + ".Session", "Start")
    call(session, name + ".Session", "NotifyPointerMotionRelative", screencast.GLib.Variant("(dd)", (dx, dy)))
    time.sleep(0.3)
    call(session, name + ".Session", "Stop")


class CastRecorder:
    cast = None

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def record(self, screen, seconds, name="segment.mp4", streams=None, encode=ENCODE, **env):
        """Records `screen` for `seconds` through a fresh remote of the cast: (exit code, output,
        file, recorded seconds)."""
        path = os.path.join(self.folder.name, name)
        fd = self.cast.open_remote()
        try:
            environment = support.environment(**dict(self.cast.environment(fd, streams), **env))
            code, output, _, recorded = support.record('%s %s -f mp4 -movflags faststart "%s"' % (screen, encode, path),
                                                       seconds, environment, pass_fds=(fd,))
        finally:
            os.close(fd)
        return code, output, path, recorded

    def snapshot(self, streams=None, **env):
        path = os.path.join(self.folder.name, "snapshot.ppm")
        fd = self.cast.open_remote()
        try:
            p = subprocess.run([support.ADAPTER, "--snapshot", path], capture_output=True, text=True, timeout=30,
                               env=support.environment(**dict(self.cast.environment(fd, streams), **env)),
                               pass_fds=(fd,))
        finally:
            os.close(fd)
        return p.returncode, p.stderr, path

    def assertKeepsTime(self, path, recorded, size):
        info = support.probe(path)["video"]
        self.assertEqual((info["width"], info["height"]), size)
        frames = support.frame_hashes(path)
        first, end = support.packet_times(path, "v")
        self.assertAlmostEqual(first, 0.0, delta=0.001)
        self.assertAlmostEqual(end - first, recorded, delta=0.15)
        self.assertEqual(len(frames), round((end - first) * RATE))
        return frames


class RealPortal(CastRecorder, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        bus = screencast.Gio.bus_get_sync(screencast.Gio.BusType.SESSION, None)
        cls.cast = screencast.ScreenCast(cursor="metadata", restore_token=screencast.grant_first_monitor(bus))

    @classmethod
    def tearDownClass(cls):
        cls.cast.close()

    def test_still_screen_keeps_the_recorded_time(self):
        self.assertEqual([(pos, size) for _, pos, size in self.cast.streams], [((0, 0), (1280, 720))])
        for what, screen, size in [("monitor", gdigrab(0, 0, 1280, 720), (1280, 720)),
                                   ("odd area", gdigrab(101, 51, 401, 301), (400, 300)),
                                   ("desktop", '-y -f dshow -i video="screen-capture-recorder"', (1280, 720))]:
            with self.subTest(what):
                code, output, path, recorded = self.record(screen, 3, encode=LOSSLESS)
                self.assertEqual(code, 0, output[-2000:])
                # The wayland benchmark splits the start by this line.
                self.assertRegex(output, r"\[pipewire @ remote\] streaming \d+ ms after connecting, first picture "
                                         r"\d+ ms later")
                frames = self.assertKeepsTime(path, recorded, size)
                # Nothing moves: the one picture the desktop sent, repeated.
                self.assertLessEqual(len({md5 for _, md5 in frames}), 2)

    def test_sound_on_the_picture_clock(self):
        if "PULSE_SERVER" not in os.environ:
            self.skipTest("no sound server")
        code, output, path, recorded = self.record(gdigrab(0, 0, 1280, 720) +
                                                   ' -f dshow -i audio="virtual-audio-capturer" -ar 44100 -c:a aac',
                                                   3)
        self.assertEqual(code, 0, output[-2000:])
        self.assertKeepsTime(path, recorded, (1280, 720))
        first, end = support.packet_times(path, "a")
        self.assertLess(first, 0.05)
        self.assertAlmostEqual(end - first, recorded, delta=0.15)

    def test_moving_picture_gives_distinct_frames(self):
        client = subprocess.Popen(["weston-simple-shm"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(1)
            code, output, path, recorded = self.record(gdigrab(0, 0, 1280, 720), 4)
        finally:
            client.terminate()
            client.wait()
        self.assertEqual(code, 0, output[-2000:])
        frames = self.assertKeepsTime(path, recorded, (1280, 720))
        distinct = sum(1 for a, b in zip(frames, frames[1:]) if a[1] != b[1])
        print("\n%d frames, %d changes in %.2f s" % (len(frames), distinct, recorded))
        # Software rendering here draws 15-35 frames a second; at least half of the frames change.
        self.assertGreaterEqual(distinct, len(frames) // 2)

    def frame(self, path, at=1.0):
        return subprocess.run(["ffmpeg", "-v", "error", "-ss", str(at), "-i", path, "-frames:v", "1", "-f", "rawvideo",
                               "-pix_fmt", "rgb24", "-"], capture_output=True, check=True).stdout

    def test_pointer_from_the_cursor_metadata(self):
        move_pointer(100, 60)
        frames = {}
        for mouse in (1, 0):
            code, output, path, _ = self.record(gdigrab(0, 0, 1280, 720, mouse=mouse), 2, name="m%d.mp4" % mouse,
                                                encode=LOSSLESS)
            self.assertEqual(code, 0, output[-2000:])
            frames[mouse] = self.frame(path)
        # The two differ only in the pointer's few pixels.
        row = 1280 * 3
        rows = [y for y in range(720) if frames[0][y * row:(y + 1) * row] != frames[1][y * row:(y + 1) * row]]
        self.assertTrue(rows, "no pointer drawn")
        columns = [x for x in range(1280) for y in rows
                   if frames[0][y * row + x * 3:y * row + x * 3 + 3] != frames[1][y * row + x * 3:y * row + x * 3 + 3]]
        print("\npointer drawn at %d..%d, %d..%d" % (min(columns), max(columns), rows[0], rows[-1]))
        self.assertLessEqual(rows[-1] - rows[0], 64)
        self.assertLessEqual(max(columns) - min(columns), 64)

    def test_cast_closed_by_the_desktop_ends_the_run(self):
        bus = screencast.Gio.bus_get_sync(screencast.Gio.BusType.SESSION, None)
        own = screencast.ScreenCast(cursor="metadata", restore_token=screencast.grant_first_monitor(bus))
        fd = own.open_remote()
        path = os.path.join(self.folder.name, "ended.mp4")
        try:
            adapter = subprocess.Popen([support.ADAPTER] + (gdigrab(0, 0, 1280, 720) + " " + ENCODE + " -f mp4 " +
                                                            path).split(),
                                       env=support.environment(**own.environment(fd)), pass_fds=(fd,),
                                       stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        finally:
            os.close(fd)
        time.sleep(2)
        own.close()  # the desktop ends the cast (the user stopped sharing)
        error = adapter.communicate(timeout=20)[1].decode()
        self.assertEqual(adapter.returncode, 3, error[-2000:])
        self.assertTrue(error.rstrip().endswith(ENDED), error[-500:])
        self.assertAlmostEqual(float(support.probe(path)["format"]["duration"]), 2.0, delta=0.5)

    def test_snapshot_is_the_monitor_picture(self):
        started = time.monotonic()
        code, error, path = self.snapshot()
        self.assertEqual(code, 0, error)
        self.assertLess(time.monotonic() - started, 5)
        with open(path, "rb") as f:
            data = f.read()
        header = b"P6\n1280 720\n255\n"
        self.assertTrue(data.startswith(header), data[:20])
        self.assertEqual(len(data), len(header) + 1280 * 720 * 3)
        # mutter's background is a blue gradient, not XWayland's black.
        pixels = data[len(header):]
        centre = (360 * 1280 + 640) * 3
        self.assertGreater(pixels[centre + 2], 60, pixels[centre:centre + 3])


class FakePortal(CastRecorder, unittest.TestCase):
    """fake_portal.py as the portal: a GStreamer test picture per session."""

    def start_portal(self, *args):
        log = open(os.path.join(os.environ.get("REELCAST_WAYLAND_LOGS", self.folder.name), "fake-portal.log"), "a")
        portal = subprocess.Popen([sys.executable, os.path.join(HERE, "fake_portal.py")] + list(args), stdout=log,
                                  stderr=subprocess.STDOUT)
        self.addCleanup(lambda: (portal.terminate(), portal.wait(), log.close()))
        deadline = time.monotonic() + 10
        while True:
            try:
                cast = screencast.ScreenCast(cursor="hidden")
                self.addCleanup(cast.close)
                return cast
            except Exception:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)

    def test_cast_ended_by_the_desktop_ends_the_run_with_a_readable_file(self):
        self.cast = self.start_portal("--closed-after", "2.5")
        started = time.monotonic()
        code, output, path, _ = self.record(gdigrab(0, 0, 1280, 720, mouse=0), 6)
        self.assertEqual(code, 3, output[-2000:])
        self.assertIn(ENDED, output)
        duration = float(support.probe(path)["format"]["duration"])
        print("\ncast ended after %.1f s; file %.2f s" % (2.5, duration))
        self.assertGreater(duration, 1.0)
        self.assertLess(duration, 2.5 + 0.5)
        self.assertLess(time.monotonic() - started, 10)

    def test_unusable_remote_fails_before_ffmpeg(self):
        self.cast = self.start_portal()
        node = self.cast.streams[0][0]
        for what, env in [("closed descriptor", {"REELCAST_PIPEWIRE_FD": "97"}),
                          ("not a descriptor", {"REELCAST_PIPEWIRE_FD": "x"}),
                          ("no such node", {"REELCAST_PIPEWIRE_STREAMS": "%d@0,0,1280x720" % (node + 5000)}),
                          ("bad layout", {"REELCAST_PIPEWIRE_STREAMS": "%d@0,0" % node})]:
            with self.subTest(what):
                # An X server that must not be asked: the adapter would fail differently there.
                code, output, path, _ = self.record(gdigrab(0, 0, 640, 480), 1, DISPLAY=":97", **env)
                self.assertNotEqual(code, 0, output)
                self.assertIn("[pipewire @ remote]", output)
                self.assertIn("desktop: Input/output error", output)
                self.assertNotIn("x11grab", output)
                self.assertNotIn("ffmpeg version", output)
                self.assertFalse(os.path.exists(path))
        code, error, _ = self.snapshot(REELCAST_PIPEWIRE_FD="97")
        self.assertNotEqual(code, 0)
        self.assertIn("snapshot", error)

    def test_two_monitors_side_by_side(self):
        # One node as two monitors: 640x360 at logical 640x360, and the same pixels at logical
        # 320x180 to its right (a monitor at scale 2).
        self.cast = self.start_portal("--size", "640x360")
        node = self.cast.streams[0][0]
        streams = [(node, (0, 0), (640, 360)), (node, (640, 0), (320, 180))]
        code, error, path = self.snapshot(streams)
        self.assertEqual(code, 0, error)
        with open(path, "rb") as f:
            data = f.read()
        # In the pixels of the finer monitor: the whole desktop at twice its logical size.
        header = b"P6\n1920 720\n255\n"
        self.assertTrue(data.startswith(header), data[:20])
        self.assertEqual(len(data), len(header) + 1920 * 720 * 3)
        code, output, path, recorded = self.record('-y -f dshow -i video="screen-capture-recorder"', 2,
                                                   streams=streams)
        self.assertEqual(code, 0, output[-2000:])
        self.assertKeepsTime(path, recorded, (960, 360))


if __name__ == "__main__":
    unittest.main(argv=support.take_paths(sys.argv))
