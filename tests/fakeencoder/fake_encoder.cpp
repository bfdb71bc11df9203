// A stand-in for the FFmpeg command-line program, for tests. It imitates the console behaviour the
// program relies on, fast and exactly. Tests install it into a temporary program folder as
// zrk_video_capture.exe (and as vcamera.exe, where it plays the camera preview).
//
// Mode, chosen by the arguments (everything is printed on standard error, as FFmpeg does):
//   -list_devices true        a DirectShow device listing, then exit 1
//   -list_options true ... -i video=NAME
//                             the frame sizes of camera NAME, then exit 1 (unknown camera: error)
//   -f concat ... -i LIST ... OUTPUT
//                             joins the files named in LIST ("file 'PATH'" lines) into OUTPUT by
//                             appending their bytes, exit 0; a listed file that is missing is an
//                             error: no output, exit 1
//                             (paths may carry "file:"; list entries are relative to the list)
//   -i FILE ... -f null -     reads FILE as a probe: a file of segments ("segment NAME" lines)
//                             reports time= of their lengths (each "seconds N" plus 0.5 s a
//                             segment), exit 0; anything else is invalid data, exit 1
//   started as vcamera.exe    a preview: prints one line, runs until "q" (as in "quit\n")
//   anything else             a recording: creates OUTPUT (the last argument) with a first line,
//                             prints a banner, then a progress line ended by "\r" every interval;
//                             on "q" on standard input it finishes OUTPUT and exits 0
//
// Environment:
//   FAKE_ENCODER_SPEED=F          encoder time runs F times as fast as real time (default 1)
//   FAKE_ENCODER_INTERVAL_MS=N    milliseconds between progress lines (default 150)
//   FAKE_ENCODER_START_SECONDS=N  the progress time starts at N seconds (default 0)
//   FAKE_ENCODER_DURATION=TEXT    the banner's input line shows "Duration: TEXT" (e.g. 00:01:05.00)
//                                 instead of N/A, an hh:mm:ss text before any progress time
//   FAKE_ENCODER_EXIT_AFTER=S     ends by itself after S seconds of real time with an error, exit 1,
//                                 leaving OUTPUT as far as it got
//   FAKE_ENCODER_WRITE=MODE       "none": never creates OUTPUT; "empty": leaves OUTPUT empty;
//                                 default: OUTPUT holds some bytes
//   FAKE_ENCODER_HANG=1           ignores "q"; runs until killed (or the lifetime ends)
//   FAKE_ENCODER_QUIT_DELAY_MS=N  milliseconds between reading "q" and exiting (default 0)
//   FAKE_ENCODER_CONCAT_MS=N      milliseconds a concat takes (default 0); "q" cuts it short
//   FAKE_ENCODER_CONCAT_DROP=1    a concat leaves out the second listed file and still exits 0
//   FAKE_ENCODER_VIDEO_DEVICES    ';'-separated video devices of the listing
//                                 (default "screen-capture-recorder;Test Camera")
//   FAKE_ENCODER_AUDIO_DEVICES    ';'-separated audio devices (default "virtual-audio-capturer")
//   FAKE_ENCODER_CAMERA_SIZES     ';'-separated frame sizes for -list_options
//                                 (default "1280x720;640x480")
//   FAKE_ENCODER_ARGS_LOG=FILE    appends one line per start: the arguments, separated by tabs
//   FAKE_ENCODER_LIFETIME=S       safety net: exits with code 2 after S seconds (default 300)
//
// Segment contents: "segment NAME\n" at the start and "seconds N\n" (the last progress time in
// whole seconds) when it ends on "q"; a concat output is the listed files' bytes in list order.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> quitRequested{false};

std::string env(const char* name, const std::string& fallback = std::string())
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : fallback;
}

double envNumber(const char* name, double fallback)
{
    const std::string text = env(name);
    if (text.empty())
        return fallback;
    try {
        return std::stod(text);
    } catch (...) {
        return fallback;
    }
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator)) {
        if (!part.empty())
            parts.push_back(part);
    }
    return parts;
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The value after `option`, or empty.
std::string optionValue(const std::vector<std::string>& args, const std::string& option)
{
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == option)
            return args[i + 1];
    }
    return std::string();
}

bool hasPair(const std::vector<std::string>& args, const std::string& first, const std::string& second)
{
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == first && args[i + 1] == second)
            return true;
    }
    return false;
}

void say(const std::string& text)
{
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

[[noreturn]] void leave(int code)
{
    std::fflush(stderr);
    std::fflush(stdout);
    // The stdin reader may still block in a read; end without waiting for it.
    std::_Exit(code);
}

void readStandardInput()
{
    int c;
    while ((c = std::fgetc(stdin)) != EOF) {
        if (c == 'q')
            quitRequested = true;
    }
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void sleepMs(double ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(ms * 1000)));
}

const char kDshow[] = "[dshow @ 000001d2c8a3f140] ";

int listDevices()
{
    for (const std::string& name :
         split(env("FAKE_ENCODER_VIDEO_DEVICES", "screen-capture-recorder;Test Camera"), ';')) {
        say(std::string(kDshow) + "\"" + name + "\" (video)\n");
        say(std::string(kDshow) +
            "  Alternative name \"@device_pnp_\\\\?\\usb#vid_046d&pid_0825&mi_00#6&2c1e7f4b&0&0000"
            "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global\"\n");
    }
    for (const std::string& name : split(env("FAKE_ENCODER_AUDIO_DEVICES", "virtual-audio-capturer"), ';')) {
        say(std::string(kDshow) + "\"" + name + "\" (audio)\n");
        say(std::string(kDshow) + "  Alternative name \"@device_cm_{33D9A762-90C8-11D0-BD43-00A0C911CE86}"
                                  "\\wave_{2D3C1F9A-6E4B-4C2D-9E7B-1A2B3C4D5E6F}\"\n");
    }
    say("dummy: Immediate exit requested\n");
    return 1;
}

int listOptions(const std::vector<std::string>& args)
{
    const std::string input = optionValue(args, "-i");
    const std::string name = input.rfind("video=", 0) == 0 ? input.substr(6) : input;
    bool known = false;
    for (const std::string& device :
         split(env("FAKE_ENCODER_VIDEO_DEVICES", "screen-capture-recorder;Test Camera"), ';'))
        known = known || device == name;
    if (!known) {
        say(std::string(kDshow) + "Could not find video device with name [" + name +
            "] among source devices of type video.\n");
        say(input + ": I/O error\n");
        return 1;
    }
    say(std::string(kDshow) + "DirectShow video device options (from video devices)\n");
    say(std::string(kDshow) + " Pin \"Capture\" (alternative pin name \"0\")\n");
    for (const std::string& size : split(env("FAKE_ENCODER_CAMERA_SIZES", "1280x720;640x480"), ';')) {
        say(std::string(kDshow) + "  pixel_format=yuyv422  min s=" + size + " fps=5 max s=" + size +
            " fps=30\n");
        say(std::string(kDshow) + "  vcodec=mjpeg  min s=" + size + " fps=5 max s=" + size + " fps=30\n");
    }
    say(input + ": Immediate exit requested\n");
    return 1;
}

std::string withoutFileProtocol(const std::string& path)
{
    return path.rfind("file:", 0) == 0 ? path.substr(5) : path;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void progressLine(double seconds, int frame, bool last);

int probe(const std::vector<std::string>& args)
{
    const std::string input = withoutFileProtocol(optionValue(args, "-i"));
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        say(input + ": No such file or directory\n");
        return 1;
    }
    double seconds = 0;
    int segments = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("segment ", 0) == 0) {
            ++segments;
            seconds += 0.5;
        } else if (line.rfind("seconds ", 0) == 0) {
            seconds += std::atof(line.c_str() + 8);
        }
    }
    if (segments == 0) {
        say(input + ": Invalid data found when processing input\n");
        return 1;
    }
    progressLine(seconds, static_cast<int>(seconds * 30), true);
    return 0;
}

int concat(const std::vector<std::string>& args, const std::string& output)
{
    const std::string list = withoutFileProtocol(optionValue(args, "-i"));
    std::ifstream in(list, std::ios::binary);
    if (!in) {
        say(list + ": No such file or directory\n");
        return 1;
    }
    std::vector<std::string> files;
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (line.rfind("file ", 0) != 0)
            continue;
        // The path is one token as FFmpeg reads it: quoted runs taken literally, a backslash
        // escaping the next character outside quotes (so it's is written 'it'\''s').
        std::string path;
        bool quoted = false;
        for (size_t i = 5; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\'')
                quoted = !quoted;
            else if (c == '\\' && !quoted && i + 1 < line.size())
                path += line[++i];
            else if (c == ' ' && !quoted && path.empty())
                continue;
            else
                path += c;
        }
        path = withoutFileProtocol(path);
        files.push_back(path.empty() || path[0] == '/' ? path : folderOf(list) + path);
    }
    // As FFmpeg does with a piece it cannot open: skipped, and still a success.
    if (env("FAKE_ENCODER_CONCAT_DROP") == "1" && files.size() > 1)
        files.erase(files.begin() + 1);
    std::string joined;
    for (const std::string& file : files) {
        std::ifstream part(file, std::ios::binary);
        if (!part) {
            say("[concat @ 0x55d0c7e4a2c0] Impossible to open '" + file + "'\n");
            say(list + ": No such file or directory\n");
            return 1;
        }
        joined += std::string(std::istreambuf_iterator<char>(part), std::istreambuf_iterator<char>());
    }
    const auto start = Clock::now();
    const double concatMs = envNumber("FAKE_ENCODER_CONCAT_MS", 0);
    while (secondsSince(start) * 1000 < concatMs && !quitRequested)
        sleepMs(10);
    const std::string mode = env("FAKE_ENCODER_WRITE");
    if (mode != "none") {
        std::ofstream out(withoutFileProtocol(output), std::ios::binary | std::ios::trunc);
        if (mode != "empty")
            out << joined;
    }
    say("video:" + std::to_string(joined.size()) +
        "kB audio:0kB subtitle:0kB other streams:0kB global headers:0kB "
        "muxing overhead: 0.1%\n");
    return 0;
}

void progressLine(double seconds, int frame, bool last)
{
    const int total = static_cast<int>(seconds * 100);
    char line[256];
    std::snprintf(
        line, sizeof line,
        "frame=%5d fps= 30 q=%s size=%8dkB time=%02d:%02d:%02d.%02d bitrate=%6.1fkbits/s speed=%4.3gx    %s",
        frame, last ? "-1.0 L" : "29.0", frame * 3, total / 360000, total / 6000 % 60, total / 100 % 60,
        total % 100, seconds > 0 ? 700.0 : 0.0, envNumber("FAKE_ENCODER_SPEED", 1), last ? "\n" : "\r");
    say(line);
}

int record(const std::string& output, bool preview, const std::vector<std::string>& args)
{
    const auto start = Clock::now();
    const double speed = envNumber("FAKE_ENCODER_SPEED", 1);
    const double interval = envNumber("FAKE_ENCODER_INTERVAL_MS", 150);
    const double startSeconds = envNumber("FAKE_ENCODER_START_SECONDS", 0);
    const double exitAfter = envNumber("FAKE_ENCODER_EXIT_AFTER", -1);
    const double lifetime = envNumber("FAKE_ENCODER_LIFETIME", 300);
    const bool hang = env("FAKE_ENCODER_HANG") == "1";
    const std::string mode = env("FAKE_ENCODER_WRITE");
    const bool writes = !preview && !output.empty() && mode != "none";

    if (writes) {
        std::ofstream out(output, std::ios::binary | std::ios::trunc);
        if (!out) {
            say(output + ": No such file or directory\n");
            return 1;
        }
        if (mode != "empty")
            out << "segment " << baseName(output) << "\n";
    }
    if (preview) {
        say("preview of " + optionValue(args, "-i") + "\n");
    } else {
        const std::string duration = env("FAKE_ENCODER_DURATION");
        say("ffmpeg version 5.1-fake Copyright (c) 2000-2022 the FFmpeg developers\n"
            "  built with a test double\n"
            "Input #0, gdigrab, from 'desktop':\n"
            "  Duration: " +
            (duration.empty() ? std::string("N/A") : duration) +
            ", start: 1714555230.000000, bitrate: 1990656 kb/s\n"
            "  Stream #0:0: Video: bmp, bgra, 1920x1080, 1990656 kb/s, 30 fps, 30 tbr, 1000k tbn\n"
            "Stream mapping:\n"
            "  Stream #0:0 -> #0:0 (bmp (native) -> h264 (libx264))\n"
            "Press [q] to stop, [?] for help\n"
            "Output #0, mp4, to '" +
            output + "':\n");
    }

    double seconds = startSeconds;
    int frame = 0;
    auto nextLine = start + std::chrono::microseconds(static_cast<long long>(interval * 1000));
    for (;;) {
        sleepMs(5);
        const double elapsed = secondsSince(start);
        if (quitRequested && !hang) {
            sleepMs(envNumber("FAKE_ENCODER_QUIT_DELAY_MS", 0));
            if (!preview) {
                progressLine(seconds, frame, true);
                say("video:" + std::to_string(frame * 3) +
                    "kB audio:0kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 0.9%\n");
            }
            if (writes && mode != "empty") {
                std::ofstream out(output, std::ios::binary | std::ios::app);
                out << "seconds " << static_cast<int>(seconds) << "\n";
            }
            return 0;
        }
        if (exitAfter >= 0 && elapsed >= exitAfter) {
            say("\n[gdigrab @ 0000024e1a9c0f40] Failed to capture image (error 6)\n"
                "Error while decoding stream #0:0: Input/output error\n"
                "Conversion failed!\n");
            return 1;
        }
        if (elapsed >= lifetime) {
            say("fake encoder: lifetime over\n");
            return 2;
        }
        if (!preview && Clock::now() >= nextLine) {
            seconds = startSeconds + elapsed * speed;
            frame = static_cast<int>(seconds * 30);
            progressLine(seconds, frame, false);
            nextLine += std::chrono::microseconds(static_cast<long long>(interval * 1000));
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string argsLog = env("FAKE_ENCODER_ARGS_LOG");
    if (!argsLog.empty()) {
        std::ofstream log(argsLog, std::ios::app);
        for (size_t i = 0; i < args.size(); ++i)
            log << (i ? "\t" : "") << args[i];
        log << "\n";
    }

    std::thread(readStandardInput).detach();

    if (hasPair(args, "-list_devices", "true"))
        leave(listDevices());
    if (hasPair(args, "-list_options", "true"))
        leave(listOptions(args));
    const std::string output = args.empty() ? std::string() : args.back();
    if (hasPair(args, "-f", "concat"))
        leave(concat(args, output));
    if (hasPair(args, "-f", "null"))
        leave(probe(args));
    const bool preview = baseName(argc > 0 ? argv[0] : "") == "vcamera.exe";
    leave(record(output, preview, args));
}
