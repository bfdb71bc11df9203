#pragma once

#include "FfmpegCommand.h"

#include <cstdint>
#include <string>
#include <vector>

class DeviceProbe;
class ScreenCapture;

// Turns the encoder command lines written for the Windows capture inputs (gdigrab, dshow) into
// ones FFmpeg can run here (x11grab, pulse, alsa, v4l2, lavfi for simulated devices). Anything
// not recognised is passed on unchanged, so FFmpeg reports it.
class CommandRewriter
{
public:
    struct Plan
    {
        enum class Action
        {
            Exec,        // run FFmpeg with `args`
            ListDevices, // answer a device listing
            ListOptions  // answer the option listing of `camera`
        };
        // A sound input the adapter records itself and hands FFmpeg on the pipe "/dev/fd/<fd>".
        struct Sound
        {
            std::string device; // a sound-server source; empty for the default source
            int fd = 3;
        };
        Action action = Action::Exec;
        std::vector<std::string> args;
        std::string camera;
        std::vector<Sound> sounds;
        // The descriptor the adapter's own screen stream goes on, after the sounds'; -1 for none.
        int screenFd = -1;
    };

    // The format of the fed sound: FFmpeg's own for its pulse input (a multiple of 100 Hz).
    static constexpr int kFeedRate = 48000;
    static constexpr int kFeedChannels = 2;

    // Packets a live audio input may queue; cheap, and covers seconds of sound-server backlog.
    static constexpr int kAudioQueue = 1024;
    // Frames a live video input may queue, in seconds of its capture rate (raw frames are large).
    static constexpr double kVideoQueueSeconds = 2.0;
    // 10 ms of FFmpeg's default pulse format (48 kHz, 2 channels, 16 bit).
    static constexpr const char* kPulseFragment = "1920";
    // Puts an audio stream on the picture's time line: silence before its first sample, nothing
    // from before the first frame, and drift corrected.
    static constexpr const char* kAudioAlign = "aresample=async=1:first_pts=0";
    // Scaler flags for the screen's RGB: FFmpeg's default filter plus full-width chroma input.
    static constexpr const char* kScalerFlags = "bicubic+full_chroma_inp";

    // Pixels a second above which one x264 thread leaves too little of the frame interval (with
    // sound and a watermark beside it): two sliced threads, which hold no frame back, take over.
    static constexpr double kSlicedPixelRate = 80e6;
    // x264's thread options for a picture of that many pixels a second: -threads and, for more
    // than one, -thread_type slice.
    static std::vector<std::string> encoderThreads(double pixelRate);
    // Whether the output takes the screen as nv12: x264 with no filter on the picture between.
    static bool takesNv12(const FfmpegCommand& command);

    explicit CommandRewriter(DeviceProbe& probe) : probe_(probe) {}
    // The screen may be fed as nv12 where the output takes it.
    void allowNv12(bool allowed) { nv12_ = allowed; }
    // Sound-server inputs become streams the adapter feeds (stamped with the wall clock like
    // FFmpeg's own live inputs) instead of FFmpeg's pulse input.
    void feedSound() { feedSound_ = true; }
    // Screen inputs become the stream `capture` grabs, where it can.
    void feedScreen(ScreenCapture& capture) { screen_ = &capture; }
    Plan rewrite(const std::vector<std::string>& args);

private:
    enum class Live
    {
        None,
        Screen,
        Camera,
        Audio,
        FedAudio // sound on a pipe from the adapter
    };

    Live rewriteInput(FfmpegCommand::Input& input, const std::string& rate, Plan& plan);
    Live rewriteScreen(FfmpegCommand::Input& input, bool area, const std::string& rate);
    Live rewriteCamera(FfmpegCommand::Input& input, const std::string& name, const std::string& rate);
    Live rewriteAudio(FfmpegCommand::Input& input, const std::string& name, Plan& plan);
    void alignOnPicture(FfmpegCommand& command, const std::vector<Live>& live);
    void tuneEncoding(FfmpegCommand& command, const std::vector<Live>& live) const;
    static void fixOutputFormat(std::vector<std::string>& outputs);

    DeviceProbe& probe_;
    bool feedSound_ = false;
    bool nv12_ = true;
    ScreenCapture* screen_ = nullptr;
};
