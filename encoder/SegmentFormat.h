#pragma once

#include <string>
#include <vector>

// The output options of a recording segment, changed so that a segment whose encoder is killed
// stays readable up to its last second or so. A finished MP4 needs its index at the end, so MP4
// segments are written fragmented (the merge joins them into a normal MP4 by stream copy); FLV,
// AVI and ASF read back without their trailer once the packets reach the file as they come.
namespace SegmentFormat {

// Fragment length of fragmented MP4 segments, in microseconds: at most this much is lost.
constexpr const char* kFragmentUs = "1000000";
constexpr const char* kFragmentFlags = "+frag_keyframe+empty_moov+default_base_moof";

// `outputs` is the output part of a recording command (options, then the segment file).
void makeCrashSafe(std::vector<std::string>& outputs);

} // namespace SegmentFormat
