"""The adapter on a desktop (run inside scripts/with-desktop): what the device listing offers,
and how microphone names as Qt reports them on Linux reach the sound server."""

import re
import sys
import unittest

import adapter_support as support

NAME_PATTERN = re.compile(r'"[a-zA-Z0-9.\-\s]*"')


def listed(**env):
    code, _, err = support.run("-f dshow -list_devices true -i dummy", support.environment(**env))
    assert code == 1, err
    return [m.strip('"') for m in NAME_PATTERN.findall(err)], err


def microphone_input(name):
    _, _, args = support.dry_run('-y -f dshow -i audio="%s" -f gdigrab -video_size 640x480 -i desktop -r 18 out.mp4'
                                 % name)
    at = args.index("-i")
    return args[args.index("-f") + 1], args[at + 1]


class DeviceListing(unittest.TestCase):
    def test_desktop_sources_are_listed(self):
        names, err = listed()
        self.assertIn("screen-capture-recorder", names)
        self.assertIn("virtual-audio-capturer", names)
        self.assertIn('"reelcast_mic" (audio)', err)
        self.assertIn('"default" (audio)', err)
        # monitors are the system sound, not microphones
        self.assertNotIn('"reelcast_speaker.monitor" (audio)', err)
        self.assertEqual(len(names), len(set(names)))

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
    def test_sound_server_names_go_to_pulse(self):
        # Qt's own first input is "default"; its sound-server backend lists source names.
        for name in ["default", "reelcast_mic", "reelcast_mic_feed.monitor"]:
            with self.subTest(name=name):
                self.assertEqual(microphone_input(name), ("pulse", name))

    def test_alsa_names_go_to_alsa(self):
        for name in ["sysdefault:CARD=PCH", "lavrate", "Mic A"]:
            with self.subTest(name=name):
                self.assertEqual(microphone_input(name), ("alsa", name))

    def test_default_without_sound_server_is_alsa(self):
        _, _, args = support.dry_run('-y -f dshow -i audio="default" -r 18 out.mp4',
                                     PULSE_SERVER="unix:/nonexistent/pulse")
        self.assertEqual(args[:3], ["-y", "-f", "alsa"])


if __name__ == "__main__":
    unittest.main(argv=support.take_paths(sys.argv), verbosity=2)
