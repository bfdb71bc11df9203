#include "CommandRewriter.h"

#include "DeviceProbe.h"
#include "ScreenCapture.h"
#include "SegmentFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using Options = std::vector<std::string>;

bool isTrue(const std::string& value)
{
    return value == "true" || value == "1";
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "18", "30000/1001" or "ntsc"-like names; the latter count as 30 for sizing queues.
double rateValue(const std::string& rate)
{
    char* end = nullptr;
    double value = std::strtod(rate.c_str(), &end);
    if (end && *end == '/') {
        const double den = std::strtod(end + 1, nullptr);
        value = den > 0 ? value / den : 0;
    }
    return value > 0 ? value : 30;
}

std::string videoQueue(const std::string& rate)
{
    const double frames = std::ceil(rateValue(rate) * CommandRewriter::kVideoQueueSeconds);
    return std::to_string(std::max(8, static_cast<int>(frames)));
}

// Options of an input minus the given ones, "-f" always among them.
Options without(Options options, std::initializer_list<const char*> names)
{
    FfmpegCommand::remove(options, "-f");
    for (const char* name : names)
        FfmpegCommand::remove(options, name);
    return options;
}

void append(Options& options, std::initializer_list<std::string> items)
{
    options.insert(options.end(), items.begin(), items.end());
}

void append(Options& options, const Options& items)
{
    options.insert(options.end(), items.begin(), items.end());
}

// Where the filter graphs ("-filter_complex" / "-lavfi" values) stand among the global options.
std::vector<size_t> filterGraphs(const Options& globals)
{
    std::vector<size_t> found;
    for (size_t i = 0; i + 1 < globals.size(); ++i) {
        if (globals[i] == "-filter_complex" || globals[i] == "-lavfi")
            found.push_back(++i);
    }
    return found;
}

} // namespace

CommandRewriter::Plan CommandRewriter::rewrite(const std::vector<std::string>& args)
{
    Plan plan;
    FfmpegCommand command = FfmpegCommand::parse(args);

    for (const FfmpegCommand::Input& input : command.inputs) {
        if (FfmpegCommand::value(input.options, "-f") != "dshow")
            continue;
        if (isTrue(FfmpegCommand::value(input.options, "-list_devices"))) {
            plan.action = Plan::Action::ListDevices;
            return plan;
        }
        if (isTrue(FfmpegCommand::value(input.options, "-list_options")) && startsWith(input.url, "video=")) {
            plan.action = Plan::Action::ListOptions;
            plan.camera = input.url.substr(6);
            return plan;
        }
    }

    // The output rate is the capture rate: grabbing faster only produces frames to drop.
    const std::string rate =
        FfmpegCommand::value(command.outputs, "-r", FfmpegCommand::value(command.outputs, "-framerate"));
    if (screen_)
        screen_->preferLayout(nv12_ && takesNv12(command) ? FrameConverter::Layout::Nv12
                                                          : FrameConverter::Layout::Yuv420p);
    std::vector<Live> live;
    for (FfmpegCommand::Input& input : command.inputs)
        live.push_back(rewriteInput(input, rate, plan));
    if (std::count(live.begin(), live.end(), Live::None) == static_cast<long>(live.size())) {
        // Not ours: only what FFmpeg cannot take at all is adjusted, byte for byte otherwise.
        plan.args = args;
        size_t tail = 0;
        for (size_t i = 0; i + 1 < args.size(); ++i) {
            if (args[i] == "-i")
                tail = i + 2;
        }
        if (tail > 0) {
            std::vector<std::string> outputs(args.begin() + tail, args.end());
            fixOutputFormat(outputs);
            std::copy(outputs.begin(), outputs.end(), plan.args.begin() + tail);
        }
        return plan;
    }
    if (screen_ && screen_->taken()) {
        plan.screenFd = 3 + int(plan.sounds.size());
        for (FfmpegCommand::Input& input : command.inputs) {
            if (input.url == ScreenCapture::kPipePlaceholder)
                input.url = "/dev/fd/" + std::to_string(plan.screenFd);
        }
        // The encoder takes the frames as they come; its stream is the same 4:2:0 either way.
        if (screen_->layout() == FrameConverter::Layout::Nv12) {
            for (size_t i = 0; i + 1 < command.outputs.size(); ++i) {
                if (command.outputs[i] == "-pix_fmt" && command.outputs[i + 1] == "yuv420p")
                    command.outputs[i + 1] = "nv12";
            }
        }
    }
    tuneEncoding(command, live);
    alignOnPicture(command, live);
    fixOutputFormat(command.outputs);
    SegmentFormat::makeCrashSafe(command.outputs);
    plan.args = command.arguments();
    return plan;
}

CommandRewriter::Live CommandRewriter::rewriteInput(FfmpegCommand::Input& input, const std::string& rate,
                                                    Plan& plan)
{
    const std::string format = FfmpegCommand::value(input.options, "-f");
    if (format == "gdigrab" && input.url == "desktop")
        return rewriteScreen(input, true, rate);
    if (format != "dshow")
        return Live::None;
    if (input.url == "video=screen-capture-recorder")
        return rewriteScreen(input, false, rate);
    if (startsWith(input.url, "video="))
        return rewriteCamera(input, input.url.substr(6), rate);
    if (startsWith(input.url, "audio="))
        return rewriteAudio(input, input.url.substr(6), plan);
    return Live::None;
}

CommandRewriter::Live CommandRewriter::rewriteScreen(FfmpegCommand::Input& input, bool area,
                                                     const std::string& rate)
{
    if (screen_ && screen_->take(input, area, rate))
        return Live::Screen;
    // gdigrab's offsets become x11grab's "+X,Y" after the display name; without them the
    // whole screen is grabbed.
    std::string url = probe_.display();
    if (area) {
        url += "+" + FfmpegCommand::value(input.options, "-offset_x", "0") + "," +
               FfmpegCommand::value(input.options, "-offset_y", "0");
    }
    Options options{"-f", "x11grab"};
    append(options, without(input.options, {"-offset_x", "-offset_y"}));
    if (!rate.empty() && !FfmpegCommand::has(options, "-framerate"))
        append(options, {"-framerate", rate});
    append(options, {"-thread_queue_size", videoQueue(rate)});
    input.options = options;
    input.url = url;
    return Live::Screen;
}

CommandRewriter::Live CommandRewriter::rewriteCamera(FfmpegCommand::Input& input, const std::string& name,
                                                     const std::string& rate)
{
    if (probe_.isTestCamera(name)) {
        const std::string size = FfmpegCommand::value(input.options, "-video_size", "1280x720");
        Options options{"-f", "lavfi"};
        append(options, without(input.options, {"-video_size", "-framerate"}));
        append(options, {"-thread_queue_size", videoQueue(rate), "-use_wallclock_as_timestamps", "1"});
        input.options = options;
        // realtime paces the picture like a camera delivers it.
        input.url = "testsrc2=size=" + size + ":rate=" + (rate.empty() ? "30" : rate) + ",realtime";
        return Live::Camera;
    }

    std::string device = name; // unknown names go on as they are: FFmpeg reports them missing
    if (!startsWith(name, "/dev/")) {
        if (const V4l2Devices::Camera* camera = probe_.camera(name))
            device = camera->path;
    }
    Options options{"-f", "v4l2"};
    append(options, without(input.options, {}));
    if (!rate.empty() && !FfmpegCommand::has(options, "-framerate"))
        append(options, {"-framerate", rate});
    // Buffer times are on the monotonic clock; "abs" puts them on the wall clock of the others.
    append(options, {"-thread_queue_size", videoQueue(rate), "-timestamps", "abs"});
    input.options = options;
    input.url = device;
    return Live::Camera;
}

CommandRewriter::Live CommandRewriter::rewriteAudio(FfmpegCommand::Input& input, const std::string& name,
                                                    Plan& plan)
{
    Options options;
    std::string url = name;
    if (name == "virtual-audio-capturer" && probe_.simulated()) {
        options = {"-f", "lavfi"};
        append(options, without(input.options, {}));
        append(options,
               {"-thread_queue_size", std::to_string(kAudioQueue), "-use_wallclock_as_timestamps", "1"});
        input.options = options;
        input.url = "sine=frequency=440:sample_rate=48000,arealtime";
        return Live::Audio;
    }

    std::string format = "alsa";
    if (name == "virtual-audio-capturer") {
        // Resolved by the server itself, so the sink that is the default when recording counts.
        format = "pulse";
        url = "@DEFAULT_MONITOR@";
    } else if (probe_.pulseReachable()) {
        // Qt names microphones by their sound-server source name or their ALSA device name
        // ("default", "sysdefault:CARD=...", plug-in names); the server's own list decides.
        const auto& sources = probe_.pulseSources();
        bool known = name == "default";
        if (sources) {
            for (const DeviceProbe::PulseSource& source : *sources)
                known = known || source.name == name;
        } else {
            known = known || name.find(':') == std::string::npos;
        }
        if (known)
            format = "pulse";
    }
    if (format == "pulse" && feedSound_ && probe_.pulseReachable()) {
        // FFmpeg's pulse input opens only once the server delivers, and the picture waits for
        // it; a pipe opens at once and carries silence until the sound comes. It is named by
        // path: FFmpeg stops reading "q" from standard input when an input is called "pipe:".
        const int fd = 3 + int(plan.sounds.size());
        plan.sounds.push_back({name == "default" ? std::string() : url, fd});
        // The stream describes itself fully: FFmpeg need not wait for more of it before starting.
        options = {"-f", "matroska", "-probesize", "32", "-analyzeduration", "0"};
        append(options, without(input.options, {}));
        append(options, {"-thread_queue_size", std::to_string(kAudioQueue)});
        input.options = options;
        input.url = "/dev/fd/" + std::to_string(fd);
        return Live::FedAudio;
    }
    options = {"-f", format};
    append(options, without(input.options, {}));
    append(options, {"-thread_queue_size", std::to_string(kAudioQueue)});
    // With the server's default transfer size the first sound comes only after ~0.1 s, and every
    // sound input is opened before the picture starts.
    if (format == "pulse" && !FfmpegCommand::has(options, "-fragment_size"))
        append(options, {"-fragment_size", kPulseFragment});
    input.options = options;
    input.url = url;
    return Live::Audio;
}

void CommandRewriter::alignOnPicture(FfmpegCommand& command, const std::vector<Live>& live)
{
    // FFmpeg opens its inputs one after the other and starts reading only when all are open. A
    // sound source can take a second or more to deliver; a screen opened before it would give one
    // frame and then nothing until then (a frozen start). So sound inputs are opened first and the
    // picture last, all sound is put on the picture's clock (every live input carries wall-clock
    // times), and sound from before the first frame is cut.
    const auto videoIt = std::find_if(live.begin(), live.end(),
                                      [](Live kind) { return kind == Live::Screen || kind == Live::Camera; });
    const auto isAudio = [](Live kind) { return kind == Live::Audio || kind == Live::FedAudio; };
    const long audioCount = std::count_if(live.begin(), live.end(), isAudio);
    if (videoIt == live.end() || audioCount == 0 || FfmpegCommand::has(command.outputs, "-map"))
        return;
    std::vector<size_t> amixGraphs;
    for (size_t i : filterGraphs(command.globals)) {
        const std::string& graph = command.globals[i];
        // Moving inputs keeps unlabelled pads bound to the same streams (binding goes by type and
        // order); explicit labels would not survive it.
        if (graph.find('[') != std::string::npos)
            return;
        if (startsWith(graph, "amix=") && graph.find(';') == std::string::npos)
            amixGraphs.push_back(i);
    }

    std::vector<FfmpegCommand::Input> ordered;
    std::vector<FfmpegCommand::Input> rest;
    size_t reference = 0;
    for (size_t i = 0; i < command.inputs.size(); ++i) {
        if (isAudio(live[i])) {
            ordered.push_back(command.inputs[i]);
        } else {
            if (i == static_cast<size_t>(videoIt - live.begin()))
                reference = rest.size();
            rest.push_back(command.inputs[i]);
        }
    }
    reference += ordered.size();
    for (size_t i = 0; i < ordered.size(); ++i) {
        append(ordered[i].options, {"-isync", std::to_string(reference)});
    }
    ordered.insert(ordered.end(), rest.begin(), rest.end());
    command.inputs = ordered;

    if (!amixGraphs.empty()) {
        for (size_t index : amixGraphs) {
            std::string& graph = command.globals[index];
            const size_t at = graph.find("inputs=");
            const int count = at == std::string::npos ? 2 : std::max(1, std::atoi(graph.c_str() + at + 7));
            std::string chains;
            std::string pads;
            for (int n = 0; n < count; ++n) {
                const std::string label = "[sync" + std::to_string(index) + "_" + std::to_string(n) + "]";
                chains += std::string(kAudioAlign) + label + ";";
                pads += label;
            }
            graph = chains + pads + graph;
        }
    } else if (audioCount == 1 && !FfmpegCommand::has(command.outputs, "-af") &&
               !FfmpegCommand::has(command.outputs, "-filter:a")) {
        command.outputs.insert(command.outputs.begin(), {"-af", kAudioAlign});
    }
}

std::vector<std::string> CommandRewriter::encoderThreads(double pixelRate)
{
    if (pixelRate > kSlicedPixelRate)
        return {"-threads", "2", "-thread_type", "slice"};
    return {"-threads", "1"};
}

bool CommandRewriter::takesNv12(const FfmpegCommand& command)
{
    const std::vector<std::string>& outputs = command.outputs;
    const std::string codec = FfmpegCommand::value(outputs, "-c:v", FfmpegCommand::value(outputs, "-vcodec"));
    const std::string format = FfmpegCommand::value(outputs, "-pix_fmt", "yuv420p");
    if (codec != "libx264" || (format != "yuv420p" && format != "nv12"))
        return false;
    for (const char* name : {"-vf", "-filter:v", "-filter", "-s", "-aspect"}) {
        if (FfmpegCommand::has(outputs, name))
            return false;
    }
    // Graphs of sound alone leave the picture as it comes; the watermark's overlay wants planes.
    for (size_t i : filterGraphs(command.globals)) {
        if (!startsWith(command.globals[i], "amix="))
            return false;
    }
    return true;
}

void CommandRewriter::tuneEncoding(FfmpegCommand& command, const std::vector<Live>& live) const
{
    std::vector<std::string>& outputs = command.outputs;
    // x264's frame threads hold frames back while FFmpeg reads its inputs in step with what has
    // been written, so at "q" the sound waiting in the queues is lost and the sound ends before
    // the picture. One thread holds nothing back and keeps the encoding as it is; ultrafast
    // keeps well up with the capture rate on one core up to a size, and sliced threads (which
    // hold nothing back either) beyond it.
    const std::string codec = FfmpegCommand::value(outputs, "-c:v", FfmpegCommand::value(outputs, "-vcodec"));
    if (codec == "libx264" && !FfmpegCommand::has(outputs, "-threads")) {
        double pixelRate = 0;
        if (screen_ && screen_->taken() && screen_->intervalNs() > 0)
            pixelRate =
                double(screen_->area().width) * screen_->area().height * 1e9 / double(screen_->intervalNs());
        const std::vector<std::string> threads = encoderThreads(pixelRate);
        outputs.insert(outputs.begin(), threads.begin(), threads.end());
    }

    // The screen comes as RGB. Left to its defaults the scaler averages chroma pairs in plain C,
    // half of all the encoder's work; with full-width chroma input it takes its vector routines
    // and filters chroma properly: the same luma, chroma as close to exact or closer, for about
    // a third of the cost. Auto-inserted scalers take their flags from -sws_flags in a simple
    // graph and from a leading "sws_flags=" in a complex one.
    if (std::find(live.begin(), live.end(), Live::Screen) == live.end())
        return;
    if (!FfmpegCommand::has(outputs, "-sws_flags"))
        outputs.insert(outputs.begin(), {"-sws_flags", kScalerFlags});
    for (size_t i : filterGraphs(command.globals)) {
        std::string& graph = command.globals[i];
        if (!startsWith(graph, "sws_flags=") && !startsWith(graph, "amix="))
            graph = std::string("sws_flags=") + kScalerFlags + ";" + graph;
    }
}

void CommandRewriter::fixOutputFormat(std::vector<std::string>& outputs)
{
    // Windows Media files are ASF; FFmpeg has no muxer called "wmv".
    for (size_t i = 0; i + 1 < outputs.size(); ++i) {
        if (outputs[i] == "-f" && outputs[i + 1] == "wmv")
            outputs[i + 1] = "asf";
    }
}
