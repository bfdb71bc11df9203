#!/usr/bin/env python3
"""The capture benchmark's own parts: the command lines it runs, and the reading and arithmetic
that turn a recording into figures (on synthetic recordings with known answers)."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))

import bench_analysis as analysis  # noqa: E402
import bench_commands as commands  # noqa: E402
import bench_report as report  # noqa: E402
import bench_targets as targets  # noqa: E402

SEGMENT = "/videos/Vexlo录屏助手/2024-05-01-10-20-30/2024-05-01-10-20-30.bak"
ENCODING_18 = "-framerate 18 -r 18 -b:v 300k -crf 22 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"


class CommandLines(unittest.TestCase):
    def test_the_program_shapes(self):
        self.assertEqual(
            commands.program_arguments(1, commands.SYSTEM_ONLY, "Mic A", SEGMENT),
            "-y -f gdigrab -offset_x 0 -offset_y 0 -video_size 1920x1080 -draw_mouse 1 -i desktop "
            '-f dshow -i audio="virtual-audio-capturer" ' + ENCODING_18 +
            ' -ar 44100 -ab 128k  -c:a aac -f mp4 -movflags faststart "' + SEGMENT + '"')
        both = commands.program_arguments(3, commands.SYSTEM_AND_MICROPHONE, "Mic A", SEGMENT)
        self.assertIn('-i desktop -f dshow -i audio="Mic A" -f dshow -i audio="virtual-audio-capturer" '
                      "-filter_complex amix=inputs=2:duration=first:dropout_transition=2 "
                      "-framerate 24 -r 24 -b:v 800k -crf 18 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
                      "-ar 48000 -ab 256k  -c:a aac -f mp4 ", both)
        # No sound: no sound options at all; no microphone: no microphone input and no mix.
        silent = commands.program_arguments(0, commands.NO_AUDIO, "Mic A", SEGMENT)
        self.assertTrue(silent.endswith('-crf 24 -c:v libx264 -preset ultrafast -pix_fmt yuv420p '
                                        '-f mp4 -movflags faststart "' + SEGMENT + '"'))
        self.assertNotIn("-ar", silent)
        lonely = commands.program_arguments(1, commands.SYSTEM_AND_MICROPHONE, "", SEGMENT)
        self.assertNotIn("amix", lonely)
        self.assertEqual(lonely.count("-f dshow"), 1)
        # Odd sizes are evened as the program does.
        self.assertIn("-offset_x 100 -offset_y 200 -video_size 1000x600 ",
                      commands.program_arguments(1, 0, "", SEGMENT, (100, 200, 1001, 601)))

    def test_split_like_the_process_launcher(self):
        self.assertEqual(commands.split_command('-ab 128k  -c:a aac -i audio="virtual-audio-capturer"'),
                         ["-ab", "128k", "-c:a", "aac", "-i", "audio=virtual-audio-capturer"])
        self.assertEqual(commands.split_command('-i "/tmp/a b/Rec 1.bak" x'), ["-i", "/tmp/a b/Rec 1.bak", "x"])
        self.assertEqual(commands.split_command('say """hi"""'), ["say", '"hi"'])
        self.assertEqual(commands.split_command('  ""  a'), ["a"])

    def test_direct_command_replaces_only_the_inputs(self):
        args = commands.split_command(
            commands.program_arguments(2, commands.SYSTEM_AND_MICROPHONE, "reelcast_mic", "/w/s.bak",
                                       (100, 200, 640, 480)))
        direct = commands.direct_arguments(args, ":7", "speaker.monitor")
        self.assertEqual(direct[:15], ["-y", "-f", "x11grab", "-video_size", "640x480", "-draw_mouse", "1",
                                       "-i", ":7+100,200", "-f", "pulse", "-i", "reelcast_mic",
                                       "-f", "pulse"])
        self.assertEqual(direct[15:17], ["-i", "speaker.monitor"])
        # Everything after the inputs is untouched, in order.
        tail = args[args.index("-filter_complex"):]
        self.assertEqual(direct[17:], tail)

    def test_merge(self):
        self.assertEqual(commands.concat_list(["/w/a.bak", "/w/b.bak"]), "file '/w/a.bak'\r\nfile '/w/b.bak'\r\n")
        self.assertEqual(commands.split_command(commands.concat_arguments("/w/concat.txt", "/w/Rec a.bak")),
                         ["-y", "-f", "concat", "-safe", "0", "-i", "/w/concat.txt", "-c", "copy", "-f", "mp4",
                          "/w/Rec a.bak"])


def frame(pts, checksum, clock, white=False):
    return analysis.Frame(pts, checksum, clock, white)


class Figures(unittest.TestCase):
    def test_clock_blocks(self):
        value = 0b101100111000111100001010
        upper = [16 if (value >> (23 - i)) & 1 else 235 for i in range(24)]
        lower = [251 - u for u in upper]
        self.assertEqual(analysis.decode_clock(upper, lower, 24), value)
        # One smeared block makes the whole value unreadable rather than wrong.
        upper[5] = lower[5] = 120
        self.assertIsNone(analysis.decode_clock(upper, lower, 24))

    def test_run_figures(self):
        # Two segments at 20 frames per second. The first starts 0.2 s after launch with its first
        # picture repeated twice (frozen 0.15 s); its flash is at 100.5 s and the tone leaves the
        # sink 20 ms later, and the recording has it 30 ms later still. The second has a tone
        # that no recorded sound matches.
        first = analysis.Segment(100.0, 101.0, 101.1, 0.5, flash_screen=100500.0, flash_tone=100520.0)
        second = analysis.Segment(102.0, 103.0, 103.2, 0.3, flash_screen=102500.0, flash_tone=102510.0)
        frames = []
        for k in range(16):
            clock = 100200.0 + 50 * k if k >= 3 else 100200.0
            frames.append(frame(0.05 * k, "A" if k < 3 else "F%d" % k, clock, white=clock >= 100500))
        for k in range(17):
            clock = 102100.0 + 50 * k
            frames.append(frame(0.8 + 0.05 * k, "S%d" % k, clock, white=clock >= 102540))
        # First white frame of the first segment: pts 0.30, grabbed 0 ms after the flash.
        onsets = [0.30 + 0.020 + 0.030, 5.0]
        info = {"file": 1.6, "audio": 1.55, "video": 1.65}
        fig = analysis.analyse(frames, onsets, [first, second], info, [0.8, None])

        self.assertAlmostEqual(fig.recorded, 2.0)
        # Each run on its own: 0.8 s of file for 1.0 s recorded; the second file was unreadable.
        self.assertAlmostEqual(fig.run_shortfall[0], -0.2)
        self.assertIsNone(fig.run_shortfall[1])
        self.assertAlmostEqual(fig.cpu_per_second, 0.4)
        self.assertEqual((fig.frames, fig.duplicates), (33, 2))
        self.assertAlmostEqual(fig.distinct_per_second, 31 / 1.65)
        self.assertAlmostEqual(fig.distinct_per_recorded_second, 31 / 2.0)
        # The first run's frozen start: three frames showing one clock, then 150 ms to the next.
        self.assertAlmostEqual(fig.longest_gap, 0.150)
        self.assertAlmostEqual(fig.first_frame[0], 0.2)
        self.assertAlmostEqual(fig.first_frame[1], 0.1)
        self.assertAlmostEqual(fig.frozen_start[0], 0.15)
        self.assertAlmostEqual(fig.frozen_start[1], 0.05)
        self.assertAlmostEqual(fig.offsets[0], 0.030)
        self.assertIsNone(fig.offsets[1])
        self.assertEqual([round(x, 3) for x in fig.quit_to_exit], [0.1, 0.2])

    def test_picture_onset_uses_how_long_the_screen_had_been_white(self):
        frames = [frame(1.0, "a", 4990.0), frame(1.05, "b", 5040.0, True), frame(1.1, "c", 5090.0, True)]
        self.assertAlmostEqual(analysis.picture_onset(frames, 5000.0), 1.01)
        self.assertIsNone(analysis.picture_onset(frames[:1], 5000.0))

    def test_frames_follow_their_segment_through_an_unreadable_clock(self):
        segs = [analysis.Segment(10.0, 11.0, 11.1, 0), analysis.Segment(12.0, 13.0, 13.1, 0)]
        frames = [frame(0.0, "a", 10100.0), frame(0.1, "b", None), frame(0.2, "c", 12050.0),
                  frame(0.3, "d", None)]
        groups = analysis.split_by_segment(frames, segs)
        self.assertEqual([[f.checksum for f in g] for g in groups], [["a", "b"], ["c", "d"]])

    def test_ratios_and_table(self):
        self.assertAlmostEqual(report.ratio(1.0, 4.0), 0.25)
        self.assertAlmostEqual(report.ratio(-0.03, 0.12, signed=True), 0.25)
        self.assertIsNone(report.ratio(1.0, 0.0))
        self.assertIsNone(report.ratio(None, 1.0))

        fig = analysis.Figures(recorded=10.0, cpu_per_second=0.2, frames=180, duplicates=18,
                               distinct_per_second=16.2, first_frame=[0.2, 0.3], frozen_start=[0.05],
                               quit_to_exit=[0.1], file_duration=9.9, audio_duration=9.8,
                               video_duration=9.9, offsets=[0.01, None, -0.02],
                               run_shortfall=[-0.05, 0.02, -0.11])
        slow = analysis.Figures(**{**fig.__dict__, "cpu_per_second": 0.4, "offsets": [0.1, 0.2, 0.1]})
        case = report.Case(1, 3, {"adapter": fig, "direct": slow})
        failed = report.Case(2, 0, {"adapter": None, "direct": slow})
        lines = report.format_table([case, failed]).split("\n")
        self.assertEqual(len(lines), 1 + 3 + 2 + 1)
        self.assertIn("Recommended both   adapter", lines[1])
        self.assertIn("+10/-/-20", lines[1])
        self.assertIn(" 0.30 ", lines[1])  # worst first frame
        self.assertIn(" -0.11 ", lines[1])  # the run farthest from its recorded time
        self.assertIn(" 0.50 ", lines[3])  # CPU ratio
        self.assertIn("0.10/-/0.20", lines[3])
        self.assertIn("recording failed", lines[4])
        self.assertTrue(lines[5].lstrip().startswith("direct"))


class Targets(unittest.TestCase):
    def figures(self, **values):
        fig = analysis.Figures(recorded=9.0, file_duration=9.05, video_duration=9.05, audio_duration=9.0,
                               ms_per_frame=10.0, peak_mib=60.0, distinct_per_recorded_second=23.8,
                               offsets=[0.01, -0.03, 0.0], run_shortfall=[0.02, -0.01, 0.0])
        return analysis.Figures(**{**fig.__dict__, **values})

    def verdict(self, name, adapter, ssr, ssr_base=None, watch=""):
        preset = targets.PRESETS[name]
        cases = [report.Case(1, 0, {"ssr": ssr_base}, name=preset.base)] if preset.base else []
        cases.append(report.Case(preset.quality, preset.audio, {"adapter": adapter, "ssr": ssr}, name=name))
        lines = [line for line in targets.verdicts(cases) if line.startswith(name + " ") and watch in line]
        self.assertEqual(len(lines), 1, lines)
        return lines[0].split()[-1]

    def test_each_target_against_its_limit(self):
        f, ssr = self.figures, self.figures(ms_per_frame=12.0, peak_mib=100.0)
        # (case, adapter, ssr, ssr without sound, the target's words, verdict)
        table = [
            ("1080p", f(ms_per_frame=10.2), ssr, None, "CPU", "holds"),  # 0.85 exactly
            ("1080p", f(ms_per_frame=10.3), ssr, None, "CPU", "FAILS"),
            ("1080p", f(peak_mib=61.0), ssr, None, "memory", "FAILS"),
            ("1080p", f(ms_per_frame=None), ssr, None, "CPU", "unknown"),
            # 0.85 x 10 without sound, plus the 3 ms sound adds to ssr's: 11.5
            ("1080p-sound", f(ms_per_frame=11.5), f(ms_per_frame=13.0), f(ms_per_frame=10.0), "CPU", "holds"),
            ("1080p-sound", f(ms_per_frame=11.6), f(ms_per_frame=13.0), f(ms_per_frame=10.0), "CPU", "FAILS"),
            ("4k-hd", f(distinct_per_recorded_second=23.4), ssr, None, "distinct", "FAILS"),
            ("4k-hd", f(file_duration=8.85), ssr, None, "joined", "FAILS"),
            ("4k-hd", f(video_duration=8.0), ssr, None, "joined", "FAILS"),  # the picture short, the file not
            ("4k-hd", f(), ssr, None, "joined", "holds"),
            ("4k-hd", f(offsets=[0.01, -0.041, 0.0]), ssr, None, "A-V", "FAILS"),
            ("4k-hd", f(offsets=[0.01, None, 0.0]), ssr, None, "A-V", "unknown"),
            ("4k-hd", f(), ssr, None, "A-V", "holds"),
            # One frame interval at 24 fps is 41.7 ms.
            ("4k-hd", f(run_shortfall=[0.0, -0.041, 0.0]), ssr, None, "runs", "holds"),
            ("two-monitors", f(run_shortfall=[0.0, -0.043, 0.0]), ssr, None, "runs", "FAILS"),
        ]
        for name, adapter, other, base, watch, expected in table:
            with self.subTest(name=name, watch=watch, expected=expected):
                self.assertEqual(self.verdict(name, adapter, other, base, watch), expected)
        self.assertEqual(targets.screen_size(targets.TWO_MONITORS), (3840, 1080))
        self.assertEqual(targets.screen_size(targets.UHD), (3840, 2160))


class ReadingRecordings(unittest.TestCase):
    """Real encodes through FFmpeg, so that the reader's geometry, bit order, thresholds and time
    base are checked against what a recording holds."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def encode(self, name, *args):
        path = os.path.join(self.tmp.name, name)
        subprocess.run(["ffmpeg", "-v", "error", "-y"] + list(args) + [path], check=True)
        return path

    def test_frames_clock_and_white(self):
        g = analysis.Geometry(100000, 1440, 1040, 24, 20, 1920, 1080)
        value = "(5000+55*min(n\\,9))"  # frames 9, 10 and 11 are the same picture
        boxes = ["drawbox=x=0:y=0:w=1920:h=1040:color=white:t=fill:enable='between(n,5,7)'",
                 "drawbox=x=1440:y=1040:w=480:h=40:color=white:t=fill"]
        for i in range(24):
            bit = "mod(floor(%s/%d)\\,2)" % (value, 1 << (23 - i))
            boxes.append("drawbox=x=%d:y=1040:w=20:h=20:color=black:t=fill:enable='eq(%s\\,1)'" % (1440 + 20 * i, bit))
            boxes.append("drawbox=x=%d:y=1060:w=20:h=20:color=black:t=fill:enable='eq(%s\\,0)'" % (1440 + 20 * i, bit))
        path = self.encode("clock.mp4", "-f", "lavfi", "-i", "color=black:size=1920x1080:rate=18", "-frames:v", "12",
                           "-vf", ",".join(boxes), "-c:v", "libx264", "-preset", "ultrafast", "-crf", "22",
                           "-pix_fmt", "yuv420p", "-f", "mp4")
        frames = analysis.read_frames(path, g)
        self.assertEqual(len(frames), 12)
        for n, f in enumerate(frames):
            self.assertAlmostEqual(f.pts, n / 18, places=3)
            self.assertEqual(f.clock, 100000 + 5000 + 55 * min(n, 9))
            self.assertEqual(f.white, 5 <= n <= 7, n)
        self.assertEqual(sum(1 for a, b in zip(frames, frames[1:]) if a.checksum == b.checksum), 2)
        self.assertAlmostEqual(analysis.probe(path)["video"], 12 / 18, places=2)

    def test_tone_onsets_in_an_aac_track(self):
        # At the level two mixed inputs give the tone, after the encoder's priming delay.
        tone = "if(between(t,1.234,1.534)+between(t,2.5,2.8),0.35*cos(2*PI*1000*t),0)"
        path = self.encode("tone.mp4", "-f", "lavfi", "-i", "aevalsrc='%s':s=44100:d=3.5" % tone,
                           "-c:a", "aac", "-b:a", "128k", "-f", "mp4")
        onsets = analysis.tone_onsets(path)
        self.assertEqual(len(onsets[:2]), 2)
        self.assertAlmostEqual(onsets[0], 1.234, delta=0.002)
        self.assertAlmostEqual(onsets[1], 2.5, delta=0.002)
        self.assertIsNone(analysis.probe(path)["video"])


if __name__ == "__main__":
    unittest.main()
