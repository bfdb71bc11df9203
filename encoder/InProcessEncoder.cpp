#include "InProcessEncoder.h"

#include "FfmpegCommand.h"
#include "ScreenCapture.h"
#include "SegmentFormat.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <iostream>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

using Options = std::vector<std::string>;

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "18", "30000/1001".
bool isRate(const std::string& rate)
{
    const auto number = [](const std::string& text) {
        return !text.empty() && text.size() < 7 &&
               text.find_first_not_of("0123456789") == std::string::npos && std::atol(text.c_str()) > 0;
    };
    const size_t slash = rate.find('/');
    return number(rate.substr(0, slash)) && (slash == std::string::npos || number(rate.substr(slash + 1)));
}

InProcessEncoder::Quit g_quit;

void onSignal(int)
{
    g_quit.ask();
}

// FFmpeg's libraries take a fifth of a second to load: they come with a module beside the
// adapter, loaded once the grab has started.
std::string modulePath(const InProcessEncoder::Shape& shape)
{
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path = n > 0 ? std::string(self, size_t(n)) : std::string();
    const size_t slash = path.rfind('/');
    const bool filters = !shape.videoGraph.empty() || !shape.audioGraph.empty();
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" +
           (filters ? InProcessEncoder::kModule : InProcessEncoder::kPlainModule);
}

} // namespace

bool InProcessEncoder::recognise(const std::vector<std::string>& args, Shape& shape)
{
    shape = Shape();
    const FfmpegCommand command = FfmpegCommand::parse(args);
    // Without "-y" FFmpeg would ask before writing over a file.
    if (!FfmpegCommand::has(command.globals, "-y"))
        return false;
    for (size_t i = 0; i < command.globals.size(); ++i) {
        const std::string& option = command.globals[i];
        if (option == "-y" || option == "-hide_banner")
            continue;
        if (option != "-filter_complex" || i + 1 >= command.globals.size())
            return false;
        // The graphs the program writes: one filter on unlabelled pads each.
        const std::string& graph = command.globals[++i];
        if (graph.find_first_of("[];") != std::string::npos)
            return false;
        if (startsWith(graph, "overlay=") && shape.videoGraph.empty())
            shape.videoGraph = graph;
        else if (startsWith(graph, "amix=") && shape.audioGraph.empty())
            shape.audioGraph = graph;
        else
            return false;
    }

    bool screen = false;
    for (size_t i = 0; i < command.inputs.size(); ++i) {
        const FfmpegCommand::Input& input = command.inputs[i];
        const std::string format = FfmpegCommand::value(input.options, "-f");
        if ((format == "gdigrab" && input.url == "desktop") ||
            (format == "dshow" && input.url == "video=screen-capture-recorder")) {
            if (screen || i != 0)
                return false; // the first video input is the overlay's main picture
            screen = true;
        } else if (format == "dshow" && startsWith(input.url, "audio=")) {
            shape.soundInputs.push_back(i);
        } else if (format == "png_pipe" && startsWith(input.url, "file:") && shape.markUrl.empty() &&
                   input.options.size() == 4 &&
                   FfmpegCommand::value(input.options, "-protocol_whitelist") == "file") {
            shape.markUrl = input.url;
        } else {
            return false;
        }
    }
    if (!screen || shape.soundInputs.size() > 2 || shape.markUrl.empty() != shape.videoGraph.empty() ||
        (shape.soundInputs.size() == 2) != !shape.audioGraph.empty())
        return false;

    const Options& outputs = command.outputs;
    if (outputs.empty() || startsWith(outputs.back(), "-"))
        return false;
    shape.file = outputs.back();
    std::string videoCodec;
    std::string audioCodec;
    std::string pixelFormat = "yuv420p";
    for (size_t i = 0; i + 1 < outputs.size(); i += 2) {
        const std::string& name = outputs[i];
        const std::string& value = outputs[i + 1];
        if (i + 2 == outputs.size())
            return false; // a name without its value before the file
        if (name == "-framerate" || name == "-movflags")
            continue; // no meaning for the output; the segment's own flags replace the latter
        if (name == "-r")
            shape.rate = value;
        else if (name == "-b:v")
            shape.videoOptions.push_back({"b", value});
        else if (name == "-crf" || name == "-preset" || name == "-threads")
            shape.videoOptions.push_back({name.substr(1), value});
        else if (name == "-c:v")
            videoCodec = value;
        else if (name == "-pix_fmt")
            pixelFormat = value;
        else if (name == "-ar")
            shape.sampleRate = std::atoi(value.c_str());
        else if (name == "-ab" || name == "-b:a")
            shape.audioBitrate = value;
        else if (name == "-c:a")
            audioCodec = value;
        else if (name == "-f")
            shape.format = value == "wmv" ? "asf" : value;
        else
            return false;
    }
    if (videoCodec != "libx264" || pixelFormat != "yuv420p" || !isRate(shape.rate) ||
        (!shape.soundInputs.empty() && audioCodec != "aac") || (shape.sampleRate < 0) ||
        (shape.format != "mp4" && shape.format != "mov" && shape.format != "flv" && shape.format != "avi" &&
         shape.format != "asf"))
        return false;

    Options segment{"-f", shape.format, shape.file};
    SegmentFormat::makeCrashSafe(segment);
    for (size_t i = 2; i + 2 < segment.size(); i += 2)
        shape.muxerOptions.push_back({segment[i].substr(1), segment[i + 1]});
    return true;
}

bool InProcessEncoder::available(const Shape& shape)
{
    return access(modulePath(shape).c_str(), R_OK) == 0;
}

InProcessEncoder::InProcessEncoder(Shape shape, ScreenCapture& screen, PulseServer* pulse,
                                   std::vector<std::string> sounds, const FeedClock& clock)
    : shape_(std::move(shape)), screen_(screen), pulse_(pulse), sounds_(std::move(sounds)), clock_(clock)
{
}

int InProcessEncoder::run(const std::string& name)
{
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Standard input is read at once and on its own thread, so that "q" ends the picture where it
    // came, whatever the encoder is busy with.
    std::atomic<bool> watching{true};
    std::thread keys([&watching] {
        while (watching) {
            pollfd ready{STDIN_FILENO, POLLIN, 0};
            if (poll(&ready, 1, 20) <= 0)
                continue;
            char bytes[64];
            const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
            if (n <= 0)
                return; // no more input: only a signal ends the run
            if (std::memchr(bytes, 'q', size_t(n))) {
                g_quit.byKey = true;
                g_quit.ask();
                return;
            }
        }
    });
    struct StopKeys
    {
        std::atomic<bool>& watching;
        std::thread& keys;
        ~StopKeys()
        {
            watching = false;
            keys.join();
        }
    } stopKeys{watching, keys};

    const std::string path = modulePath(shape_);
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = module ? reinterpret_cast<Entry>(dlsym(module, kEntry)) : nullptr;
    if (!entry) {
        screen_.stop();
        std::cerr << name << ": cannot load " << path << ": " << dlerror() << '\n';
        return 1;
    }
    // The module stays: the libraries' own threads and state end with the process.
    return entry(shape_, screen_, pulse_, sounds_, clock_, g_quit, name);
}
