"""The program as installed by `cmake --install` into a temporary prefix: the program folder is
complete and finds its own library wherever it is, the menu entry and the AppStream data
validate, the icons have their sizes; the installed program, started from another folder, shows
its window under the class the menu entry names and records with its own encoder."""

import configparser
import glob
import os
import struct
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = None
PROGRAM_FOLDER = "lib/reelcast"


def install():
    prefix = tempfile.TemporaryDirectory(prefix="reelcast-prefix.")
    subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix.name], check=True, capture_output=True)
    return prefix


def desktop_entry(prefix):
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(os.path.join(prefix, "share/applications/reelcast.desktop"), encoding="utf-8")
    return entry["Desktop Entry"]


def png_size(path):
    with open(path, "rb") as f:
        header = f.read(24)
    assert header[:8] == b"\x89PNG\r\n\x1a\n", path
    return struct.unpack(">II", header[16:24])


class Layout(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = install()
        cls.prefix = cls.tmp.name
        cls.folder = os.path.join(cls.prefix, PROGRAM_FOLDER)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_program_folder_is_complete_and_self_contained(self):
        programs = ["reelcast", "zrk_video_capture.exe", "vcamera.exe", "mindump.exe"]
        for name in programs + ["screen.sh"]:
            self.assertTrue(os.access(os.path.join(self.folder, name), os.X_OK), name)
        for name in ["app.ini", "skin/skin", "language/reelcast_en.qm", "help/index.html"]:
            self.assertTrue(os.path.isfile(os.path.join(self.folder, name)), name)
        self.assertTrue(os.access(os.path.join(self.prefix, "bin/reelcast"), os.X_OK))
        # Installed binaries lose the build tree's paths: each must find the folder's own library.
        for name in programs:
            ldd = subprocess.run(["ldd", os.path.join(self.folder, name)], capture_output=True, text=True).stdout
            with self.subTest(program=name):
                self.assertNotIn("not found", ldd)
                for line in ldd.split("\n"):
                    if "libhostkit" in line:
                        self.assertIn(self.folder + "/", line)

    def test_menu_entry_and_metadata_validate(self):
        desktop = os.path.join(self.prefix, "share/applications/reelcast.desktop")
        check = subprocess.run(["desktop-file-validate", desktop], capture_output=True, text=True)
        self.assertEqual((check.returncode, check.stdout + check.stderr), (0, ""))
        metainfo = glob.glob(os.path.join(self.prefix, "share/metainfo/*.metainfo.xml"))
        self.assertEqual(len(metainfo), 1)
        check = subprocess.run(["appstreamcli", "validate", "--no-net", "--pedantic", metainfo[0]],
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        with open(metainfo[0], encoding="utf-8") as f:
            self.assertIn('<launchable type="desktop-id">reelcast.desktop</launchable>', f.read())
        entry = desktop_entry(self.prefix)
        # The launcher it runs is the one installed (found on PATH in <prefix>/bin).
        self.assertTrue(os.path.isfile(os.path.join(self.prefix, "bin", entry["Exec"].split()[0])))

    def test_icons_at_every_size(self):
        icon = desktop_entry(self.prefix)["Icon"]
        theme = os.path.join(self.prefix, "share/icons/hicolor")
        self.assertTrue(os.path.isfile(os.path.join(theme, "scalable/apps", icon + ".svg")))
        for size in (48, 64, 128, 256):
            with self.subTest(size=size):
                self.assertEqual(png_size(os.path.join(theme, "%dx%d/apps" % (size, size), icon + ".png")),
                                 (size, size))


def window_of(pid, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                               capture_output=True, text=True).stdout.split()
        if found:
            return found[0]
        time.sleep(0.2)
    return None


def encoders_from(folder):
    """Processes running the encoder of that program folder."""
    found = []
    for cmdline in glob.glob("/proc/[0-9]*/cmdline"):
        try:
            with open(cmdline, "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
        except OSError:
            continue
        if argv0 == os.path.join(folder, "zrk_video_capture.exe"):
            found.append(cmdline)
    return found


def wait_for(condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return False


class InstalledProgram(unittest.TestCase):
    """Run inside scripts/with-desktop: drives the program with its default hot keys (start and
    pause Alt+F6, stop Alt+F7) in its default mode, full screen with system sound."""

    def test_started_from_another_folder_it_records(self):
        with install() as prefix, tempfile.TemporaryDirectory() as home, tempfile.TemporaryDirectory() as elsewhere:
            env = dict(os.environ, HOME=home)
            for name in ("XDG_CONFIG_HOME", "XDG_DATA_HOME"):
                env.pop(name, None)
            folder = os.path.join(prefix, PROGRAM_FOLDER)
            program = subprocess.Popen([os.path.join(prefix, "bin/reelcast")], cwd=elsewhere, env=env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                window = window_of(program.pid)
                self.assertIsNotNone(window, "no window")
                props = subprocess.run(["xprop", "-id", window, "WM_CLASS", "_NET_WM_ICON"], capture_output=True,
                                       text=True).stdout
                wm_class = desktop_entry(prefix)["StartupWMClass"]
                self.assertIn('WM_CLASS(STRING) = "reelcast", "%s"' % wm_class, props)
                self.assertIn("Icon (", props)

                subprocess.run(["xdotool", "key", "alt+F6"], check=True)
                self.assertTrue(wait_for(lambda: encoders_from(folder), 10), "the installed encoder did not start")
                time.sleep(2)
                subprocess.run(["xdotool", "key", "alt+F7"], check=True)
                saved = lambda: glob.glob(os.path.join(home, "Videos", "Vexlo录屏*.mp4"))
                self.assertTrue(wait_for(saved, 60), "nothing saved")
                self.assertTrue(wait_for(lambda: not encoders_from(folder), 20))
                p = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration:stream=codec_name",
                                    "-of", "csv=p=0", saved()[0]], capture_output=True, text=True, check=True)
                lines = p.stdout.split()
                self.assertEqual(sorted(lines[:-1]), ["aac", "h264"])
                self.assertAlmostEqual(float(lines[-1]), 2.0, delta=1.5)
            finally:
                program.terminate()
                program.wait(timeout=20)


if __name__ == "__main__":
    args = sys.argv[1:]
    if len(args) < 2 or args[0] != "--build":
        sys.exit("usage: %s --build BUILD_DIR [unittest options]" % sys.argv[0])
    BUILD = args[1]
    unittest.main(argv=[sys.argv[0]] + args[2:], verbosity=2)
