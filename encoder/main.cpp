// zrk_video_capture.exe on Linux: takes the encoder command lines the program writes for the
// Windows capture inputs and rewrites them for this system. When it has nothing to feed FFmpeg
// it becomes FFmpeg (exec, argv[0] kept); when it grabs the screen or records the sound itself it
// runs FFmpeg as its child under the same name. Either way "q" on standard input reaches FFmpeg itself.
#include "CommandRewriter.h"
#include "DeviceProbe.h"
#include "DshowListing.h"
#include "EncoderChild.h"
#include "FeedClock.h"
#include "InProcessEncoder.h"
#include "QuitWatch.h"
#include "ScreenCapture.h"
#include "SoundFeed.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const char* const kFfmpeg = "/usr/bin/ffmpeg";

std::string ffmpegPath()
{
    const char* path = std::getenv("REELCAST_FFMPEG");
    return path && *path ? path : kFfmpeg;
}

// One argument per line; backslashes and line breaks escaped so that every vector reads back.
void printArgument(const std::string& arg)
{
    std::string line;
    for (char c : arg) {
        if (c == '\\')
            line += "\\\\";
        else if (c == '\n')
            line += "\\n";
        else
            line += c;
    }
    std::cout << line << '\n';
}

int listDevices(DeviceProbe& probe)
{
    std::vector<DshowListing::Device> devices;
    // The simulated camera is listed among the others; it alone has no device node.
    for (const V4l2Devices::Camera& camera : probe.cameras())
        devices.push_back(
            {camera.name, camera.path.empty() ? "@lavfi:testsrc2" : "@v4l2:" + camera.path, false});
    if (probe.displayReachable())
        devices.push_back({"screen-capture-recorder", "@x11grab:" + probe.display(), false});
    if (probe.pulseReachable()) {
        devices.push_back({"default", "@pulse:default", true});
        if (const auto& sources = probe.pulseSources()) {
            for (const DeviceProbe::PulseSource& source : *sources) {
                if (!source.monitor)
                    devices.push_back({source.name, "@pulse:" + source.name, true});
            }
        }
    }
    if (probe.simulated())
        devices.push_back({"virtual-audio-capturer", "@lavfi:sine", true});
    else if (probe.defaultMonitorExists())
        devices.push_back({"virtual-audio-capturer", "@pulse:@DEFAULT_MONITOR@", true});
    std::cerr << DshowListing::devices(devices);
    return 1; // FFmpeg ends its listings with an error status too
}

int listOptions(DeviceProbe& probe, const std::string& camera)
{
    if (probe.isTestCamera(camera)) {
        std::vector<V4l2Devices::Mode> modes;
        for (const auto& wh : {std::make_pair(1280u, 720u), std::make_pair(640u, 480u)})
            modes.push_back({"yuv420p", false, wh.first, wh.second, 1, 30});
        std::cerr << DshowListing::options(camera, modes);
        return 1;
    }
    if (const V4l2Devices::Camera* found = probe.camera(camera)) {
        std::cerr << DshowListing::options(camera, V4l2Devices::modes(found->path));
        return 1;
    }
    std::cerr << DshowListing::cameraNotFound(camera);
    return 1;
}

// Loading the libraries takes about a tenth of a second; a longer wait before main is not ours.
constexpr int64_t kLongestLoadNs = 500'000'000;

// The exit status of a run that the end of the desktop's screen cast ended.
constexpr int kCastEndedStatus = 3;
// How long a snapshot waits for the desktop's first picture.
constexpr int kSnapshotWaitMs = 5000;

int snapshot(const char* name, const std::string& file)
{
    PipeWireSource::Remote remote;
    std::string why;
    PipeWireSource source;
    std::vector<uint8_t> rgb;
    int width = 0;
    int height = 0;
    if (!PipeWireSource::given()) {
        why = "no screen cast (REELCAST_PIPEWIRE_FD is not set)";
    } else if (!PipeWireSource::fromEnvironment(remote, why)) {
    } else if (!source.open(remote, 30) || !source.snapshot(kSnapshotWaitMs, rgb, width, height)) {
        why = source.failure();
    } else {
        FILE* out = std::fopen(file.c_str(), "wb");
        const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
        const bool written = out && std::fwrite(header.data(), 1, header.size(), out) == header.size() &&
                             std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
        const int error = errno;
        if (out && std::fclose(out) == 0 && written)
            return 0;
        why = "cannot write " + file + ": " + std::strerror(error);
    }
    std::cerr << name << ": snapshot: " << why << '\n';
    return 1;
}

// How often the fed streams are topped up; FFmpeg reads sound in blocks of about 21 ms.
constexpr long kPumpIntervalNs = 10'000'000;

int runWithFeeds(const std::string& program, const std::vector<std::string>& argv,
                 const std::vector<CommandRewriter::Plan::Sound>& sounds, DeviceProbe& probe,
                 const FeedClock& clock, ScreenCapture* screen)
{
    const SoundFeed::Format format{CommandRewriter::kFeedRate, CommandRewriter::kFeedChannels};
    std::vector<std::unique_ptr<SoundFeed>> feeds;
    std::vector<int> readEnds;
    for (size_t i = 0; i < sounds.size(); ++i) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            std::cerr << argv[0] << ": cannot create a pipe: " << std::strerror(errno) << '\n';
            return 127;
        }
        fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
        readEnds.push_back(fds[0]);
        // Beside the adapter's own picture, which counts from the origin, so does the sound.
        feeds.push_back(std::make_unique<SoundFeed>(fds[1], format, screen ? 0 : clock.originWallUs()));
    }
    // A reader that has gone shows as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    if (screen) {
        // Grabbing starts now; FFmpeg reads the queue once it has loaded.
        const int fd = screen->start();
        if (fd < 0) {
            std::cerr << argv[0] << ": cannot create a pipe: " << std::strerror(errno) << '\n';
            return 127;
        }
        readEnds.push_back(fd);
    }
    EncoderChild child;
    const bool started = child.start(program, argv, readEnds);
    const int error = errno;
    for (int fd : readEnds)
        close(fd);
    if (!started) {
        std::cerr << argv[0] << ": cannot run " << program << ": " << std::strerror(error) << '\n';
        return 127;
    }

    // FFmpeg loads meanwhile. A source the server refuses stays silent; the recording goes on.
    if (PulseServer* pulse = probe.pulse()) {
        for (size_t i = 0; i < sounds.size(); ++i) {
            SoundFeed* feed = feeds[i].get();
            pulse->record(sounds[i].device, format.rate, format.channels,
                          [feed, &clock](const void* data, size_t bytes, int64_t ageUs) {
                              feed->placeFromServer(data, bytes, ageUs, clock.elapsedNs());
                          });
        }
    }
    // FFmpeg looks for "q" only every 0.1 s and records on meanwhile, so every run would come out
    // up to 0.1 s longer than asked. Seeing the "q" waiting, the adapter tells FFmpeg at once to
    // finish as "q" would (one SIGTERM; its exit status for that is 255).
    QuitWatch quit(STDIN_FILENO);
    bool quitAsked = false;
    bool castEnded = false;
    while (!child.finished()) {
        for (auto& feed : feeds)
            feed->pump(clock.elapsedNs());
        if (screen && !quitAsked && quit.seen()) {
            quitAsked = true;
            kill(child.pid(), SIGTERM);
        }
        // The desktop ended the screen cast: the run ends as if the user stopped it.
        if (screen && !quitAsked && screen->castEnded()) {
            quitAsked = true;
            castEnded = true;
            kill(child.pid(), SIGTERM);
        }
        const timespec interval{0, kPumpIntervalNs};
        nanosleep(&interval, nullptr);
    }
    // The sound server's thread feeds the sound feeds until its streams end.
    if (PulseServer* pulse = probe.pulse())
        pulse->stopRecording();
    feeds.clear(); // FFmpeg has ended: its pipes close
    int code = child.wait();
    if (quitAsked && code == 255)
        code = 0;
    if (castEnded) {
        screen->stop();
        std::cerr << "pipewire stream ended\n";
        return kCastEndedStatus;
    }
    if (screen) {
        screen->stop();
        // FFmpeg closed its file at the end of the picture, but the recording did not end as asked.
        if (screen->failed()) {
            std::cerr << argv[0] << ": the screen grab failed: " << screen->failure() << '\n';
            return code == 0 ? 1 : code;
        }
    }
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    // A program that dies (killed, crashed) sends no "q", and FFmpeg records on past the end of its
    // input. SIGTERM makes it close the segment as "q" would, so the recording can be recovered.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--snapshot")
        return snapshot(argv[0], args[1]);
    const FeedClock clock = FeedClock::startingAtExec(kLongestLoadNs);
    DeviceProbe probe;
    CommandRewriter rewriter(probe);
    ScreenCapture screen(probe.display(), clock);
    rewriter.feedScreen(screen);
    const char* sound = std::getenv("REELCAST_SOUND");
    const bool feedSound = !sound || std::strcmp(sound, "ffmpeg") != 0;
    if (feedSound)
        rewriter.feedSound();
    // REELCAST_ENCODE=ffmpeg leaves all encoding to FFmpeg's program; =ffmpeg-yuv420p also feeds
    // it the planar frames it took before nv12.
    const char* encode = std::getenv("REELCAST_ENCODE");
    const std::string encoding = encode ? encode : "";
    rewriter.allowNv12(encoding != "ffmpeg-yuv420p");
    InProcessEncoder::Shape shape;
    bool inProcess =
        encoding.empty() && InProcessEncoder::recognise(args, shape) && InProcessEncoder::available(shape);
    if (inProcess) {
        // Only when every sound input is one the adapter records itself.
        CommandRewriter trial(probe);
        if (feedSound)
            trial.feedSound();
        inProcess = trial.rewrite(args).sounds.size() == shape.soundInputs.size();
        if (inProcess)
            screen.keepInProcess();
    }
    const CommandRewriter::Plan plan = rewriter.rewrite(args);
    // The screen falling back to FFmpeg's own grab leaves the whole run to FFmpeg.
    inProcess = inProcess && screen.taken() && plan.sounds.size() == shape.soundInputs.size();
    if (screen.unusable())
        return 1; // said why; the X screen of a Wayland desktop is black

    switch (plan.action) {
    case CommandRewriter::Plan::Action::ListDevices:
        return listDevices(probe);
    case CommandRewriter::Plan::Action::ListOptions:
        return listOptions(probe, plan.camera);
    case CommandRewriter::Plan::Action::Exec:
        break;
    }

    const std::string program = ffmpegPath();
    const char* dryRun = std::getenv("REELCAST_ADAPTER_DRYRUN");
    if (dryRun && std::strcmp(dryRun, "1") == 0) {
        printArgument(program);
        printArgument(argv[0]);
        for (const std::string& arg : plan.args)
            printArgument(arg);
        if (plan.screenFd >= 0) {
            const ScreenGrabber::Area& area = screen.area();
            printArgument("@screen:" + std::to_string(plan.screenFd) + "=" + std::to_string(area.x) + "," +
                          std::to_string(area.y) + "," + std::to_string(area.width) + "x" +
                          std::to_string(area.height) + (screen.pointer() ? ",pointer" : ""));
        }
        for (const CommandRewriter::Plan::Sound& fed : plan.sounds)
            printArgument("@sound:" + std::to_string(fed.fd) + "=" + fed.device);
        if (inProcess)
            std::cerr << argv[0] << ": encoded in this process\n";
        return 0;
    }
    if (inProcess) {
        std::vector<std::string> devices;
        for (const CommandRewriter::Plan::Sound& fed : plan.sounds)
            devices.push_back(fed.device);
        InProcessEncoder encoder(shape, screen, probe.pulse(), devices, clock);
        return encoder.run(argv[0]);
    }
    if (!plan.sounds.empty() || plan.screenFd >= 0) {
        std::vector<std::string> childArgs{argv[0]};
        childArgs.insert(childArgs.end(), plan.args.begin(), plan.args.end());
        return runWithFeeds(program, childArgs, plan.sounds, probe, clock,
                            plan.screenFd >= 0 ? &screen : nullptr);
    }

    std::vector<char*> execArgs{argv[0]};
    for (const std::string& arg : plan.args)
        execArgs.push_back(const_cast<char*>(arg.c_str()));
    execArgs.push_back(nullptr);
    execv(program.c_str(), execArgs.data());
    std::cerr << argv[0] << ": cannot run " << program << ": " << std::strerror(errno) << '\n';
    return 127;
}
