"""Encoder command lines of a FullScreen recording, as the program builds them, and their
plain-FFmpeg counterpart with only the Windows capture inputs replaced."""

# quality level -> (name, frame rate, video kbit/s, CRF, audio Hz, audio kbit/s)
QUALITIES = {
    0: ("Low", 15, 180, 24, 44100, 128),
    1: ("Recommended", 18, 300, 22, 44100, 128),
    2: ("High", 24, 500, 20, 48000, 256),
    3: ("HD", 24, 800, 18, 48000, 256),
}

NO_AUDIO, SYSTEM_ONLY, MICROPHONE_ONLY, SYSTEM_AND_MICROPHONE = 0, 1, 2, 3
AUDIO_NAMES = {
    NO_AUDIO: "NoAudio",
    SYSTEM_ONLY: "SystemOnly",
    MICROPHONE_ONLY: "MicrophoneOnly",
    SYSTEM_AND_MICROPHONE: "SystemAndMicrophone",
}

SYSTEM_SOUND = "virtual-audio-capturer"
# Where the program puts a text mark unless told otherwise: the top right corner.
MARK_OVERLAY = "overlay=(main_w-overlay_w) - 20:20"


def program_arguments(quality, audio, microphone, segment, rect=(0, 0, 1920, 1080), mark=None):
    """The argument string of one recording run in FullScreen mode, MP4; `mark` is the PNG of a
    watermark, or None for none."""
    _, fps, video_kbit, crf, sample_rate, audio_kbit = QUALITIES[quality]
    x, y, width, height = rect
    parts = ["-y", "-f gdigrab", "-offset_x %d" % x, "-offset_y %d" % y,
             "-video_size %dx%d" % (width - width % 2, height - height % 2), "-draw_mouse 1", "-i desktop"]
    if mark:
        parts += ['-f png_pipe -protocol_whitelist file -i "file:%s"' % mark, '-filter_complex "%s"' % MARK_OVERLAY]
    inputs = 0
    if audio & MICROPHONE_ONLY and microphone:
        parts += ["-f dshow", '-i audio="%s"' % microphone]
        inputs += 1
    if audio & SYSTEM_ONLY:
        parts += ["-f dshow", '-i audio="%s"' % SYSTEM_SOUND]
        inputs += 1
    if inputs == 2:
        parts.append("-filter_complex amix=inputs=2:duration=first:dropout_transition=2")
    parts += ["-framerate %d" % fps, "-r %d" % fps, "-b:v %dk" % video_kbit, "-crf %d" % crf,
              "-c:v libx264", "-preset ultrafast", "-pix_fmt yuv420p"]
    if inputs:
        parts += ["-ar %d" % sample_rate, "-ab %dk" % audio_kbit, " -c:a aac"]
    parts += ["-f mp4 -movflags faststart", '"%s"' % segment]
    return " ".join(parts)


def concat_arguments(list_file, merged):
    """The argument string that joins the segments of a recording."""
    return '-y -f concat -safe 0 -i "%s" -c copy -f mp4 "%s"' % (list_file, merged)


def concat_list(segments):
    """Contents of the list file of a merge, one line per segment."""
    return "".join("file '%s'\r\n" % path for path in segments)


def split_command(command):
    """Splits a command string into arguments the way the program's process launcher does:
    blanks separate, double quotes group and are dropped, three quotes in a row give one."""
    args = []
    current = ""
    quotes = 0
    in_quote = False
    for ch in command:
        if ch == '"':
            quotes += 1
            if quotes == 3:
                quotes = 0
                current += ch
            continue
        if quotes:
            if quotes == 1:
                in_quote = not in_quote
            quotes = 0
        if not in_quote and ch.isspace():
            if current:
                args.append(current)
                current = ""
        else:
            current += ch
    if current:
        args.append(current)
    return args


def direct_arguments(args, display, system_source):
    """The same arguments for plain FFmpeg on X11 and PulseAudio: gdigrab becomes x11grab of the
    same rectangle, each dshow sound input a pulse input (the system sound is the monitor of the
    default sink). Nothing else changes, option order included."""
    out = []
    i = 0
    while i < len(args):
        if args[i] == "-f" and i + 1 < len(args) and args[i + 1] == "gdigrab":
            end = args.index("-i", i + 2)
            options = args[i + 2:end]
            offset = {"-offset_x": "0", "-offset_y": "0"}
            kept = []
            j = 0
            while j < len(options):
                if options[j] in offset and j + 1 < len(options):
                    offset[options[j]] = options[j + 1]
                    j += 2
                else:
                    kept.append(options[j])
                    j += 1
            out += ["-f", "x11grab"] + kept + ["-i", "%s+%s,%s" % (display, offset["-offset_x"], offset["-offset_y"])]
            i = end + 2
        elif (args[i] == "-f" and i + 3 < len(args) and args[i + 1] == "dshow" and args[i + 2] == "-i"
              and args[i + 3].startswith("audio=")):
            name = args[i + 3][len("audio="):]
            out += ["-f", "pulse", "-i", system_source if name == SYSTEM_SOUND else name]
            i += 4
        else:
            out.append(args[i])
            i += 1
    return out
