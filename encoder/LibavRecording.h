#pragma once

#include "InProcessEncoder.h"

// The module of the adapter that holds FFmpeg's libraries: one recording in the terms of
// InProcessEncoder::Shape, fed from the adapter's own screen and sound streams. Its one entry
// point is looked up by name (InProcessEncoder::kEntry).
extern "C" int zrkEncode(const InProcessEncoder::Shape& shape, ScreenCapture& screen, PulseServer* pulse,
                         const std::vector<std::string>& sounds, const FeedClock& clock,
                         const InProcessEncoder::Quit& quit, const std::string& name);
