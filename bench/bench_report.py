"""The benchmark's table: per case the figures of each variant that was recorded, and the adapter's
figures divided by each other variant's."""

from dataclasses import dataclass, field

from bench_commands import QUALITIES

SHORT_AUDIO = {0: "none", 1: "system", 2: "mic", 3: "both"}
# The same with a watermark
SHORT_AUDIO_MARK = {0: "wm", 1: "sys+wm", 2: "mic+wm", 3: "all+wm"}
MISSING = "-"


@dataclass
class Case:
    quality: int
    audio: int
    figures: dict = field(default_factory=dict)  # variant -> Figures or None
    notes: dict = field(default_factory=dict)  # variant -> why it was not recorded, or what it lacks
    screen: str = "1920x1080"
    mark: bool = False
    name: str = ""
    # The adapter's CPU per frame over the ssr's, of each pair recorded back to back; the figures
    # are the pair's with the median ratio.
    ratios: list = field(default_factory=list)


# Row order; the adapter is the one compared with the others.
VARIANTS = ("adapter", "fallback", "direct", "ssr")


def _worst(values):
    values = [v for v in values if v is not None]
    return max(values) if values else None


def _farthest(values):
    """The value farthest from zero, sign kept."""
    values = [v for v in values if v is not None]
    return max(values, key=abs) if values else None


def _minus(a, b):
    return None if a is None or b is None else a - b


def _per_kept(f):
    """All CPU of the runs (loading included) per frame the joined file kept."""
    if not f.frames or f.cpu_per_second is None:
        return None
    return 1000.0 * f.cpu_per_second * f.recorded / f.frames


def ratio(a, b, signed=False):
    """a / b; for signed figures (offsets, differences) the ratio of their sizes. None when
    either is missing or b is too close to zero to divide by."""
    if a is None or b is None:
        return None
    if signed:
        a, b = abs(a), abs(b)
    if abs(b) < 1e-9:
        return None
    return a / b


# (heading, width, figure -> value, format, signed)
COLUMNS = [
    ("rec s", 6, lambda f: f.recorded, "%.2f", False),
    ("CPU/s", 6, lambda f: f.cpu_per_second, "%.3f", False),
    ("ms/frame", 8, lambda f: f.ms_per_frame, "%.2f", False),
    ("ms/kept", 7, lambda f: _per_kept(f), "%.2f", False),
    ("MiB", 5, lambda f: f.peak_mib, "%.0f", False),
    ("frames", 6, lambda f: f.frames or None, "%d", False),
    ("distinct/s", 10, lambda f: f.distinct_per_second, "%.1f", False),
    ("dup %", 6, lambda f: 100.0 * f.duplicates / f.frames if f.frames else None, "%.0f", False),
    ("gap ms", 6, lambda f: None if f.longest_gap is None else 1000.0 * f.longest_gap, "%.0f", False),
    ("1st frame", 9, lambda f: _worst(f.first_frame), "%.2f", False),
    ("frozen", 6, lambda f: _worst(f.frozen_start), "%.2f", False),
    ("run-rec", 7, lambda f: _farthest(f.run_shortfall), "%+.2f", True),
    ("file-rec", 8, lambda f: _minus(f.file_duration, f.recorded), "%+.2f", True),
    ("audio s", 7, lambda f: f.audio_duration, "%.2f", False),
    ("video s", 7, lambda f: f.video_duration, "%.2f", False),
    ("mark/s", 6, lambda f: f.marker_cpu_per_second, "%.3f", False),
    ("X/s", 5, lambda f: f.xserver_cpu_per_second, "%.3f", False),
]
OFFSET_HEADING = "A-V offset ms"
EXIT_HEADING = "q-exit"


def _cell(value, fmt, width):
    return (MISSING if value is None else fmt % value).rjust(width)


def _offsets(values, fmt="%+.0f"):
    return "/".join(MISSING if v is None else fmt % v for v in values) if values else MISSING


def format_table(cases):
    head = "%-11s %-11s %-6s %-9s " % ("screen", "level", "sound", "run")
    head += " ".join(h.rjust(w) for h, w, _, _, _ in COLUMNS)
    head += "  %-17s %6s" % (OFFSET_HEADING, EXIT_HEADING)
    lines = [head]
    for case in cases:
        label = [case.screen, QUALITIES[case.quality][0],
                 (SHORT_AUDIO_MARK if case.mark else SHORT_AUDIO)[case.audio]]
        for variant in VARIANTS:
            if variant not in case.figures and variant not in case.notes:
                continue
            fig = case.figures.get(variant)
            row = "%-11s %-11s %-6s %-9s " % (label[0], label[1], label[2], variant)
            label = ["", "", ""]
            if fig is None:
                lines.append(row + case.notes.get(variant, "recording failed"))
                continue
            row += " ".join(_cell(get(fig), fmt, w) for _, w, get, fmt, _ in COLUMNS)
            offsets = [None if o is None else 1000.0 * o for o in fig.offsets] if case.audio else []
            row += "  %-17s %6s" % (_offsets(offsets), _cell(_worst(fig.quit_to_exit), "%.2f", 6).strip())
            if variant in case.notes:
                row += "  (%s)" % case.notes[variant]
            lines.append(row)
        a = case.figures.get("adapter")
        for other in VARIANTS[1:]:
            d = case.figures.get(other)
            if a is None or d is None:
                continue
            row = "%-11s %-11s %-6s %-9s " % ("", "", "", "/" + other)
            row += " ".join(_cell(ratio(get(a), get(d), signed), "%.2f", w) for _, w, get, _, signed in COLUMNS)
            offsets = ([ratio(x, y, True) for x, y in zip(a.offsets, d.offsets)] if case.audio else [])
            row += "  %-17s %6s" % (_offsets(offsets, "%.2f"),
                                    _cell(ratio(_worst(a.quit_to_exit), _worst(d.quit_to_exit)), "%.2f", 6).strip())
            lines.append(row)
    lines.append("adapter: its own screen grab; fallback: the adapter with REELCAST_CAPTURE=ffmpeg (x11grab); direct: "
                 "FFmpeg run directly; ssr: SimpleScreenRecorder. /x = adapter / x (sizes for signed figures). "
                 "ms/frame: CPU of the process tree from 1 s after launch to its end per frame of the frame rate from then to q; ms/kept: "
                 "all its CPU per frame kept; MiB: its peak PSS; "
                 "frames: frames the joined file kept; gap: the longest time between the grabs of two frames in a row; mark/s, X/s: CPU seconds a second of the benchmark's marker "
                 "(its moving picture included) and of the X server (which also serves the grabs); wm: watermark. "
                 "1st frame, frozen, run-rec and q-exit are the worst of the three runs; A-V offset > 0: sound later "
                 "than picture, at start/after pause 1/after pause 2")
    return "\n".join(lines)
