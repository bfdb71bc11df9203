// zrk_video_capture.exe on Linux: takes the encoder command lines the program writes for the
// Windows capture inputs, rewrites them for this system and becomes FFmpeg (exec, argv[0] kept),
// so the process keeps its name and "q" on standard input reaches FFmpeg itself.
#include "CommandRewriter.h"
#include "DeviceProbe.h"
#include "DshowListing.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
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

} // namespace

int main(int argc, char** argv)
{
    // A program that dies (killed, crashed) sends no "q", and FFmpeg records on past the end of its
    // input. SIGTERM makes it close the segment as "q" would, so the recording can be recovered.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const std::vector<std::string> args(argv + 1, argv + argc);
    DeviceProbe probe;
    CommandRewriter rewriter(probe);
    const CommandRewriter::Plan plan = rewriter.rewrite(args);

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
        return 0;
    }

    std::vector<char*> execArgs{argv[0]};
    for (const std::string& arg : plan.args)
        execArgs.push_back(const_cast<char*>(arg.c_str()));
    execArgs.push_back(nullptr);
    execv(program.c_str(), execArgs.data());
    std::cerr << argv[0] << ": cannot run " << program << ": " << std::strerror(errno) << '\n';
    return 127;
}
