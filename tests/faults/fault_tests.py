"""Fault tests of the recording engine with the real encoder adapter and FFmpeg: the encoder or
the program killed mid-recording, many pauses, a save folder that fills up, and the order of the
save against a power loss. Prints the figures; with --check a figure out of bounds fails.

    fault_tests.py --driver PATH --program-dir DIR [--trials N] [--cycles N] [--only a,b,...]
                   [--format mp4|flv|wmv|avi] [--mode camera|screen] [--check]

The simulated camera and sound need no desktop; --mode screen records the X screen (run it
through scripts/with-desktop).

a: encoder SIGKILLed        b: program SIGKILLed, then started again
c: pause/resume cycles      d: save folder on a small tmpfs filled up
e: order of save and removal (power loss)
"""

import argparse
import os
import queue
import random
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

MAX_LOSS = 2.0
MIB = 1024 * 1024


class Driver:
    """The fault driver: a recording manager on commands, its events read in the background."""

    def __init__(self, args, env, extra=(), wrapper=()):
        self.proc = subprocess.Popen(list(wrapper) + [args.driver] + list(extra), cwd=args.program_dir, env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True, bufsize=1)
        self.events = queue.Queue()
        self.times = []  # (arrival, seconds shown)
        self.lines = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            line = line.rstrip("\n")
            now = time.monotonic()
            if line.startswith("time "):
                self.times.append((now, int(line[5:])))
            self.lines.append(line)
            self.events.put((now, line))

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def wait_for(self, prefix, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                others = [line for line in self.lines[-8:] if not line.startswith("time ")]
                raise TimeoutError("no '%s' within %d s (last events: %s)" % (prefix, timeout, others))
            try:
                at, line = self.events.get(timeout=left)
            except queue.Empty:
                continue
            if line.startswith(prefix):
                return at, line[len(prefix):].strip()

    def wait_time(self, seconds, timeout=60):
        deadline = time.monotonic() + timeout
        while not self.times or self.times[-1][1] < seconds:
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise TimeoutError("the recording did not reach %d s" % seconds)
            time.sleep(0.02)

    def recorded_now(self):
        """Seconds recorded by now as the program counts them: the last second it showed, plus
        the time since that second was first shown."""
        last = self.times[-1][1]
        first_seen = min(at for at, s in self.times if s == last)
        return last + (time.monotonic() - first_seen)

    def encoder_pids(self):
        out = subprocess.run(["pgrep", "-P", str(self.proc.pid)], capture_output=True, text=True).stdout
        return [int(p) for p in out.split()]

    def quit(self):
        if self.proc.poll() is None:
            try:
                self.send("quit")
                self.proc.wait(timeout=20)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()


def packets(path, stream):
    p = subprocess.run(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
                        "packet=pts_time,dts_time,duration_time", "-of", "csv=p=0", path],
                       capture_output=True, text=True)
    rows = []
    for line in p.stdout.split("\n"):
        f = line.strip().split(",")
        if len(f) < 3:
            continue
        pts = f[0] if f[0] not in ("", "N/A") else f[1]
        if pts in ("", "N/A"):
            continue
        rows.append((float(f[1]) if f[1] not in ("", "N/A") else float(pts), float(pts),
                     float(f[2]) if f[2] not in ("", "N/A") else 0.0))
    return rows


def video_end(path):
    rows = packets(path, "v:0")
    return max((pts + d for _, pts, d in rows), default=0.0)


def playable(path):
    ok = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"],
                        capture_output=True).returncode == 0
    return ok and video_end(path) > 0


def wait_gone(path, timeout=15):
    deadline = time.monotonic() + timeout
    while os.path.exists(path) and time.monotonic() < deadline:
        time.sleep(0.05)
    return not os.path.exists(path)


def wait_no_encoder(work, timeout=15):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if subprocess.run(["pgrep", "-f", work], capture_output=True).returncode != 0:
            return True
        time.sleep(0.05)
    return False


class Run:
    def __init__(self, args):
        self.args = args
        self.home = tempfile.mkdtemp(prefix="reelcast-faults-")
        self.save = os.path.join(self.home, "Videos")
        os.makedirs(self.save)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.home + "/config",
                        XDG_DATA_HOME=self.home + "/data", XDG_CACHE_HOME=self.home + "/cache",
                        REELCAST_DEVICES="simulated", QT_QPA_PLATFORM="offscreen")
        self.failures = []
        # Starting a recording ends every encoder process of its user, whoever started it; as
        # root the driver runs as "nobody", out of reach of other recordings on this machine.
        self.user = []
        if os.geteuid() == 0 and subprocess.run(["id", "nobody"], capture_output=True).returncode == 0:
            self.user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
            subprocess.run(["chown", "-R", "nobody:nogroup", self.home], check=True)
            os.chmod(self.home, 0o755)

    def driver(self, save=None, extra=(), wrapper=()):
        return Driver(self.args, self.env, ["--save", save or self.save, "--format", self.args.format,
                                            "--mode", self.args.mode] + list(extra),
                      list(wrapper) + self.user)

    def check(self, ok, what):
        if not ok:
            self.failures.append(what)
            print("    FAILED: " + what)

    def finish(self, d, saved, work):
        d.send("cleanup")
        self.check(wait_gone(work), "work folder removed after the save")
        os.remove(saved)

    # a
    def encoder_killed(self):
        print("a) encoder SIGKILLed at a random moment (%s), %d trials" % (self.args.format, self.args.trials))
        print("    trial  recorded  saved   lost   question  playable")
        for trial in range(self.args.trials):
            d = self.driver()
            d.send("start")
            _, work = d.wait_for("work")
            d.wait_time(2)
            time.sleep(random.uniform(0, 4))
            recorded = d.recorded_now()
            for pid in d.encoder_pids():
                os.kill(pid, signal.SIGKILL)
            try:
                _, folder = d.wait_for("recoverable", 15)
                asked = folder == work
            except TimeoutError:
                asked = False
            d.send("recover " + work)
            _, saved = d.wait_for("saved", 30)
            kept = video_end(saved)
            ok = playable(saved)
            print("    %5d  %7.2fs  %5.2fs  %5.2fs  %-8s  %s" % (trial + 1, recorded, kept, recorded - kept,
                                                                   "yes" if asked else "NO", "yes" if ok else "NO"))
            self.check(asked and ok and recorded - kept <= MAX_LOSS, "encoder kill, trial %d" % (trial + 1))
            self.finish(d, saved, work)
            d.quit()

    # b
    def program_killed(self):
        print("b) program SIGKILLed mid-recording, then started again (%s), %d trials"
              % (self.args.format, self.args.trials))
        print("    trial  recorded  saved   lost   offered  playable")
        for trial in range(self.args.trials):
            d = self.driver()
            d.send("start")
            _, work = d.wait_for("work")
            d.wait_time(2)
            time.sleep(random.uniform(0, 4))
            recorded = d.recorded_now()
            d.proc.kill()
            d.proc.wait()
            self.check(wait_no_encoder(work), "encoder ends with the program, trial %d" % (trial + 1))
            again = self.driver()
            again.send("unfinished")
            _, found = again.wait_for("unfinished")
            offered = found.split(";") == [work]
            again.send("recover " + work)
            _, saved = again.wait_for("saved", 30)
            kept = video_end(saved)
            ok = playable(saved)
            print("    %5d  %7.2fs  %5.2fs  %5.2fs  %-7s  %s" % (trial + 1, recorded, kept, recorded - kept,
                                                                  "yes" if offered else "NO", "yes" if ok else "NO"))
            self.check(offered and ok and recorded - kept <= MAX_LOSS, "program kill, trial %d" % (trial + 1))
            self.finish(again, saved, work)
            again.quit()

    @staticmethod
    def cycle(d, count):
        """A recording of `count` runs of about 1 s; the wall time of each run, work folder, file."""
        runs = []
        d.send("start")
        _, work = d.wait_for("work")
        began = time.monotonic()
        for i in range(count):
            time.sleep(1.0)
            d.send("pause")
            runs.append(time.monotonic() - began)
            d.wait_for("paused", 20)
            if i + 1 < count:
                d.send("resume")
                began = time.monotonic()
        d.send("stop")
        _, saved = d.wait_for("saved", 120)
        return runs, work, saved

    # c
    def pause_cycles(self):
        cycles = self.args.cycles
        print("c) %d pause/resume cycles of about 1 s (%s)" % (cycles, self.args.format))
        d = self.driver(wrapper=os.environ.get("FAULT_WRAPPER", "").split())
        # The start loss of a run, measured on a recording of three such runs: wall time between
        # resume and pause against the picture the runs left in the joined file.
        losses = []
        for _ in range(2):
            runs, work, saved = self.cycle(d, 3)
            losses.append((sum(runs) - video_end(saved)) / 3)
            self.finish(d, saved, work)
        loss = sum(losses) / len(losses)
        print("    start loss per run: %.3f s (%s)" % (loss, ", ".join("%.3f" % x for x in losses)))

        runs, work, saved = self.cycle(d, cycles)
        duration = video_end(saved)
        expected = sum(runs) - cycles * loss
        video = packets(saved, "v:0")
        audio = packets(saved, "a:0")
        mono_v = all(b[0] > a[0] for a, b in zip(video, video[1:]))
        mono_a = all(b[0] >= a[0] for a, b in zip(audio, audio[1:]))
        d.send("cleanup")
        gone = wait_gone(work)
        base = os.path.dirname(work)
        left = [n for n in os.listdir(base)] if os.path.isdir(base) else []
        print("    summed run time %.2f s, expected %.2f s, file %.2f s, difference %+.2f s"
              % (sum(runs), expected, duration, duration - expected))
        print("    timestamps monotonic: video %s, audio %s; work files left: %s"
              % (mono_v, mono_a, "none" if gone and not left else left))
        self.check(abs(duration - expected) <= 1.0 + 0.05 * cycles, "pause cycles: duration")
        self.check(mono_v and mono_a, "pause cycles: monotonic timestamps")
        self.check(gone and not left, "pause cycles: no work files left")
        self.check(playable(saved), "pause cycles: playable")
        os.remove(saved)
        d.quit()

    # d
    def small_disk(self):
        print("d) save folder on a small tmpfs filled during a recording")
        mount = os.path.join(self.home, "small")
        os.makedirs(mount)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256m", "tmpfs", mount],
                          capture_output=True).returncode != 0:
            print("    skipped: cannot mount a tmpfs here")
            return
        if self.user:
            subprocess.run(["chown", "nobody:nogroup", mount], check=True)
        try:
            d = self.driver(save=mount, extra=["--low-space", "--quality", "3"])
            d.send("start")
            _, work = d.wait_for("work")
            d.wait_time(1)
            # Filled to 175 MiB free; a pause makes it two segments, so the merge writes them again.
            st = os.statvfs(mount)
            with open(os.path.join(mount, "filler"), "wb") as f:
                f.write(b"\0" * (st.f_bavail * st.f_frsize - 175 * MIB))
            d.wait_time(15, timeout=120)
            d.send("pause")
            d.wait_for("paused", 20)
            d.send("resume")
            _, low = d.wait_for("lowspace", 300)
            free, limit = (int(x) for x in low.split())
            at, result = d.wait_for("sav", 120)
            ok = result.startswith("ed ")
            saved = result[3:] if ok else ""
            size = os.path.getsize(saved) if ok else 0
            print("    stopped at %.1f MiB free, limit %.1f MiB (50 MiB + merge %.1f MiB)"
                  % (free / MIB, limit / MIB, (limit - 50 * MIB) / MIB))
            print("    saved: %s, %.1f MiB, %.1f s, playable %s" % ("yes" if ok else "NO", size / MIB,
                                                                   video_end(saved) if ok else 0,
                                                                   playable(saved) if ok else False))
            self.check(ok and size > 50 * MIB and playable(saved), "small disk: a playable file over 50 MiB")
            if ok:
                self.finish(d, saved, work)
            d.quit()
        finally:
            subprocess.run(["umount", "-l", mount])

    # e
    def power_loss_order(self):
        print("e) power loss: the saved file is on disk before any work file goes")
        trace = os.path.join(self.home, "strace.log")
        d = self.driver(wrapper=["strace", "-f", "-y", "-qq", "-e",
                                 "trace=fsync,rename,renameat,renameat2,unlink,unlinkat,rmdir", "-o", trace])
        d.send("start")
        _, work = d.wait_for("work")
        d.wait_time(2)
        d.send("pause")
        d.wait_for("paused", 20)
        d.send("resume")
        d.wait_time(4)
        segments = sorted(n for n in os.listdir(work) if n.endswith(".bak"))
        snapshots = []
        watching = [True]

        def watch():
            while watching[0]:
                have = sum(os.path.exists(os.path.join(work, n)) for n in segments)
                finals = [os.path.join(self.save, n) for n in os.listdir(self.save) if not os.path.isdir(
                    os.path.join(self.save, n))]
                snapshots.append((have, {f: os.path.getsize(f) for f in finals if os.path.exists(f)}))
                time.sleep(0.002)

        watcher = threading.Thread(target=watch)
        watcher.start()
        d.send("stop")
        _, saved = d.wait_for("saved", 30)
        d.send("cleanup")
        wait_gone(work)
        time.sleep(0.2)
        watching[0] = False
        watcher.join()
        d.quit()
        final_size = os.path.getsize(saved)
        holes = [s for s in snapshots if s[0] < len(segments) and s[1].get(saved) != final_size]
        with open(trace) as f:
            calls = [line.split(None, 1)[1] for line in f if " " in line]
        # strace writes other than ASCII as octal escapes: the names are matched by their ASCII ends.
        name = re.search(r"\d{4}(-\d\d){5}\.\w+$", saved).group(0)
        tail = os.path.basename(work)

        def first(pred):
            return next((i for i, c in enumerate(calls) if pred(c)), None)

        placed = first(lambda c: c.startswith("renameat2(") and name in c)
        synced = first(lambda c: c.startswith("fsync(") and "Rec " in c)
        folder = first(lambda c: c.startswith("fsync(") and c.split(">")[0].endswith(self.save)
                       and placed is not None)
        removed = first(lambda c: c.startswith(("unlink", "rmdir")) and tail in c and ".bak" in c)
        order = [synced, placed, folder, removed]
        ordered = None not in order and order == sorted(order)
        print("    %d snapshots during save and clean-up, %d with neither all segments nor the complete file"
              % (len(snapshots), len(holes)))
        print("    system calls: merged file synced #%s, renamed into place #%s, save folder synced #%s, "
              "first segment removed #%s: %s" % (synced, placed, folder, removed, "in order" if ordered else "NOT"))
        self.check(not holes and ordered, "power loss order")
        os.remove(saved)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--program-dir", required=True)
    parser.add_argument("--trials", type=int, default=10)
    parser.add_argument("--cycles", type=int, default=100)
    parser.add_argument("--format", default="mp4")
    parser.add_argument("--mode", default="camera", help="camera (simulated) or screen (needs a desktop)")
    parser.add_argument("--only", default="a,b,c,d,e")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    args.driver = os.path.abspath(args.driver)
    run = Run(args)
    scenarios = {"a": run.encoder_killed, "b": run.program_killed, "c": run.pause_cycles, "d": run.small_disk,
                 "e": run.power_loss_order}
    for key in args.only.split(","):
        scenarios[key]()
        sys.stdout.flush()
    if run.failures:
        print("%d figure(s) out of bounds" % len(run.failures))
    return 1 if args.check and run.failures else 0


if __name__ == "__main__":
    sys.exit(main())
