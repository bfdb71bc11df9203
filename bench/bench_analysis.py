"""Reads a recording back: per frame its time, checksum, the marker clock it shows and whether the
screen was white; the onsets of the marker tone; the container's durations. Then works out the
figures of one benchmark run from them."""

import json
import re
import subprocess
from dataclasses import dataclass, field
from typing import List, Optional

# Clock blocks are told apart by comparing each with its complement below it; a pair closer than
# this (in 8-bit luma) is not a readable block, e.g. a half-drawn or heavily smeared frame.
MIN_CONTRAST = 60
# Mean luma above which a band of the screen counts as white (video white is 235).
WHITE_LEVEL = 180
# Tone onsets further than this from where the picture puts them are not taken as theirs.
MAX_PAIRING = 2.5


@dataclass
class Geometry:
    """What the marker reports on start: clock origin and where the clock strip is."""
    base_ms: int
    strip_x: int
    strip_y: int
    bits: int
    block: int
    width: int
    height: int

    @classmethod
    def parse(cls, line):
        words = line.split()
        if len(words) != 8 or words[0] != "ready":
            raise ValueError("unexpected marker greeting: %r" % line)
        return cls(*[int(w) for w in words[1:]])


@dataclass
class Frame:
    pts: float
    checksum: str
    clock: Optional[float]  # wall-clock ms shown by the marker, None when unreadable
    white: bool


@dataclass
class Segment:
    """One encoder run as the benchmark drove it (wall-clock seconds)."""
    launched: float
    quit_sent: float
    exited: float
    cpu: float
    flash_screen: Optional[float] = None  # ms
    flash_tone: Optional[float] = None  # ms
    status: int = 0  # exit status of the encoder
    # The encoder's process tree sampled while it ran: CPU seconds over the steady part (from one
    # second after launch to "q", loading left out) and that part's length; peak memory (PSS).
    steady_cpu: Optional[float] = None
    steady_seconds: Optional[float] = None
    peak_mib: Optional[float] = None
    # The benchmark's own cost over the run, launch to exit: the marker's CPU seconds (its moving
    # picture included), and the X server's (which also serves the recorder's grabs).
    marker_cpu: Optional[float] = None
    xserver_cpu: Optional[float] = None


@dataclass
class Figures:
    recorded: float = 0.0
    cpu_per_second: Optional[float] = None
    frames: int = 0
    duplicates: int = 0
    distinct_per_second: Optional[float] = None  # per second of the joined file's video
    distinct_per_recorded_second: Optional[float] = None
    # The longest time between the grabs of two frames in a row within a run, from the clock they
    # show: a stall the frame times of the file do not tell when the encoder stamps by count.
    longest_gap: Optional[float] = None
    first_frame: List[Optional[float]] = field(default_factory=list)  # per segment, s after launch
    frozen_start: List[Optional[float]] = field(default_factory=list)  # per segment, s
    quit_to_exit: List[float] = field(default_factory=list)
    file_duration: Optional[float] = None
    # per segment: its own file's duration minus its recorded time, before joining
    run_shortfall: List[Optional[float]] = field(default_factory=list)
    audio_duration: Optional[float] = None
    video_duration: Optional[float] = None
    offsets: List[Optional[float]] = field(default_factory=list)  # per marker, s; > 0: sound late
    ms_per_frame: Optional[float] = None  # steady CPU per frame of the frame rate
    peak_mib: Optional[float] = None
    marker_cpu_per_second: Optional[float] = None
    xserver_cpu_per_second: Optional[float] = None


def decode_clock(upper, lower, bits):
    """The clock value from the block means of the two strip rows, or None if any block is
    unreadable. A set bit is black above and white below."""
    value = 0
    for i in range(bits):
        if abs(upper[i] - lower[i]) < MIN_CONTRAST:
            return None
        value = (value << 1) | (1 if upper[i] < lower[i] else 0)
    return value


def probe(path):
    """Container and stream durations (None where the file does not tell)."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries", "format=duration:stream=codec_type,duration",
         "-of", "json", path], capture_output=True, text=True, check=True).stdout
    data = json.loads(out)

    def number(value):
        try:
            return float(value)
        except (TypeError, ValueError):
            return None

    result = {"file": number(data.get("format", {}).get("duration")), "audio": None, "video": None}
    for stream in data.get("streams", []):
        kind = stream.get("codec_type")
        if kind in ("audio", "video") and result[kind] is None:
            result[kind] = number(stream.get("duration"))
    return result


SHOWINFO = re.compile(r"\bn:\s*\d+\s+pts:\s*-?\d+\s+pts_time:(\S+).*?\bchecksum:([0-9A-Fa-f]+)")


def read_frames(path, geometry):
    """Decodes every video frame as stored (no frame added or dropped) and returns what it shows."""
    g = geometry
    strip_w = g.bits * g.block
    band_y = max(0, g.strip_y // 2 - 100)
    graph = ("showinfo,split[a][b];"
             "[a]crop=%d:%d:%d:%d,scale=%d:2:flags=area[clock];"
             "[b]crop=iw:200:0:%d,scale=%d:1:flags=area[band];"
             "[clock][band]vstack=inputs=2,format=gray"
             % (strip_w, 2 * g.block, g.strip_x, g.strip_y, g.bits, band_y, g.bits))
    proc = subprocess.run(
        ["ffmpeg", "-nostdin", "-hide_banner", "-nostats", "-v", "info", "-copyts", "-i", path,
         "-map", "0:v:0", "-vf", graph, "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "gray",
         "pipe:1"], capture_output=True, check=True)
    infos = SHOWINFO.findall(proc.stderr.decode("utf-8", "replace"))
    size = 3 * g.bits
    raw = proc.stdout
    if len(raw) != size * len(infos):
        raise RuntimeError("%s: %d frame reports but %d bytes of pictures" % (path, len(infos), len(raw)))
    frames = []
    for i, (pts, checksum) in enumerate(infos):
        rows = raw[i * size:(i + 1) * size]
        upper, lower, band = rows[:g.bits], rows[g.bits:2 * g.bits], rows[2 * g.bits:]
        value = decode_clock(upper, lower, g.bits)
        frames.append(Frame(float(pts), checksum.upper(), None if value is None else g.base_ms + value,
                            min(band) > WHITE_LEVEL))
    frames.sort(key=lambda f: f.pts)
    return frames


SILENCE_END = re.compile(r"silence_end:\s*(-?[\d.]+)")


def tone_onsets(path):
    """Times (in the file) at which sound starts after at least 0.1 s of silence."""
    proc = subprocess.run(
        ["ffmpeg", "-nostdin", "-hide_banner", "-nostats", "-v", "info", "-copyts", "-i", path,
         "-map", "0:a:0", "-af", "silencedetect=noise=-20dB:d=0.1", "-f", "null", "-"],
        capture_output=True, text=True, check=True)
    return [float(t) for t in SILENCE_END.findall(proc.stderr)]


def split_by_segment(frames, segments):
    """Frames grouped by the run whose time the marker clock shows; an unreadable clock stays
    with the frame before it."""
    groups = [[] for _ in segments]
    current = 0
    for frame in frames:
        if frame.clock is not None:
            t = frame.clock / 1000.0
            for i, seg in enumerate(segments):
                if seg.launched - 0.05 <= t <= seg.exited + 0.05:
                    current = i
                    break
        groups[current].append(frame)
    return groups


def picture_onset(frames, screen_ms):
    """File time at which the picture turns white: from the first white frame, moved back by how
    long the screen had been white when that frame was grabbed."""
    for frame in frames:
        if frame.white and frame.clock is not None and frame.clock >= screen_ms - 50:
            return frame.pts - max(0.0, frame.clock - screen_ms) / 1000.0
    return None


def analyse(frames, onsets, segments, info, run_durations=(), fps=None):
    """run_durations: each segment file's own duration (None where unreadable), in order."""
    fig = Figures()
    steady = [s for s in segments if s.steady_cpu is not None and s.steady_seconds]
    if fps and steady:
        fig.ms_per_frame = 1000.0 * sum(s.steady_cpu for s in steady) / (sum(s.steady_seconds for s in steady) * fps)
    peaks = [s.peak_mib for s in segments if s.peak_mib is not None]
    fig.peak_mib = max(peaks) if peaks else None
    fig.recorded = sum(s.quit_sent - s.launched for s in segments)
    running = sum(s.exited - s.launched for s in segments)
    for name in ("marker_cpu", "xserver_cpu"):
        values = [getattr(s, name) for s in segments]
        if running > 0 and None not in values:
            setattr(fig, name + "_per_second", sum(values) / running)
    fig.run_shortfall = [None if d is None else d - (s.quit_sent - s.launched)
                         for s, d in zip(segments, run_durations)]
    if fig.recorded > 0:
        fig.cpu_per_second = sum(s.cpu for s in segments) / fig.recorded
    fig.quit_to_exit = [s.exited - s.quit_sent for s in segments]
    fig.file_duration, fig.audio_duration, fig.video_duration = info["file"], info["audio"], info["video"]

    fig.frames = len(frames)
    fig.duplicates = sum(1 for a, b in zip(frames, frames[1:]) if a.checksum == b.checksum)
    if fig.video_duration:
        fig.distinct_per_second = (fig.frames - fig.duplicates) / fig.video_duration
    if fig.recorded > 0:
        fig.distinct_per_recorded_second = (fig.frames - fig.duplicates) / fig.recorded

    used = set()
    gaps = []
    for seg, group in zip(segments, split_by_segment(frames, segments)):
        clocks = [f.clock for f in group if f.clock is not None]
        gaps += [(b - a) / 1000.0 for a, b in zip(clocks, clocks[1:])]
        first = next((f for f in group if f.clock is not None), None)
        fig.first_frame.append(None if first is None else first.clock / 1000.0 - seg.launched)
        if group:
            changed = next((f for f in group if f.checksum != group[0].checksum), None)
            end = changed.pts if changed else group[-1].pts
            fig.frozen_start.append(end - group[0].pts)
        else:
            fig.frozen_start.append(None)

        offset = None
        if seg.flash_screen is not None and onsets is not None:
            picture = picture_onset(group, seg.flash_screen)
            if picture is not None:
                # Where the tone belongs in the file if sound and picture agree.
                expected = picture + (seg.flash_tone - seg.flash_screen) / 1000.0
                candidates = [(abs(t - expected), i) for i, t in enumerate(onsets)
                              if i not in used and abs(t - expected) <= MAX_PAIRING]
                if candidates:
                    _, best = min(candidates)
                    used.add(best)
                    offset = onsets[best] - expected
        fig.offsets.append(offset)
    fig.longest_gap = max(gaps) if gaps else None
    return fig
