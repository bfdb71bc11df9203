"""Helpers shared by the encoder adapter tests: start command strings the way the program does,
stop recordings with "q", and look at the files with ffprobe."""

import json
import os
import subprocess
import sys
import time

ADAPTER = None
RUNNER = None


def take_paths(argv):
    """Removes --adapter PATH and --runner PATH from argv (the rest is for unittest)."""
    global ADAPTER, RUNNER
    rest = [argv[0]]
    args = iter(argv[1:])
    for arg in args:
        if arg == "--adapter":
            ADAPTER = next(args)
        elif arg == "--runner":
            RUNNER = next(args)
        else:
            rest.append(arg)
    if not ADAPTER or not RUNNER:
        sys.exit("usage: %s --adapter PATH --runner PATH [unittest options]" % argv[0])
    return rest


def command(arguments, prefix=""):
    """The command string the program builds: quoted encoder path, a blank, the arguments
    (`prefix` runs the adapter under another program, such as valgrind)."""
    return '%s"%s" %s' % (prefix, ADAPTER, arguments)


def environment(**overrides):
    env = dict(os.environ)
    for key, value in overrides.items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value
    return env


def run(arguments, env=None, timeout=60, prefix=""):
    """Runs a command string to its end; returns (exit code, stdout, stderr)."""
    p = subprocess.run([RUNNER, command(arguments, prefix)], env=env or os.environ, capture_output=True,
                       timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def dry_run_with_sounds(arguments, **env):
    """The program and argument vector the adapter would run FFmpeg with, and the sound sources
    it would record itself: {descriptor: source, "" being the default source}."""
    code, out, err = run(arguments, environment(REELCAST_ADAPTER_DRYRUN="1", **env))
    if code != 0:
        raise AssertionError("dry run failed (%d): %s" % (code, err))
    lines = [line.replace("\\n", "\n").replace("\\\\", "\\") for line in out.split("\n")[:-1]]
    sounds = {}
    while lines and lines[-1].startswith("@sound:"):
        fd, source = lines.pop()[len("@sound:"):].split("=", 1)
        sounds[int(fd)] = source
    return lines[0], lines[1], lines[2:], sounds


def dry_run(arguments, **env):
    """The program and argument vector the adapter would run FFmpeg with."""
    return dry_run_with_sounds(arguments, **env)[:3]


def record(arguments, seconds, env=None, log=None, pass_fds=(), prefix=""):
    """Starts a recording, lets it run, stops it with "q\\r\\n" as the program does. Returns the
    exit code, the encoder output, the CPU seconds the encoder used and the recorded time (from
    the start to "q", as the program's clock counts it). `pass_fds` are inherited, as the
    program's screen-cast descriptor is."""
    before = os.times()
    out = open(log, "w+b") if log else subprocess.PIPE
    started = time.monotonic()
    p = subprocess.Popen([RUNNER, command(arguments, prefix)], env=env or os.environ, stdin=subprocess.PIPE,
                         stdout=out, stderr=subprocess.STDOUT, pass_fds=pass_fds)
    time.sleep(seconds)
    recorded = time.monotonic() - started
    try:
        p.stdin.write(b"q\r\n")
        p.stdin.flush()
    except BrokenPipeError:
        pass  # it ended by itself: the exit code and output tell why
    try:
        p.wait(timeout=30)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
        raise
    try:
        p.stdin.close()
    except BrokenPipeError:
        pass  # the "q" still waiting in the buffer, for a run that ended by itself
    after = os.times()
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    if log:
        out.seek(0)
        text = out.read()
        out.close()
    else:
        text = p.stdout.read()
        p.stdout.close()
    return p.returncode, text.decode("utf-8", "replace"), cpu, recorded


def probe(path):
    """ffprobe's view of a file: {"format": ..., "video": stream or None, "audio": stream or None}."""
    p = subprocess.run(["ffprobe", "-v", "error", "-of", "json", "-show_format", "-show_streams", path],
                       capture_output=True, text=True, check=True)
    info = json.loads(p.stdout)
    result = {"format": info["format"], "video": None, "audio": None}
    for stream in info["streams"]:
        if result.get(stream["codec_type"], 0) is None:
            result[stream["codec_type"]] = stream
    return result


def packet_times(path, selector):
    """(first pts, end of last packet) of the chosen stream, in seconds."""
    p = subprocess.run(["ffprobe", "-v", "error", "-select_streams", selector, "-show_entries",
                        "packet=pts_time,duration_time", "-of", "csv=p=0", path],
                       capture_output=True, text=True, check=True)
    rows = []
    for line in p.stdout.split("\n"):
        fields = line.strip().strip(",").split(",")
        if len(fields) >= 2 and fields[0] not in ("", "N/A"):
            rows.append((float(fields[0]), float(fields[1]) if fields[1] not in ("", "N/A") else 0.0))
    rows.sort()
    return rows[0][0], rows[-1][0] + rows[-1][1]


def frame_hashes(path, seconds=None):
    """(pts in seconds, md5) of every decoded video frame, optionally only the first seconds."""
    cmd = ["ffmpeg", "-v", "error", "-i", path, "-map", "0:v:0"]
    if seconds:
        cmd += ["-t", str(seconds)]
    cmd += ["-f", "framemd5", "-"]
    p = subprocess.run(cmd, capture_output=True, text=True, check=True)
    timebase = None
    frames = []
    for line in p.stdout.split("\n"):
        if line.startswith("#tb 0:"):
            num, den = line.split(":")[1].strip().split("/")
            timebase = int(num) / int(den)
        elif line and not line.startswith("#"):
            fields = [f.strip() for f in line.split(",")]
            frames.append((int(fields[2]) * timebase, fields[5]))
    return frames


def longest_still(frames):
    """Longest time the picture stays the same: from the first of a run of identical frames to
    the first different one."""
    longest = 0.0
    start = 0
    for i in range(1, len(frames) + 1):
        if i == len(frames) or frames[i][1] != frames[start][1]:
            end = frames[i][0] if i < len(frames) else frames[-1][0]
            longest = max(longest, end - frames[start][0])
            start = i
    return longest
