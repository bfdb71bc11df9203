"""The adapter without a desktop: the program's command lines become the expected FFmpeg
command lines, everything else passes through, listings have FFmpeg's DirectShow shape, and a
missing display or sound server ends with FFmpeg's own error."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

import adapter_support as support

WORK = "/videos/App/2024-05-01-10-20-30"
SEGMENT = WORK + "/2024-05-01-10-20-30.bak"

FULLSCREEN = ('-y -f gdigrab -offset_x 0 -offset_y 0 -video_size 1920x1080 -draw_mouse 1 -i desktop '
              '-f dshow -i audio="virtual-audio-capturer" -framerate 18 -r 18 -b:v 300k -crf 22 '
              '-c:v libx264 -preset ultrafast -pix_fmt yuv420p -ar 44100 -ab 128k  -c:a aac -f mp4 '
              '-movflags faststart "%s"' % SEGMENT)
AREA = ('-y -f gdigrab -offset_x 100 -offset_y 200 -video_size 1000x600 -draw_mouse 1 -i desktop '
        '-i "/home/u/.local/share/reelcast/mark.png" '
        '-filter_complex "overlay=(main_w-overlay_w) - 20:(main_h - overlay_h) - 20" '
        '-f dshow -i audio="Mic A" -f dshow -i audio="virtual-audio-capturer" '
        '-filter_complex amix=inputs=2:duration=first:dropout_transition=2 -framerate 24 -r 24 '
        '-b:v 800k -crf 18 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -ar 48000 -ab 256k  '
        '-c:a aac -f flv -movflags faststart "%s"' % SEGMENT)
CAMERA = ('-y -f dshow -video_size 1280x720 -i video="USB Cam" -framerate 15 -r 15 -b:v 180k -crf 24 '
          '-c:v libx264 -preset ultrafast -pix_fmt yuv420p -f avi -movflags faststart "%s"' % SEGMENT)
GAME = ('-y -f dshow -i video="screen-capture-recorder" -framerate 18 -r 18 -b:v 300k -crf 22 '
        '-c:v libx264 -preset ultrafast -pix_fmt yuv420p -f mp4 -movflags faststart "%s"' % SEGMENT)

ENCODE_18 = ["-framerate", "18", "-r", "18", "-b:v", "300k", "-crf", "22", "-c:v", "libx264",
             "-preset", "ultrafast", "-pix_fmt", "yuv420p"]
ALIGN = "aresample=async=1:first_pts=0"
SCALER = "bicubic+full_chroma_inp"
# Added for a screen encoded with x264: vector chroma conversion, no frames held back at "q".
SCREEN_X264 = ["-sws_flags", SCALER, "-threads", "1"]
# Segments that a killed encoder leaves readable: MP4 fragmented, every container flushed per packet.
MP4_OUT = ["-f", "mp4", "-movflags", "+frag_keyframe+empty_moov+default_base_moof", "-frag_duration", "1000000",
           "-flush_packets", "1", SEGMENT]
FLUSHED = ["-flush_packets", "1"]
# The program's pattern for device names in a listing, and for frame sizes.
NAME_PATTERN = re.compile(r'"[a-zA-Z0-9.\-\s]*"')
SIZE_PATTERN = re.compile(r"\d{3,}x\d{3,}")

# No display and no sound server unless a test asks for them: results do not depend on the machine.
ISOLATED = {"DISPLAY": ":5", "PULSE_SERVER": "unix:/nonexistent/reelcast/pulse", "REELCAST_DEVICES": None,
            "REELCAST_FFMPEG": None}


def dry(arguments, **env):
    settings = dict(ISOLATED)
    settings.update(env)
    return support.dry_run(arguments, **settings)


class WorkedCommandLines(unittest.TestCase):
    def test_full_screen_with_system_sound(self):
        program, argv0, args = dry(FULLSCREEN)
        self.assertEqual(program, "/usr/bin/ffmpeg")
        self.assertEqual(argv0, support.ADAPTER)  # the process keeps the encoder's name
        self.assertEqual(args, [
            "-y",
            # sound opens first and is put on the screen's clock (input 1)
            "-f", "pulse", "-thread_queue_size", "1024", "-fragment_size", "1920", "-isync", "1",
            "-i", "@DEFAULT_MONITOR@",
            "-f", "x11grab", "-video_size", "1920x1080", "-draw_mouse", "1", "-framerate", "18",
            "-thread_queue_size", "36", "-i", ":5+0,0",
            "-af", ALIGN] + SCREEN_X264 + ENCODE_18 + [
            "-ar", "44100", "-ab", "128k", "-c:a", "aac"] + MP4_OUT)

    def test_area_with_watermark_microphone_and_system_sound(self):
        _, _, args = dry(AREA)
        mix = ("%s[sync4_0];%s[sync4_1];[sync4_0][sync4_1]amix=inputs=2:duration=first:dropout_transition=2"
               % (ALIGN, ALIGN))
        self.assertEqual(args, [
            "-y",
            # the scaler flags reach the conversion in front of overlay, not the sound graph
            "-filter_complex", "sws_flags=%s;overlay=(main_w-overlay_w) - 20:(main_h - overlay_h) - 20" % SCALER,
            "-filter_complex", mix,
            # microphone before system sound, as amix expects them; both synced to the screen
            "-f", "alsa", "-thread_queue_size", "1024", "-isync", "2", "-i", "Mic A",
            "-f", "pulse", "-thread_queue_size", "1024", "-fragment_size", "1920", "-isync", "2",
            "-i", "@DEFAULT_MONITOR@",
            "-f", "x11grab", "-video_size", "1000x600", "-draw_mouse", "1", "-framerate", "24",
            "-thread_queue_size", "48", "-i", ":5+100,200",
            # the watermark stays the second video input, so overlay keeps its inputs
            "-i", "/home/u/.local/share/reelcast/mark.png"] + SCREEN_X264 + [
            "-framerate", "24", "-r", "24", "-b:v", "800k", "-crf", "18", "-c:v", "libx264",
            "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-ar", "48000", "-ab", "256k", "-c:a", "aac",
            "-f", "flv", "-movflags", "faststart"] + FLUSHED + [SEGMENT])

    def test_camera_by_name(self):
        # "USB Cam" is no camera here: it goes on as the device, so FFmpeg reports it missing.
        _, _, args = dry(CAMERA)
        self.assertEqual(args, [
            "-y", "-f", "v4l2", "-video_size", "1280x720", "-framerate", "15", "-thread_queue_size", "30",
            "-timestamps", "abs", "-i", "USB Cam",
            "-threads", "1", "-framerate", "15", "-r", "15", "-b:v", "180k", "-crf", "24",
            "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-f", "avi",
            "-movflags", "faststart"] + FLUSHED + [SEGMENT])

    def test_game_grabs_the_whole_screen(self):
        _, _, args = dry(GAME)
        self.assertEqual(args, [
            "-y", "-f", "x11grab", "-framerate", "18", "-thread_queue_size", "36", "-i", ":5"]
            + SCREEN_X264 + ENCODE_18 + MP4_OUT)


    def test_encoder_choices_already_made_are_kept(self):
        # A thread count or scaler flags of the command win; other codecs are left alone.
        _, _, args = dry(GAME.replace("-r 18", "-r 18 -threads 4 -sws_flags lanczos"))
        self.assertEqual(args.count("-threads"), 1)
        self.assertEqual(args[args.index("-threads") + 1], "4")
        self.assertEqual(args.count("-sws_flags"), 1)
        self.assertEqual(args[args.index("-sws_flags") + 1], "lanczos")
        _, _, args = dry(GAME.replace("libx264", "mpeg4"))
        self.assertNotIn("-threads", args)
        self.assertIn("-sws_flags", args)  # the conversion from RGB is there all the same


class SimulatedDevices(unittest.TestCase):
    def test_camera_honours_the_frame_size_and_rate(self):
        _, _, args = dry(CAMERA.replace("USB Cam", "Test Camera").replace("1280x720", "640x480"),
                         REELCAST_DEVICES="simulated")
        self.assertEqual(args[:9], ["-y", "-f", "lavfi", "-thread_queue_size", "30",
                                    "-use_wallclock_as_timestamps", "1", "-i",
                                    "testsrc2=size=640x480:rate=15,realtime"])

    def test_camera_with_both_sounds(self):
        arguments = ('-y -f dshow -video_size 1280x720 -i video="Test Camera" -f dshow -i audio="default" '
                     '-f dshow -i audio="virtual-audio-capturer" '
                     '-filter_complex amix=inputs=2:duration=first:dropout_transition=2 '
                     '-framerate 24 -r 24 -c:v libx264 -ar 48000 -ab 256k  -c:a aac -f wmv -movflags faststart '
                     '"%s"' % SEGMENT)
        _, _, args = dry(arguments, REELCAST_DEVICES="simulated")
        inputs = [args[i + 1] for i, a in enumerate(args) if a == "-i"]
        self.assertEqual(inputs, ["default", "sine=frequency=440:sample_rate=48000,arealtime",
                                  "testsrc2=size=1280x720:rate=24,realtime"])
        self.assertEqual(args.count("-isync"), 2)
        self.assertEqual(args[args.index("-isync") + 1], "2")
        self.assertIn("-use_wallclock_as_timestamps", args[args.index("-i") + 2:])
        # Windows Media is the ASF container
        self.assertEqual(args[args.index("-movflags") - 1], "asf")

    def test_without_simulation_the_test_camera_is_unknown(self):
        _, _, args = dry(CAMERA.replace("USB Cam", "Test Camera"))
        self.assertEqual(args[args.index("-i") + 1], "Test Camera")
        self.assertEqual(args[2], "v4l2")


class PassThrough(unittest.TestCase):
    def test_concat_merge_is_unchanged(self):
        merge = ('-y -f concat -safe 0 -i "%s/concat.txt" -c copy -f mp4 "%s/Rec 2024-05-01-10-20-30.bak"'
                 % (WORK, WORK))
        _, _, args = dry(merge)
        self.assertEqual(args, ["-y", "-f", "concat", "-safe", "0", "-i", WORK + "/concat.txt", "-c", "copy",
                                "-f", "mp4", WORK + "/Rec 2024-05-01-10-20-30.bak"])
        _, _, args = dry(merge.replace("-f mp4", "-f wmv"))
        self.assertEqual(args[-2], "asf")

    def test_unknown_and_malformed_arguments_reach_ffmpeg(self):
        for arguments in ["-version", "-y -bogus 7 -i", "-f gdigrab -i title=Editor out.mp4",
                          "-f dshow -i something out.mp4", "-f dshow -list_devices", "-i -i -i",
                          "-f wmv out.wmv"]:
            with self.subTest(arguments=arguments):
                _, _, args = dry(arguments)
                self.assertEqual(args, arguments.split())

    def test_quote_in_a_name_arrives_intact(self):
        # Inside a quoted token QProcess turns three double quotes into one.
        _, _, args = dry('-y -f dshow -i audio="Mic """A"""" -f gdigrab -video_size 640x480 -i desktop '
                         '-r 18 "%s/say """hi""".bak"' % WORK)
        self.assertIn('Mic "A"', args)
        self.assertEqual(args[-1], WORK + '/say "hi".bak')


class Listings(unittest.TestCase):
    LIST_DEVICES = "-f dshow -list_devices true -i dummy"

    def listing(self, arguments, **env):
        settings = dict(ISOLATED)
        settings.update(env)
        code, out, err = support.run(arguments, support.environment(**settings))
        self.assertEqual(code, 1)  # FFmpeg ends a listing with an error status as well
        self.assertEqual(out, "")
        return err

    def test_simulated_devices_are_listed_for_the_program(self):
        err = self.listing(self.LIST_DEVICES, REELCAST_DEVICES="simulated")
        names = [m.strip('"') for m in NAME_PATTERN.findall(err)]
        self.assertIn("Test Camera", names)
        self.assertIn("virtual-audio-capturer", names)
        # no X display and no sound server here
        self.assertNotIn("screen-capture-recorder", names)
        self.assertNotIn("default", names)
        self.assertIn('"Test Camera" (video)', err)
        self.assertIn('"virtual-audio-capturer" (audio)', err)

    def test_nothing_listed_without_devices(self):
        err = self.listing(self.LIST_DEVICES, DISPLAY=None)
        self.assertEqual(NAME_PATTERN.findall(err), [])

    def test_frame_sizes_of_the_test_camera(self):
        err = self.listing('-list_options true -f dshow -i video="Test Camera"', REELCAST_DEVICES="simulated")
        self.assertEqual(SIZE_PATTERN.findall(err)[::2], ["1280x720", "640x480"])

    def test_unknown_camera_has_no_sizes(self):
        err = self.listing('-list_options true -f dshow -i video="USB Cam"', REELCAST_DEVICES="simulated")
        self.assertEqual(SIZE_PATTERN.findall(err), [])
        self.assertIn("Could not find video device", err)


class Failures(unittest.TestCase):
    def test_no_sound_server(self):
        code, out, err = support.run(FULLSCREEN.replace(SEGMENT, "/nonexistent/out.bak"),
                                     support.environment(**ISOLATED))
        self.assertNotEqual(code, 0)
        self.assertIn("pulse", out + err)

    def test_no_display(self):
        code, out, err = support.run(GAME.replace(SEGMENT, "/nonexistent/out.bak"),
                                     support.environment(**dict(ISOLATED, DISPLAY=None)))
        self.assertNotEqual(code, 0)
        self.assertIn("x11grab", out + err)
        self.assertIn("Cannot open display", out + err)

    def test_ffmpeg_missing(self):
        code, _, err = support.run("-version", support.environment(REELCAST_FFMPEG="/nonexistent/ffmpeg"))
        self.assertEqual(code, 127)
        self.assertIn("/nonexistent/ffmpeg", err)


class ConcatMerge(unittest.TestCase):
    def test_segments_are_joined_without_encoding(self):
        with tempfile.TemporaryDirectory() as folder:
            segments = []
            for n, tone in enumerate([440, 660]):
                path = os.path.join(folder, "2024-05-01-10-2%d-00.bak" % n)
                subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=15",
                                "-f", "lavfi", "-i", "sine=frequency=%d" % tone, "-t", "1", "-c:v", "libx264",
                                "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-f", "mp4", path],
                               check=True)
                segments.append(path)
            listing = os.path.join(folder, "concat.txt")
            with open(listing, "w", encoding="utf-8") as f:
                f.write("".join("file '%s'\r\n" % s for s in segments))
            merged = os.path.join(folder, "Rec 2024-05-01-10-20-00.bak")
            code, out, err = support.run('-y -f concat -safe 0 -i "%s" -c copy -f mp4 "%s"' % (listing, merged))
            self.assertEqual(code, 0, err)
            info = support.probe(merged)
            self.assertEqual(info["video"]["codec_name"], "h264")
            self.assertEqual(info["audio"]["codec_name"], "aac")
            self.assertAlmostEqual(float(info["format"]["duration"]), 2.0, delta=0.15)


if __name__ == "__main__":
    unittest.main(argv=support.take_paths(sys.argv), verbosity=2)
