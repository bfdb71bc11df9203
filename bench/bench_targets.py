"""The benchmark's standard cases, each on the screen it needs, and the targets the adapter's
figures are held to against SimpleScreenRecorder's in the same run."""

from dataclasses import dataclass
from typing import Optional, Tuple

from bench_commands import NO_AUDIO, QUALITIES, SYSTEM_ONLY
from bench_report import Case

FULL_HD = "1920x1080"
UHD = "3840x2160"
TWO_MONITORS = "2x1920x1080"  # two 1920x1080 monitors side by side, one 3840x1080 desktop


@dataclass(frozen=True)
class Preset:
    name: str
    screen: str
    quality: int
    audio: int
    mark: bool
    # (kind, limit): cpu (ms/frame ratio to ssr), cpu+sound (at most `limit` of ssr's silent
    # figure in `base` plus what sound adds to ssr's), mem (peak memory ratio), distinct (at least
    # that many a recorded second), joined (|duration - recorded| in s of the file and each of its
    # streams), av (|offset| in s at every stitch).
    # Every case also holds each run within one frame interval of its recorded time.
    targets: Tuple[Tuple[str, float], ...] = ()
    base: Optional[str] = None


_HEAVY = (("distinct", 23.5), ("joined", 0.1), ("av", 0.040))
SUITE = [
    Preset("1080p", FULL_HD, 1, NO_AUDIO, False, (("cpu", 0.85), ("mem", 0.6))),
    Preset("1080p-sound", FULL_HD, 1, SYSTEM_ONLY, False, (("cpu+sound", 0.85), ("mem", 0.6)), base="1080p"),
    Preset("4k-high", UHD, 2, SYSTEM_ONLY, True, _HEAVY + (("cpu", 0.9),)),
    Preset("4k-hd", UHD, 3, SYSTEM_ONLY, True, _HEAVY + (("cpu", 0.9),)),
    Preset("two-monitors", TWO_MONITORS, 3, SYSTEM_ONLY, True, _HEAVY),
]
PRESETS = {p.name: p for p in SUITE}


def screen_size(screen):
    """(width, height) of the whole desktop of a screen label: WxH, or NxWxH for N monitors in a row."""
    parts = [int(v) for v in screen.split("x")]
    count = parts.pop(0) if len(parts) == 3 else 1
    return parts[0] * count, parts[1]


def _check(kind, limit, fig, ssr, ssr_base, fps):
    """(text, holds or None when a figure is missing) for one target."""
    def ratio(a, b):
        return None if a is None or b is None or b <= 0 else a / b

    if kind == "cpu":
        r = ratio(fig.ms_per_frame, ssr and ssr.ms_per_frame)
        return "CPU/frame %s x ssr (<= %.2f)" % (_fmt(r), limit), None if r is None else r <= limit
    if kind == "cpu+sound":
        values = [fig.ms_per_frame, ssr and ssr.ms_per_frame, ssr_base and ssr_base.ms_per_frame]
        if None in values:
            return "CPU/frame against ssr's silent figure plus its sound's cost: missing", None
        allowed = limit * values[2] + (values[1] - values[2])
        return ("CPU/frame %.2f ms (<= %.2f x %.2f + %.2f sound = %.2f)"
                % (values[0], limit, values[2], values[1] - values[2], allowed), values[0] <= allowed)
    if kind == "mem":
        r = ratio(fig.peak_mib, ssr and ssr.peak_mib)
        return "peak memory %s x ssr (<= %.2f)" % (_fmt(r), limit), None if r is None else r <= limit
    if kind == "distinct":
        # Per second recorded: a file whose frames are stamped by count hides lost frames per
        # second of its own video.
        v = fig.distinct_per_recorded_second
        return ("distinct %s a recorded second (>= %.1f)" % (_fmt(v, "%.1f"), limit),
                None if v is None else v >= limit)
    if kind == "joined":
        # The file, its picture and its sound each: a short picture under full sound is no good.
        durations = [fig.file_duration, fig.video_duration, fig.audio_duration]
        v = None if None in durations else max((d - fig.recorded for d in durations), key=abs)
        return ("joined file, picture, sound: worst %s s against the recorded time (within %.2f)"
                % (_fmt(v, "%+.2f"), limit), None if v is None else abs(v) <= limit)
    if kind == "av":
        text = "A-V %s ms at the stitches (within %.0f)" % (
            "/".join("-" if o is None else "%+.0f" % (1000 * o) for o in fig.offsets) or "-", 1000 * limit)
        if not fig.offsets or None in fig.offsets:
            return text, None
        return text, all(abs(o) <= limit for o in fig.offsets)
    if kind == "runs":
        runs = fig.run_shortfall
        text = "runs %s s against start to pause (within %.3f)" % (
            "/".join("-" if r is None else "%+.3f" % r for r in runs) or "-", 1.0 / fps)
        if not runs or None in runs:
            return text, None
        return text, all(abs(r) <= 1.0 / fps for r in runs)
    raise ValueError(kind)


def _fmt(value, fmt="%.2f"):
    return "-" if value is None else fmt % value


def verdicts(cases, presets=PRESETS):
    """One line per target of every case from a preset: what it is, the figure, and whether it holds."""
    by_name = {c.name: c for c in cases}
    lines = []
    for case in cases:
        preset = presets.get(case.name)
        fig = case.figures.get("adapter")
        if preset is None or fig is None:
            continue
        ssr = case.figures.get("ssr")
        base = by_name.get(preset.base)
        ssr_base = base.figures.get("ssr") if base else None
        fps = QUALITIES[case.quality][1]
        for kind, limit in preset.targets + (("runs", 0.0),):
            text, holds = _check(kind, limit, fig, ssr, ssr_base, fps)
            lines.append("%-13s %-62s %s" % (case.name, text, {True: "holds", False: "FAILS", None: "unknown"}[holds]))
        if len(case.ratios) > 1:
            lines.append("%-13s   CPU/frame x ssr of the pairs: %s (the median pair's figures stand)" % (
                case.name, " ".join(_fmt(r) for r in case.ratios)))
    return lines


def case_of(preset):
    return Case(preset.quality, preset.audio, screen=preset.screen, mark=preset.mark, name=preset.name)
