#!/usr/bin/env python3
"""The benchmark's marker on a real desktop: what it draws is what the reader decodes, the white
screen and the tone come when it says, and the benchmark runs through. Run inside
scripts/with-desktop --moving.

    test_marker.py --build BUILD_DIR"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True
BENCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench")
sys.path.insert(0, BENCH)

import bench_analysis as analysis  # noqa: E402

BUILD = None


def pactl(what):
    return subprocess.run(["pactl", what], capture_output=True, text=True, check=True).stdout.strip()


class Marker(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.marker = subprocess.Popen([os.path.join(BUILD, "bench", "av-marker")], stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, text=True)

    def tearDown(self):
        self.marker.stdin.close()
        self.marker.wait(timeout=5)
        self.marker.stdout.close()
        self.tmp.cleanup()

    def test_clock_flash_and_tone_in_a_recording(self):
        geometry = analysis.Geometry.parse(self.marker.stdout.readline())
        self.assertEqual((geometry.width, geometry.height), (1920, 1080))
        path = os.path.join(self.tmp.name, "marker.mp4")
        started = time.time()
        ffmpeg = subprocess.Popen(
            ["ffmpeg", "-v", "error", "-y", "-f", "x11grab", "-framerate", "25", "-video_size", "1920x1080",
             "-i", os.environ["DISPLAY"] + "+0,0", "-f", "pulse", "-i", pactl("get-default-sink") + ".monitor",
             "-t", "3", "-c:v", "libx264", "-preset", "ultrafast", "-crf", "22", "-pix_fmt", "yuv420p",
             "-c:a", "aac", path], stdin=subprocess.DEVNULL)
        time.sleep(1.5)
        self.marker.stdin.write("flash 300\n")
        self.marker.stdin.flush()
        words = self.marker.stdout.readline().split()
        self.assertEqual(words[0], "flash")
        screen, tone = float(words[1]), float(words[2])
        self.assertEqual(ffmpeg.wait(timeout=30), 0)
        ended = time.time()

        # The tone leaves the sink a little after the screen turned white, never before.
        self.assertGreaterEqual(tone - screen, 0)
        self.assertLess(tone - screen, 150)

        frames = analysis.read_frames(path, geometry)
        self.assertGreater(len(frames), 50)
        clocks = [f.clock for f in frames]
        self.assertNotIn(None, clocks)
        self.assertEqual(clocks, sorted(clocks))
        self.assertGreaterEqual(clocks[0], started * 1000)
        self.assertLessEqual(clocks[-1], ended * 1000)
        # Frames 40 ms apart show clocks about 40 ms apart.
        steps = [b - a for a, b in zip(clocks, clocks[1:])]
        self.assertLess(abs(sorted(steps)[len(steps) // 2] - 40), 10)

        white = [f for f in frames if f.white]
        self.assertGreaterEqual(len(white), 5)
        self.assertGreaterEqual(white[0].clock, screen - 5)
        self.assertLess(white[0].clock, screen + 45)
        self.assertLess(white[-1].clock, screen + 300 + 45)
        before = frames[frames.index(white[0]) - 1]
        self.assertLess(before.clock, screen)

        onsets = [t for t in analysis.tone_onsets(path) if t < frames[-1].pts - 0.2]
        self.assertEqual(len(onsets), 1)


class MovingPicture(unittest.TestCase):
    def test_the_whole_screen_moves_and_never_reads_as_white(self):
        with tempfile.TemporaryDirectory() as tmp:
            marker = subprocess.Popen([os.path.join(BUILD, "bench", "av-marker"), "--moving"], stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)
            try:
                geometry = analysis.Geometry.parse(marker.stdout.readline())
                path = os.path.join(tmp, "moving.mkv")
                subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "x11grab", "-framerate", "10", "-video_size",
                                "1920x1080", "-i", os.environ["DISPLAY"] + "+0,0", "-t", "1.5", "-c:v", "libx264",
                                "-preset", "ultrafast", "-qp", "0", path], check=True, timeout=60)
                frames = analysis.read_frames(path, geometry)
                # Away from the clock and the desktop's small moving corner, it changes every frame.
                corner = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-vf", "crop=960:540:480:300",
                                         "-f", "framemd5", "-"], capture_output=True, text=True, check=True).stdout
            finally:
                marker.stdin.close()
                marker.wait(timeout=5)
                marker.stdout.close()
        sums = [line.split(",")[-1].strip() for line in corner.split("\n") if line and not line.startswith("#")]
        self.assertGreaterEqual(len(sums), 10)
        self.assertTrue(all(a != b for a, b in zip(sums, sums[1:])), sums)
        self.assertEqual([f.white for f in frames], [False] * len(frames))
        self.assertNotIn(None, [f.clock for f in frames])


class Benchmark(unittest.TestCase):
    def test_a_short_run_prints_the_figures(self):
        out = subprocess.run(
            [sys.executable, os.path.join(BENCH, "run-benchmark"), "--build", BUILD, "--variants", "direct",
             "--qualities", "0", "--audio", "3", "--seconds", "3", "--marker-at", "2", "--pause", "0.5"],
            capture_output=True, text=True, timeout=120)
        self.assertEqual(out.returncode, 0, out.stderr)
        row = next(line for line in out.stdout.split("\n") if line.startswith("1920x1080   Low"))
        words = row.split()
        self.assertEqual(words[:4], ["1920x1080", "Low", "both", "direct"])
        recorded, cpu, distinct = float(words[4]), float(words[5]), float(words[9])
        self.assertAlmostEqual(recorded, 9.0, delta=0.2)
        self.assertGreater(cpu, 0)
        self.assertGreater(distinct, 10)
        offsets = words[-2].split("/")
        self.assertEqual(len(offsets), 3)
        for offset in offsets:
            self.assertLess(abs(float(offset)), 1000)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args, rest = parser.parse_known_args()
    BUILD = os.path.abspath(args.build)
    unittest.main(argv=[sys.argv[0]] + rest)
