"""The adapter's own screen grab, recorded and decoded (run inside scripts/with-desktop --moving, or
scripts/with-two-screens for SecondHead): a picture of known colours at a known place and the
pointer come out where they are on the screen, through the adapter's grab and through the x11grab
fallback alike; the picture keeps the adapter's clock; "q" and a killed adapter leave readable files."""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import adapter_support as support

ENCODE = "-framerate 18 -r 18 -b:v 300k -crf 22 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"
FALLBACK_NOTE = "the screen is grabbed by FFmpeg (x11grab)"
BACKGROUND = (0x40, 0x60, 0x80)
# Quadrants of the test picture: top left, top right, bottom left, bottom right.
QUADRANTS = [(0xE0, 0x20, 0x20), (0x20, 0xC0, 0x40), (0x20, 0x40, 0xE0), (0xF0, 0xF0, 0xF0)]
# What H.264 at CRF 22 and two colour conversions leave of a flat colour.
TOLERANCE = 10


def gdigrab(x, y, w, h, mouse=1):
    return "-y -f gdigrab -offset_x %d -offset_y %d -video_size %dx%d -draw_mouse %d -i desktop" % (x, y, w, h, mouse)


def descendants(pid):
    with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
        children = [int(child) for child in f.read().split()]
    return children + [grandchild for child in children for grandchild in descendants(child)]


class Desktop:
    """The root filled with BACKGROUND, the test picture's window with its content at `at`."""

    def __init__(self, at):
        self.folder = tempfile.TemporaryDirectory()
        picture = os.path.join(self.folder.name, "quad.png")
        tiles = ["-size", "200x100"]
        subprocess.run(["convert", "("] + tiles + ["xc:#%02X%02X%02X" % QUADRANTS[0]] + tiles
                       + ["xc:#%02X%02X%02X" % QUADRANTS[1], "+append", ")", "("] + tiles
                       + ["xc:#%02X%02X%02X" % QUADRANTS[2]] + tiles + ["xc:#%02X%02X%02X" % QUADRANTS[3],
                                                                       "+append", ")", "-append", picture],
                       check=True)
        subprocess.run(["xsetroot", "-solid", "#%02X%02X%02X" % BACKGROUND], check=True)
        # Without a window manager the window lands where asked; its content starts inside a
        # one-pixel border.
        self.viewer = subprocess.Popen(["display", "-title", "quad", "-geometry", "+%d+%d" % (at[0] - 1, at[1] - 1),
                                        picture])
        deadline = time.monotonic() + 10
        while subprocess.run(["xwininfo", "-name", "quad"], capture_output=True).returncode != 0:
            if time.monotonic() > deadline:
                raise RuntimeError("the test picture did not appear")
            time.sleep(0.1)
        time.sleep(0.5)

    def close(self):
        self.viewer.kill()
        self.viewer.wait()
        self.folder.cleanup()


class Recorder:
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def record(self, arguments, seconds=2, name="segment.mp4", **env):
        path = os.path.join(self.folder.name, name)
        code, output, _, recorded = support.record('%s %s -f mp4 -movflags faststart "%s"' % (arguments, ENCODE, path),
                                                   seconds, support.environment(**env))
        self.assertEqual(code, 0, output[-3000:])
        return path, output, recorded

    def frame(self, path, at=1.0):
        """(width, height, rgb24 bytes) of the frame at `at` seconds."""
        info = support.probe(path)["video"]
        p = subprocess.run(["ffmpeg", "-v", "error", "-ss", str(at), "-i", path, "-frames:v", "1", "-f", "rawvideo",
                            "-pix_fmt", "rgb24", "-"], capture_output=True, check=True)
        return info["width"], info["height"], p.stdout

    @staticmethod
    def mean(frame, x, y, w, h):
        width, _, pixels = frame
        sums = [0, 0, 0]
        for row in range(y, y + h):
            line = pixels[(row * width + x) * 3:(row * width + x + w) * 3]
            for c in range(3):
                sums[c] += sum(line[c::3])
        return tuple(s / (w * h) for s in sums)

    @staticmethod
    def largest_difference(frame, x, y, w, h, colour):
        width, _, pixels = frame
        return max(abs(pixels[(row * width + col) * 3 + c] - colour[c])
                   for row in range(y, y + h) for col in range(x, x + w) for c in range(3))

    def assertColour(self, actual, expected, what):
        self.assertTrue(all(abs(a - e) <= TOLERANCE for a, e in zip(actual, expected)),
                        "%s: %s, expected %s" % (what, tuple(round(a) for a in actual), expected))

    def assertPicture(self, frame, left, top):
        """The test picture's content starts at (left, top) of the frame."""
        for i, colour in enumerate(QUADRANTS):
            x = left + (i % 2) * 200 + 50
            y = top + (i // 2) * 100 + 25
            self.assertColour(self.mean(frame, x, y, 100, 50), colour, "quadrant %d" % i)


class ScreenGrab(Recorder, unittest.TestCase):
    PICTURE = (601, 401)  # where the test picture's content is on the screen
    POINTER = (580, 380)  # over the background, left above the picture

    @classmethod
    def setUpClass(cls):
        cls.desktop = Desktop(cls.PICTURE)
        subprocess.run(["xdotool", "mousemove", str(cls.POINTER[0]), str(cls.POINTER[1])], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.desktop.close()

    def test_known_picture_and_pointer_through_both_paths(self):
        # An area at odd offsets; the adapter's grab also takes an odd size (the encoder takes even
        # sizes only), which x11grab passes on to fail in the encoder.
        means = {}
        for capture, mouse, area in [(None, 1, (551, 351, 601, 401)), (None, 0, (551, 351, 601, 401)),
                                     ("ffmpeg", 1, (551, 351, 600, 400))]:
            with self.subTest(capture=capture or "adapter", draw_mouse=mouse):
                path, output, _ = self.record(gdigrab(*area, mouse=mouse), REELCAST_CAPTURE=capture)
                self.assertEqual(FALLBACK_NOTE in output, capture == "ffmpeg", output[-2000:])
                frame = self.frame(path)
                self.assertEqual(frame[:2], (600, 400))
                self.assertPicture(frame, self.PICTURE[0] - area[0], self.PICTURE[1] - area[1])
                self.assertColour(self.mean(frame, 2, 2, 16, 16), BACKGROUND, "background")
                # The pointer's hot spot is inside its image, which spans a few pixels around it.
                px, py = self.POINTER[0] - area[0], self.POINTER[1] - area[1]
                pointer = self.largest_difference(frame, px - 8, py - 8, 17, 17, BACKGROUND)
                if mouse:
                    self.assertGreater(pointer, 60, "no pointer drawn")
                else:
                    self.assertLess(pointer, 2 * TOLERANCE, "a pointer drawn")
                means[capture, mouse] = [self.mean(frame, 50 + (i % 2) * 200, 50 + (i // 2) * 100, 200, 100)
                                         for i in range(4)]
        # Both paths convert to the same colours.
        for ours, theirs in zip(means[None, 1], means["ffmpeg", 1]):
            self.assertLessEqual(sum(abs(a - b) for a, b in zip(ours, theirs)) / 3, 2.0, (ours, theirs))

    def test_area_beyond_the_screen_edge_is_black_there(self):
        path, _, _ = self.record(gdigrab(1920 - 100, 1080 - 60, 200, 120, mouse=0))
        frame = self.frame(path)
        self.assertEqual(frame[:2], (200, 120))
        self.assertColour(self.mean(frame, 10, 10, 80, 40), BACKGROUND, "on the screen")
        self.assertColour(self.mean(frame, 110, 70, 80, 40), (0, 0, 0), "beyond the edge")

    def test_picture_keeps_the_clock_and_q_ends_a_valid_file(self):
        path, _, recorded = self.record(gdigrab(0, 0, 1920, 1080), seconds=4)
        frames = support.frame_hashes(path)
        first, end = support.packet_times(path, "v")
        duration = end - first
        print("\nrecorded %.3f s, video %.3f s, %d frames" % (recorded, duration, len(frames)))
        self.assertAlmostEqual(first, 0.0, delta=0.001)
        # Frames from before FFmpeg was ready are kept, and the run ends when "q" comes.
        self.assertAlmostEqual(duration, recorded, delta=0.1)
        self.assertEqual(len(frames), round(duration * 18))
        # The moving test picture in the corner changes every frame when all goes well.
        distinct = sum(1 for a, b in zip(frames, frames[1:]) if a[1] != b[1])
        self.assertGreaterEqual(distinct / duration, 14.0)

    def test_killed_adapter_leaves_no_encoder_and_a_readable_file(self):
        path = os.path.join(self.folder.name, "killed.mp4")
        args = (gdigrab(0, 0, 1920, 1080) + " " + ENCODE + " -f mp4 -movflags faststart " + path).split()
        # FFmpeg's program as the adapter's child; the adapter's own encoding has none.
        adapter = subprocess.Popen([support.ADAPTER] + args, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, env=support.environment(REELCAST_ENCODE="ffmpeg"))
        try:
            time.sleep(3)
            encoder = [pid for pid in descendants(adapter.pid) if os.readlink("/proc/%d/exe" % pid) == "/usr/bin/ffmpeg"]
            self.assertEqual(len(encoder), 1)
            adapter.send_signal(signal.SIGKILL)
            adapter.wait()
            deadline = time.monotonic() + 15
            while os.path.exists("/proc/%d" % encoder[0]) and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertFalse(os.path.exists("/proc/%d" % encoder[0]), "FFmpeg outlived its adapter")
        finally:
            if adapter.poll() is None:
                adapter.kill()
                adapter.wait()
            adapter.stdin.close()
        # Told to finish once, FFmpeg closed its file as "q" would have: nothing of the last second lost.
        self.assertGreater(float(support.probe(path)["format"]["duration"]), 2.5)


class SecondHead(Recorder, unittest.TestCase):
    """Two 1280x720 heads side by side (scripts/with-two-screens)."""

    PICTURE = (1280 + 101, 101)

    @classmethod
    def setUpClass(cls):
        cls.desktop = Desktop(cls.PICTURE)

    @classmethod
    def tearDownClass(cls):
        cls.desktop.close()

    def test_area_on_the_second_head_and_the_whole_desktop(self):
        path, output, _ = self.record(gdigrab(1280 + 51, 51, 500, 300, mouse=0))
        self.assertNotIn(FALLBACK_NOTE, output)
        frame = self.frame(path)
        self.assertEqual(frame[:2], (500, 300))
        self.assertPicture(frame, 50, 50)
        path, _, _ = self.record('-y -f dshow -i video="screen-capture-recorder"', name="desktop.mp4")
        frame = self.frame(path)
        self.assertEqual(frame[:2], (2560, 720))
        self.assertPicture(frame, *self.PICTURE)


if __name__ == "__main__":
    unittest.main(argv=support.take_paths(sys.argv), verbosity=2)
