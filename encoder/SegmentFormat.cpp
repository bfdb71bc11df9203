#include "SegmentFormat.h"

#include "FfmpegCommand.h"

void SegmentFormat::makeCrashSafe(std::vector<std::string>& outputs)
{
    if (outputs.empty())
        return;
    // Options go in front of the file name, which stays last.
    std::vector<std::string> added;
    const std::string format = FfmpegCommand::value(outputs, "-f");
    if (format == "mp4" || format == "mov") {
        // "faststart" rewrites the whole file at the end, and a fragmented file has no index to
        // move; the fragments replace it.
        FfmpegCommand::remove(outputs, "-movflags");
        added = {"-movflags", kFragmentFlags};
        if (!FfmpegCommand::has(outputs, "-frag_duration"))
            added.insert(added.end(), {"-frag_duration", kFragmentUs});
    }
    // Left to itself FFmpeg writes in blocks of 256 KiB, many seconds of a quiet screen.
    if (!FfmpegCommand::has(outputs, "-flush_packets"))
        added.insert(added.end(), {"-flush_packets", "1"});
    outputs.insert(outputs.end() - 1, added.begin(), added.end());
}
