#pragma once

#include "FeedClock.h"

#include <cstdint>
#include <memory>
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

    // Whether the program's command `args` is one this encoder takes whole (its screen and
    // sound inputs taken by the adapter); fills `shape` if so.
    static bool recognise(const std::vector<std::string>& args, Shape& shape);

    // `sounds`: the sound-server sources in the order of the shape's sound inputs ("" = default).
    InProcessEncoder(Shape shape, ScreenCapture& screen, PulseServer* pulse, std::vector<std::string> sounds,
                     const FeedClock& clock);
    ~InProcessEncoder();
    InProcessEncoder(const InProcessEncoder&) = delete;
    InProcessEncoder& operator=(const InProcessEncoder&) = delete;

    // Records until told to stop; the exit status (FFmpeg's meanings; 3 for an ended screen cast).
    int run(const std::string& name);

private:
    struct State;
    std::unique_ptr<State> d_;
};
