#pragma once

#include "FeedClock.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class PulseServer;
class ScreenCapture;

// A recording encoded in the adapter's own process with FFmpeg's libraries, for the command lines
// it fully understands: its own screen grab, the sound-server inputs it records, the watermark
// overlay and amix through FFmpeg's own filters, libx264 and AAC with the command's options, and
// the segment formats. The frames go from the grab into x264 without FFmpeg's pipe read and copy.
// Towards the program it behaves as FFmpeg does: the same progress lines, "q" on standard input
// (or SIGTERM) ends the run with a complete file, FFmpeg-like errors and exit status.
class InProcessEncoder
{
public:
    // What a command asks for, in the terms this encoder takes.
    struct Shape
    {
        std::vector<size_t> soundInputs; // in the command's order
        std::string markUrl;             // "file:..." of the watermark picture, or empty
        std::string videoGraph;          // the overlay graph text, or empty
        std::string audioGraph;          // the amix graph text, or empty
        std::string rate = "30";
        std::vector<std::pair<std::string, std::string>> videoOptions; // x264's, FFmpeg's names
        int sampleRate = 0;                                            // 0: as recorded
        std::string audioBitrate;
        std::string format;
        std::vector<std::pair<std::string, std::string>> muxerOptions;
        std::string file;
    };

    // When the run was told to end ("q" or a signal), on the monotonic clock; set once.
    struct Quit
    {
        static constexpr int64_t kNotYet = INT64_MAX;
        std::atomic<int64_t> atNs{kNotYet};
        std::atomic<bool> byKey{false};
        // Safe in a signal handler.
        void ask()
        {
            int64_t expected = kNotYet;
            atNs.compare_exchange_strong(expected, FeedClock::monotonicNs());
        }
    };

    // The modules beside the adapter that hold the encoding (with FFmpeg's filters, for a
    // watermark or two sounds, and without), and their entry point.
    static constexpr const char* kModule = "zrk_encode.so";
    static constexpr const char* kPlainModule = "zrk_encode_plain.so";
    static constexpr const char* kEntry = "zrkEncode";
    using Entry = int (*)(const Shape&, ScreenCapture&, PulseServer*, const std::vector<std::string>&,
                          const FeedClock&, const Quit&, const std::string&);

    // Whether the program's command `args` is one this encoder takes whole (its screen and
    // sound inputs taken by the adapter); fills `shape` if so.
    static bool recognise(const std::vector<std::string>& args, Shape& shape);
    // Whether the module for `shape` is there to be loaded.
    static bool available(const Shape& shape);

    // `sounds`: the sound-server sources in the order of the shape's sound inputs ("" = default).
    InProcessEncoder(Shape shape, ScreenCapture& screen, PulseServer* pulse, std::vector<std::string> sounds,
                     const FeedClock& clock);
    InProcessEncoder(const InProcessEncoder&) = delete;
    InProcessEncoder& operator=(const InProcessEncoder&) = delete;

    // Loads the module and records until told to stop; the exit status (FFmpeg's meanings; 3 for
    // an ended screen cast).
    int run(const std::string& name);

private:
    const Shape shape_;
    ScreenCapture& screen_;
    PulseServer* pulse_;
    const std::vector<std::string> sounds_;
    const FeedClock& clock_;
};
