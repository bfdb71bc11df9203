#include "LiveMatroska.h"

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

void putId(Bytes& out, uint32_t id)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        if ((id >> shift) != 0 || shift == 0)
            out.push_back(uint8_t(id >> shift));
    }
}

// An element size as an EBML variable-length integer, as short as it can be.
void putSize(Bytes& out, uint64_t size)
{
    int length = 1;
    while (length < 8 && size >= (uint64_t(1) << (7 * length)) - 1)
        ++length;
    out.push_back(uint8_t((0x100 >> length) | (size >> (8 * (length - 1)))));
    for (int i = length - 2; i >= 0; --i)
        out.push_back(uint8_t(size >> (8 * i)));
}

// The size of a live element that ends only when the stream does.
void putUnknownSize(Bytes& out)
{
    out.push_back(0x01);
    out.insert(out.end(), 7, 0xFF);
}

void putElement(Bytes& out, uint32_t id, const Bytes& body)
{
    putId(out, id);
    putSize(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
}

void putUint(Bytes& out, uint32_t id, uint64_t value)
{
    Bytes body;
    for (int shift = 56; shift >= 0; shift -= 8) {
        if (!body.empty() || (value >> shift) != 0 || shift == 0)
            body.push_back(uint8_t(value >> shift));
    }
    putElement(out, id, body);
}

void putString(Bytes& out, uint32_t id, const std::string& value)
{
    putElement(out, id, Bytes(value.begin(), value.end()));
}

void putFloat(Bytes& out, uint32_t id, double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Bytes body;
    for (int shift = 56; shift >= 0; shift -= 8)
        body.push_back(uint8_t(bits >> shift));
    putElement(out, id, body);
}

} // namespace

std::vector<uint8_t> LiveMatroska::header(int rate, int channels)
{
    Bytes ebml;
    putUint(ebml, 0x4286, 1); // EBMLVersion
    putUint(ebml, 0x42F7, 1); // EBMLReadVersion
    putUint(ebml, 0x42F2, 4); // EBMLMaxIDLength
    putUint(ebml, 0x42F3, 8); // EBMLMaxSizeLength
    putString(ebml, 0x4282, "matroska");
    putUint(ebml, 0x4287, 4); // DocTypeVersion
    putUint(ebml, 0x4285, 2); // DocTypeReadVersion

    Bytes info;
    putUint(info, 0x2AD7B1, kTimestampScaleNs);
    putString(info, 0x4D80, "zrk_video_capture"); // MuxingApp
    putString(info, 0x5741, "zrk_video_capture"); // WritingApp

    Bytes audio;
    putFloat(audio, 0xB5, rate); // SamplingFrequency
    putUint(audio, 0x9F, uint64_t(channels));
    putUint(audio, 0x6264, 16); // BitDepth
    Bytes track;
    putUint(track, 0xD7, 1);   // TrackNumber
    putUint(track, 0x73C5, 1); // TrackUID
    putUint(track, 0x83, 2);   // TrackType: audio
    putString(track, 0x86, "A_PCM/INT/LIT");
    putElement(track, 0xE1, audio);
    Bytes tracks;
    putElement(tracks, 0xAE, track);

    Bytes out;
    putElement(out, 0x1A45DFA3, ebml);
    putId(out, 0x18538067); // Segment
    putUnknownSize(out);
    putElement(out, 0x1549A966, info);
    putElement(out, 0x1654AE6B, tracks);
    return out;
}

void LiveMatroska::appendBlock(std::vector<uint8_t>& out, int64_t timestampMs, const uint8_t* data,
                               size_t bytes)
{
    if (clusterMs_ < 0 || timestampMs < clusterMs_ || timestampMs - clusterMs_ >= kClusterSpanMs) {
        clusterMs_ = timestampMs;
        putId(out, 0x1F43B675); // Cluster
        putUnknownSize(out);
        putUint(out, 0xE7, uint64_t(timestampMs)); // its time
    }
    const int16_t relative = int16_t(timestampMs - clusterMs_);
    putId(out, 0xA3); // SimpleBlock
    putSize(out, 4 + bytes);
    out.push_back(0x81); // track 1
    out.push_back(uint8_t(uint16_t(relative) >> 8));
    out.push_back(uint8_t(relative));
    out.push_back(0x80); // key frame, no lacing
    out.insert(out.end(), data, data + bytes);
}
