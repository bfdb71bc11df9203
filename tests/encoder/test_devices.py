"""The adapter on a desktop (run inside scripts/with-desktop): what the device listing offers,
and how microphone names as Qt reports them on Linux reach the sound server. The sound server is
found as every client finds it: through PULSE_SERVER (the desktop's, a socket in its own folder)
and, without it, through the runtime link a daemon started outside a session leaves in the home
folder (its socket then lives under /tmp/pulse-*)."""

import glob
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

import adapter_support as support

NAME_PATTERN = re.compile(r'"[a-zA-Z0-9.\-\s]*"')


def listed(**env):
    code, _, err = support.run("-f dshow -list_devices true -i dummy", support.environment(**env))
    assert code == 1, err
    return [m.strip('"') for m in NAME_PATTERN.findall(err)], err


def microphone_input(name, **env):
    """(format, source) of a microphone: "pulse" and the source the adapter records itself, or the
    FFmpeg input format and device it is handed to."""
    _, _, args, sounds = support.dry_run_with_sounds(
        '-y -f dshow -i audio="%s" -f gdigrab -video_size 640x480 -i desktop -r 18 out.mp4' % name, **env)
    url = args[args.index("-i") + 1]
    if url.startswith("/dev/fd/"):
        return "pulse", sounds[int(url[len("/dev/fd/"):])] or "default"
    return args[args.index("-f") + 1], url


class SessionlessServer:
    """A PulseAudio daemon started the way a user without a desktop session starts it: no
    XDG_RUNTIME_DIR, no PULSE_SERVER; it puts its socket under /tmp/pulse-* and links it from
    the home folder. The environment of its clients is `env`."""

    def __init__(self):
        self.home = tempfile.TemporaryDirectory()
        script = os.path.join(self.home.name, "default.pa")
        with open(script, "w") as f:
            f.write("load-module module-native-protocol-unix auth-anonymous=1\n"
                    "load-module module-null-sink sink_name=lonely_speaker\n"
                    "load-module module-null-sink sink_name=lonely_feed\n"
                    "load-module module-virtual-source source_name=lonely_mic master=lonely_feed.monitor\n"
                    "set-default-sink lonely_speaker\nset-default-source lonely_mic\n")
        self.env = {"HOME": self.home.name, "PULSE_SERVER": None, "XDG_RUNTIME_DIR": None,
                    "XDG_CONFIG_HOME": None, "PULSE_RUNTIME_PATH": None}
        # Without a display it finds no session bus, whose names the desktop's own daemon holds.
        daemon_only = {"DISPLAY": None, "DBUS_SESSION_BUS_ADDRESS": None}
        self.daemon = subprocess.Popen(
            ["pulseaudio", "-n", "-F", script, "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--log-level=error"], env=support.environment(**dict(self.env, **daemon_only)),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if subprocess.run(["pactl", "info"], env=support.environment(**self.env),
                              capture_output=True).returncode == 0:
                break
            time.sleep(0.1)

    def socket(self):
        links = glob.glob(os.path.join(self.home.name, ".config", "pulse", "*-runtime"))
        return os.path.join(os.path.realpath(links[0]), "native") if links else None

    def close(self):
        self.daemon.terminate()
        self.daemon.wait(timeout=10)
        self.home.cleanup()


class DeviceListing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sessionless = SessionlessServer()

    @classmethod
    def tearDownClass(cls):
        cls.sessionless.close()

    def servers(self):
        # (what, environment of the adapter, microphone, another source, monitor of the default sink)
        return [("PULSE_SERVER elsewhere", {}, "reelcast_mic", "reelcast_mic_feed.monitor", "reelcast_speaker.monitor"),
                ("socket under /tmp/pulse-*", self.sessionless.env, "lonely_mic", "lonely_feed.monitor",
                 "lonely_speaker.monitor")]

    def test_the_sessionless_server_is_only_under_tmp(self):
        socket = self.sessionless.socket()
        self.assertIsNotNone(socket)
        self.assertTrue(socket.startswith("/tmp/pulse-"), socket)

    def test_desktop_sources_are_listed(self):
        for what, env, microphone, _, monitor in self.servers():
            with self.subTest(server=what):
                names, err = listed(**env)
                self.assertIn("screen-capture-recorder", names)
                self.assertIn("virtual-audio-capturer", names)
                self.assertIn('"%s" (audio)' % microphone, err)
                self.assertIn('"default" (audio)', err)
                # monitors are the system sound, not microphones
                self.assertNotIn('"%s" (audio)' % monitor, err)
                self.assertEqual(len(names), len(set(names)))

    def test_sound_server_names_are_recorded_from_the_server(self):
        for what, env, microphone, other, _ in self.servers():
            for name in ["default", microphone, other]:
                with self.subTest(server=what, name=name):
                    self.assertEqual(microphone_input(name, **env), ("pulse", name))
            with self.subTest(server=what, name="virtual-audio-capturer"):
                self.assertEqual(microphone_input("virtual-audio-capturer", **env), ("pulse", "@DEFAULT_MONITOR@"))

    def test_screen_source_needs_a_reachable_display(self):
        names, _ = listed(DISPLAY=":999")
        self.assertNotIn("screen-capture-recorder", names)
        self.assertIn("virtual-audio-capturer", names)

    def test_system_sound_needs_a_sound_server(self):
        names, err = listed(PULSE_SERVER="unix:/nonexistent/pulse")
        self.assertNotIn("virtual-audio-capturer", names)
        self.assertNotIn('"default" (audio)', err)
        self.assertIn("screen-capture-recorder", names)


class MicrophoneNames(unittest.TestCase):
    def test_alsa_names_go_to_alsa(self):
        for name in ["sysdefault:CARD=PCH", "lavrate", "Mic A"]:
            with self.subTest(name=name):
                self.assertEqual(microphone_input(name), ("alsa", name))

    def test_default_without_sound_server_is_alsa(self):
        _, _, args = support.dry_run('-y -f dshow -i audio="default" -r 18 out.mp4',
                                     PULSE_SERVER="unix:/nonexistent/pulse")
        self.assertEqual(args[:3], ["-y", "-f", "alsa"])

    def test_forced_ffmpeg_sound_input(self):
        # REELCAST_SOUND=ffmpeg hands the sound server to FFmpeg's own input, as before.
        _, _, args, sounds = support.dry_run_with_sounds('-y -f dshow -i audio="virtual-audio-capturer" -r 18 out.mp4',
                                                         REELCAST_SOUND="ffmpeg")
        self.assertEqual(sounds, {})
        self.assertEqual(args[:3], ["-y", "-f", "pulse"])


class FedRun(unittest.TestCase):
    def test_ffmpeg_failure_reaches_the_caller_unchanged(self):
        # The adapter runs FFmpeg as its child here: FFmpeg's message and exit status are the run's.
        code, out, err = support.run('-y -f gdigrab -video_size 640x480 -i desktop -f dshow '
                                     '-i audio="virtual-audio-capturer" -t 1 -f no_such_muxer out.mp4')
        self.assertEqual(code, 1)
        self.assertIn("Requested output format 'no_such_muxer' is not a suitable output format", out + err)


class MemorySafety(unittest.TestCase):
    """The adapter under valgrind: the sound server's thread and the screen grab never touch
    what a run has already freed, whichever way the run ends."""

    SCREEN = ('-y -f gdigrab -offset_x 0 -offset_y 0 -video_size 640x480 -draw_mouse 1 -i desktop '
              '-f dshow -i audio="virtual-audio-capturer" -framerate 18 -r 18 -b:v 300k -crf 22 -c:v libx264 '
              '-preset ultrafast -pix_fmt yuv420p -ar 44100 -ab 128k  -c:a aac -f %s "%s"')
    VALGRIND = "valgrind -q --error-exitcode=99 "

    def test_every_ending_is_clean(self):
        cases = [("FFmpeg's program fails at once", "no_such_muxer", "ffmpeg", None),
                 ("FFmpeg's program stopped by q", "mp4", "ffmpeg", 2),
                 ("encoded in the adapter, stopped by q", "mp4", None, 2)]
        for name, muxer, encode, seconds in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as folder:
                arguments = self.SCREEN % (muxer, os.path.join(folder, "out.mp4"))
                env = support.environment(REELCAST_ENCODE=encode)
                if seconds is None:
                    code, out, err = support.run(arguments, env, prefix=self.VALGRIND)
                    out += err
                else:
                    code, out, _, _ = support.record(arguments, seconds, env, prefix=self.VALGRIND)
                self.assertNotEqual(code, 99, out[-6000:])
                self.assertNotIn("Invalid read", out)
                self.assertEqual(code, 1 if seconds is None else 0, out[-2000:])


if __name__ == "__main__":
    unittest.main(argv=support.take_paths(sys.argv), verbosity=2)
