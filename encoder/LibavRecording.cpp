#include "LibavRecording.h"

#include "CommandRewriter.h"
#include "PulseServer.h"
#include "ScreenCapture.h"
#include "SoundFeed.h"

// ZRK_ENCODE_FILTERS: this build of the module has FFmpeg's filters (the watermark's overlay and
// the mix of two sounds). Without them it loads a fifth of the libraries, and its memory is the
// less by that.
extern "C" {
#include <libavcodec/avcodec.h>
#if ZRK_ENCODE_FILTERS
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#endif
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libswresample/swresample.h>
}
#if !ZRK_ENCODE_FILTERS
struct AVFilterGraph;
struct AVFilterContext;
#endif

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>

namespace {

using Options = std::vector<std::string>;
using Shape = InProcessEncoder::Shape;

constexpr int64_t kNotYet = InProcessEncoder::Quit::kNotYet;

// The picture of the watermark is read only from a file, as FFmpeg's input is allowed to.
constexpr size_t kMarkBytesCap = size_t(64) << 20;
// How often the sound is moved on while no frame comes.
constexpr int64_t kFrameWaitNs = 5'000'000;
// How long after the end the frames still due may take to come from the grab.
constexpr int64_t kStallNs = 200'000'000;
// Behind the clock by more than this, a frame that repeats the one encoded before it is left out
// and the next frame's time stamp spans its slot: a run on a machine too slow for its picture
// keeps its length and still ends soon after "q", instead of encoding every repeat it queued.
constexpr int64_t kBehindNs = 1'000'000'000;
// FFmpeg's progress line interval.
constexpr int64_t kStatsIntervalNs = 500'000'000;

std::string errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

struct Frames
{
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    ~Frames()
    {
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

} // namespace

// One recording: the encoders, the filter graphs and the file, fed from the adapter's own streams.
class LibavRecording
{
public:
    LibavRecording(const Shape& s, ScreenCapture& c, PulseServer* p, const std::vector<std::string>& n,
                   const FeedClock& k)
        : shape(s), screen(c), pulse(p), sounds(n), clock(k)
    {
    }
    ~LibavRecording();
    LibavRecording(const LibavRecording&) = delete;
    LibavRecording& operator=(const LibavRecording&) = delete;

    int run(const std::string& name, const InProcessEncoder::Quit& quit);

private:
    bool open(const std::string& name);
    bool openVideo();
    bool openAudio();
    // A context for the encoder `name`, flagged as the container needs; null (and `error`) if missing.
    AVCodecContext* encoderContext(const char* name);
    // Opens `encoder` with `options` (freed) and gives it its stream in the file; `label` is the
    // stream as FFmpeg's messages name it.
    bool startEncoder(AVCodecContext* encoder, AVDictionary*& options, const char* label, AVStream*& stream);
    bool openOutput();
    bool videoGraphOf();
    bool audioGraphOf();
    // One sound without a mix: converted to the encoder's format and cut to its frame size.
    bool openResampler();
    bool resample(const uint8_t* samples, int count, bool final);
    bool fail(const std::string& what, int code);

    // A frame of the screen into the picture's graph or straight into the encoder.
    bool sendVideo(AVFrame* frame);
    bool drainSink(AVFilterContext* sink, AVCodecContext* encoder, AVStream* stream, int64_t& bytes,
                   int64_t* frames);
    bool encode(AVCodecContext* encoder, AVStream* stream, AVFrame* frame, int64_t& bytes);
    bool sendSound(int64_t untilNs, bool final);
    void printStats(bool last);

    const Shape& shape;
    ScreenCapture& screen;
    PulseServer* pulse;
    const std::vector<std::string>& sounds;
    const FeedClock& clock;

    AVFormatContext* out = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVFilterGraph* videoGraph = nullptr;
    AVFilterContext* screenSource = nullptr;
    AVFilterContext* markSource = nullptr;
    AVFilterContext* videoSink = nullptr;
    AVFilterGraph* audioGraph = nullptr;
    std::vector<AVFilterContext*> soundSources;
    AVFilterContext* audioSink = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    int64_t samplesOut = 0;
    AVFrame* mark = nullptr;
    std::vector<std::unique_ptr<SoundFeed>> feeds;
    std::vector<int64_t> samplesIn;
    std::vector<uint8_t> raw;
    Frames work;
    Frames filtered;

    AVRational frameRate{};
    int64_t intervalNs = 0;
    int64_t framesIn = 0;      // slots taken from the feed
    int64_t framesOut = 0;     // frames encoded
    int64_t framesLeftOut = 0; // repeats not encoded while behind
    int64_t videoBytes = 0;
    int64_t audioBytes = 0;
    float quality = -1;
    int64_t startNs = 0;
    int64_t statsNs = 0;
    std::string error;
};

LibavRecording::~LibavRecording()
{
#if ZRK_ENCODE_FILTERS
    avfilter_graph_free(&videoGraph);
    avfilter_graph_free(&audioGraph);
#endif
    swr_free(&resampler);
    if (fifo)
        av_audio_fifo_free(fifo);
    av_frame_free(&mark);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (out) {
        if (!(out->oformat->flags & AVFMT_NOFILE))
            avio_closep(&out->pb);
        avformat_free_context(out);
    }
}

bool LibavRecording::fail(const std::string& what, int code)
{
    error = what + ": " + errorText(code);
    return false;
}

AVCodecContext* LibavRecording::encoderContext(const char* name)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        error = std::string("Unknown encoder '") + name + "'";
        return nullptr;
    }
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    if (encoder && (out->oformat->flags & AVFMT_GLOBALHEADER))
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return encoder;
}

bool LibavRecording::startEncoder(AVCodecContext* encoder, AVDictionary*& options, const char* label,
                                  AVStream*& stream)
{
    const int result = avcodec_open2(encoder, encoder->codec, &options);
    av_dict_free(&options);
    if (result < 0)
        return fail(std::string("Error while opening encoder for output stream ") + label, result);
    stream = avformat_new_stream(out, nullptr);
    avcodec_parameters_from_context(stream->codecpar, encoder);
    stream->time_base = encoder->time_base;
    return true;
}

bool LibavRecording::openVideo()
{
    video = encoderContext("libx264");
    if (!video)
        return false;
    const ScreenGrabber::Area& area = screen.area();
    video->width = area.width;
    video->height = area.height;
    video->time_base = av_inv_q(frameRate);
    video->framerate = frameRate;
    video->sample_aspect_ratio = {0, 1};
    video->pix_fmt =
        !videoGraph && screen.layout() == FrameConverter::Layout::Nv12 ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P;
    AVDictionary* options = nullptr;
    bool threads = false;
    for (const auto& option : shape.videoOptions) {
        av_dict_set(&options, option.first.c_str(), option.second.c_str(), 0);
        threads = threads || option.first == "threads";
    }
    if (!threads) {
        const double pixelRate = double(area.width) * area.height * av_q2d(frameRate);
        const Options chosen = CommandRewriter::encoderThreads(pixelRate);
        for (size_t i = 0; i + 1 < chosen.size(); i += 2)
            av_dict_set(&options, chosen[i].c_str() + 1, chosen[i + 1].c_str(), 0);
    }
    if (!startEncoder(video, options, "#0:0", videoStream))
        return false;
    videoStream->avg_frame_rate = frameRate;
    videoStream->r_frame_rate = frameRate;
    return true;
}

bool LibavRecording::openAudio()
{
    audio = encoderContext("aac");
    if (!audio)
        return false;
    audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audio->sample_rate = shape.sampleRate > 0 ? shape.sampleRate : CommandRewriter::kFeedRate;
    av_channel_layout_default(&audio->ch_layout, CommandRewriter::kFeedChannels);
    audio->time_base = {1, audio->sample_rate};
    AVDictionary* options = nullptr;
    if (!shape.audioBitrate.empty())
        av_dict_set(&options, "b", shape.audioBitrate.c_str(), 0);
    return startEncoder(audio, options, "#0:1", audioStream);
}

#if ZRK_ENCODE_FILTERS

// Binds the graph's open pads: inputs by type in the order of `sources`, the one output to `sink`.
static int bindGraph(AVFilterGraph* graph, const std::string& text,
                     const std::vector<AVFilterContext*>& sources, AVFilterContext* sink)
{
    AVFilterInOut* inputs = nullptr;
    AVFilterInOut* outputs = nullptr;
    int result = avfilter_graph_parse2(graph, text.c_str(), &inputs, &outputs);
    size_t next = 0;
    for (AVFilterInOut* pad = inputs; result >= 0 && pad; pad = pad->next) {
        if (next >= sources.size()) {
            result = AVERROR(EINVAL);
            break;
        }
        result = avfilter_link(sources[next++], 0, pad->filter_ctx, unsigned(pad->pad_idx));
    }
    if (result >= 0 && (next != sources.size() || !outputs || outputs->next))
        result = AVERROR(EINVAL);
    if (result >= 0)
        result = avfilter_link(outputs->filter_ctx, unsigned(outputs->pad_idx), sink, 0);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    return result;
}

bool LibavRecording::videoGraphOf()
{
    if (shape.videoGraph.empty())
        return true;
    // The watermark picture: a PNG of the program's own making, decoded once.
    const std::string path = shape.markUrl.substr(5);
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        error = shape.markUrl + ": No such file or directory";
        return false;
    }
    if (bytes.empty() || bytes.size() > kMarkBytesCap) {
        error = shape.markUrl + ": Invalid data found when processing input";
        return false;
    }
    const AVCodec* png = avcodec_find_decoder(AV_CODEC_ID_PNG);
    AVCodecContext* decoder = avcodec_alloc_context3(png);
    AVPacket* packet = av_packet_alloc();
    mark = av_frame_alloc();
    int result = avcodec_open2(decoder, png, nullptr);
    if (result >= 0)
        result = av_new_packet(packet, int(bytes.size()));
    if (result >= 0) {
        std::memcpy(packet->data, bytes.data(), bytes.size());
        result = avcodec_send_packet(decoder, packet);
    }
    if (result >= 0)
        result = avcodec_send_packet(decoder, nullptr);
    if (result >= 0)
        result = avcodec_receive_frame(decoder, mark);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    if (result < 0)
        return fail(shape.markUrl, result);
    mark->pts = 0;

    videoGraph = avfilter_graph_alloc();
    // The scalers FFmpeg's own graphs insert, with its default flags.
    videoGraph->scale_sws_opts = av_strdup("flags=bicubic");
    const ScreenGrabber::Area& area = screen.area();
    const std::string screenArgs =
        "video_size=" + std::to_string(area.width) + "x" + std::to_string(area.height) +
        ":pix_fmt=" + std::to_string(AV_PIX_FMT_YUV420P) + ":time_base=" + std::to_string(frameRate.den) +
        "/" + std::to_string(frameRate.num) + ":frame_rate=" + std::to_string(frameRate.num) + "/" +
        std::to_string(frameRate.den) + ":pixel_aspect=0/1";
    // An image input's time base.
    const std::string markArgs = "video_size=" + std::to_string(mark->width) + "x" +
                                 std::to_string(mark->height) + ":pix_fmt=" + std::to_string(mark->format) +
                                 ":time_base=1/25:pixel_aspect=0/1";
    const AVFilter* buffer = avfilter_get_by_name("buffer");
    result = avfilter_graph_create_filter(&screenSource, buffer, "screen", screenArgs.c_str(), nullptr,
                                          videoGraph);
    if (result >= 0)
        result =
            avfilter_graph_create_filter(&markSource, buffer, "mark", markArgs.c_str(), nullptr, videoGraph);
    if (result >= 0)
        result = avfilter_graph_create_filter(&videoSink, avfilter_get_by_name("buffersink"), "picture",
                                              nullptr, nullptr, videoGraph);
    const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
    if (result >= 0)
        result = av_opt_set_int_list(videoSink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
    if (result >= 0)
        result = bindGraph(videoGraph, shape.videoGraph, {screenSource, markSource}, videoSink);
    if (result >= 0)
        result = avfilter_graph_config(videoGraph, nullptr);
    // One picture; the overlay repeats it to the end.
    if (result >= 0)
        result = av_buffersrc_add_frame(markSource, mark);
    if (result >= 0)
        result = av_buffersrc_add_frame(markSource, nullptr);
    if (result < 0)
        return fail("Error initializing complex filters", result);
    return true;
}

bool LibavRecording::audioGraphOf()
{
    if (sounds.size() == 1 && shape.audioGraph.empty())
        return openResampler();
    audioGraph = avfilter_graph_alloc();
    const std::string args = "time_base=1/" + std::to_string(CommandRewriter::kFeedRate) +
                             ":sample_rate=" + std::to_string(CommandRewriter::kFeedRate) +
                             ":sample_fmt=s16:channel_layout=stereo";
    int result = 0;
    for (size_t i = 0; i < sounds.size() && result >= 0; ++i) {
        AVFilterContext* source = nullptr;
        result = avfilter_graph_create_filter(&source, avfilter_get_by_name("abuffer"),
                                              ("sound" + std::to_string(i)).c_str(), args.c_str(), nullptr,
                                              audioGraph);
        soundSources.push_back(source);
    }
    if (result >= 0)
        result = avfilter_graph_create_filter(&audioSink, avfilter_get_by_name("abuffersink"), "sound",
                                              nullptr, nullptr, audioGraph);
    // What the encoder takes; FFmpeg's resampler comes in between where it differs.
    const AVSampleFormat formats[] = {audio->sample_fmt, AV_SAMPLE_FMT_NONE};
    const int rates[] = {audio->sample_rate, -1};
    if (result >= 0)
        result = av_opt_set_int_list(audioSink, "sample_fmts", formats, AV_SAMPLE_FMT_NONE,
                                     AV_OPT_SEARCH_CHILDREN);
    if (result >= 0)
        result = av_opt_set_int_list(audioSink, "sample_rates", rates, -1, AV_OPT_SEARCH_CHILDREN);
    if (result >= 0)
        result = av_opt_set(audioSink, "ch_layouts", "stereo", AV_OPT_SEARCH_CHILDREN);
    if (result >= 0) {
        result = bindGraph(audioGraph, shape.audioGraph, soundSources, audioSink);
    }
    if (result >= 0)
        result = avfilter_graph_config(audioGraph, nullptr);
    if (result < 0)
        return fail("Error initializing complex filters", result);
    if (!(audio->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        av_buffersink_set_frame_size(audioSink, unsigned(audio->frame_size));
    samplesIn.assign(sounds.size(), 0);
    return true;
}

#else

bool LibavRecording::videoGraphOf()
{
    if (shape.videoGraph.empty())
        return true;
    error = "No filter '" + shape.videoGraph.substr(0, shape.videoGraph.find('=')) + "' in this build";
    return false;
}

bool LibavRecording::audioGraphOf()
{
    if (sounds.size() == 1 && shape.audioGraph.empty())
        return openResampler();
    error = "No filter to mix " + std::to_string(sounds.size()) + " sounds in this build";
    return false;
}

#endif

bool LibavRecording::openResampler()
{
    AVChannelLayout feed{};
    av_channel_layout_default(&feed, CommandRewriter::kFeedChannels);
    int result = swr_alloc_set_opts2(&resampler, &audio->ch_layout, audio->sample_fmt, audio->sample_rate,
                                     &feed, AV_SAMPLE_FMT_S16, CommandRewriter::kFeedRate, 0, nullptr);
    if (result >= 0)
        result = swr_init(resampler);
    if (result < 0)
        return fail("Error initializing the resampler", result);
    fifo =
        av_audio_fifo_alloc(audio->sample_fmt, audio->ch_layout.nb_channels, std::max(audio->frame_size, 1));
    if (!fifo)
        return fail("Error allocating the sound queue", AVERROR(ENOMEM));
    return true;
}

// `frame` made ready for `count` samples in the encoder's format.
static int soundFrame(AVFrame* frame, const AVCodecContext* encoder, int count)
{
    frame->format = encoder->sample_fmt;
    frame->sample_rate = encoder->sample_rate;
    av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
    frame->nb_samples = count;
    return av_frame_get_buffer(frame, 0);
}

bool LibavRecording::resample(const uint8_t* samples, int count, bool final)
{
    AVFrame* frame = filtered.frame;
    // No input is a flush to the resampler: only at the end.
    const int room = count > 0 || final ? swr_get_out_samples(resampler, count) : 0;
    if (room > 0) {
        int result = soundFrame(frame, audio, room);
        const uint8_t* in[] = {samples};
        if (result >= 0)
            result = swr_convert(resampler, frame->data, room, count > 0 ? in : nullptr, count);
        if (result >= 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(frame->data), result) < result)
            result = AVERROR(ENOMEM);
        av_frame_unref(frame);
        if (result < 0)
            return fail("Error while resampling", result);
    }
    // Whole frames as the encoder takes them; at the end the rest as a shorter one.
    const int size = audio->frame_size > 0 ? audio->frame_size : av_audio_fifo_size(fifo);
    while (av_audio_fifo_size(fifo) >= size || (final && av_audio_fifo_size(fifo) > 0)) {
        int result = soundFrame(frame, audio, std::min(size, av_audio_fifo_size(fifo)));
        if (result >= 0)
            result = av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), frame->nb_samples);
        frame->pts = samplesOut;
        samplesOut += frame->nb_samples;
        const bool done = result >= 0 && encode(audio, audioStream, frame, audioBytes);
        av_frame_unref(frame);
        if (result < 0)
            return fail("Error while resampling", result);
        if (!done)
            return false;
    }
    return true;
}

bool LibavRecording::openOutput()
{
    int result = avformat_alloc_output_context2(&out, nullptr, shape.format.c_str(), shape.file.c_str());
    if (result < 0)
        return fail("Requested output format '" + shape.format + "' is not a suitable output format", result);
    return true;
}

bool LibavRecording::open(const std::string& name)
{
    (void)name;
    if (av_parse_video_rate(&frameRate, shape.rate.c_str()) < 0) {
        error = "Invalid framerate value: " + shape.rate;
        return false;
    }
    intervalNs = screen.intervalNs();
    if (!openOutput() || !videoGraphOf() || !openVideo() ||
        (!sounds.empty() && (!openAudio() || !audioGraphOf())))
        return false;
    if (!(out->oformat->flags & AVFMT_NOFILE)) {
        const int result = avio_open(&out->pb, shape.file.c_str(), AVIO_FLAG_WRITE);
        if (result < 0)
            return fail(shape.file, result);
    }
    AVDictionary* options = nullptr;
    for (const auto& option : shape.muxerOptions)
        av_dict_set(&options, option.first.c_str(), option.second.c_str(), 0);
    const int result = avformat_write_header(out, &options);
    av_dict_free(&options);
    if (result < 0)
        return fail("Could not write header for output file #0 (incorrect codec parameters ?)", result);
    av_dump_format(out, 0, shape.file.c_str(), 1);
    return true;
}

bool LibavRecording::encode(AVCodecContext* encoder, AVStream* stream, AVFrame* frame, int64_t& bytes)
{
    int result = avcodec_send_frame(encoder, frame);
    if (result < 0 && result != AVERROR_EOF)
        return fail("Error submitting a frame for encoding", result);
    AVPacket* packet = work.packet;
    while ((result = avcodec_receive_packet(encoder, packet)) >= 0) {
        if (encoder == video) {
            size_t size = 0;
            if (const uint8_t* stats = av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
                stats && size >= 4)
                quality = float(AV_RL32(stats)) / FF_QP2LAMBDA;
        }
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        bytes += packet->size;
        result = av_interleaved_write_frame(out, packet);
        if (result < 0)
            return fail("av_interleaved_write_frame()", result);
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        return fail("Error encoding a frame", result);
    return true;
}

#if ZRK_ENCODE_FILTERS
// Encodes what the graph's `sink` has ready; `frames` counts them where given.
bool LibavRecording::drainSink(AVFilterContext* sink, AVCodecContext* encoder, AVStream* stream,
                               int64_t& bytes, int64_t* frames)
{
    AVFrame* frame = filtered.frame;
    int result = 0;
    while ((result = av_buffersink_get_frame(sink, frame)) >= 0) {
        frame->pts = av_rescale_q(frame->pts, av_buffersink_get_time_base(sink), encoder->time_base);
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        const bool done = encode(encoder, stream, frame, bytes);
        av_frame_unref(frame);
        if (frames)
            ++*frames;
        if (!done)
            return false;
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        return fail("Error while filtering", result);
    return true;
}

#endif

bool LibavRecording::sendVideo(AVFrame* frame)
{
    if (!videoGraph) {
        const bool done = encode(video, videoStream, frame, videoBytes);
        if (frame)
            ++framesOut;
        return done;
    }
#if ZRK_ENCODE_FILTERS
    const int result = av_buffersrc_add_frame(screenSource, frame);
    if (result < 0)
        return fail("Error while filtering", result);
    return drainSink(videoSink, video, videoStream, videoBytes, &framesOut);
#else
    return false;
#endif
}

bool LibavRecording::sendSound(int64_t untilNs, bool final)
{
    if (sounds.empty())
        return true;
    const int bytesPerFrame = 2 * CommandRewriter::kFeedChannels;
    for (size_t i = 0; i < feeds.size(); ++i) {
        if (final)
            feeds[i]->finish(untilNs);
        else
            feeds[i]->pump(untilNs);
        raw.clear();
        feeds[i]->takeRaw(raw);
        const int samples = int(raw.size() / bytesPerFrame);
        if (resampler) {
            if (!resample(raw.data(), samples, false) || (final && !resample(nullptr, 0, true)))
                return false;
            continue;
        }
#if ZRK_ENCODE_FILTERS
        if (samples > 0) {
            AVFrame* frame = work.frame;
            frame->format = AV_SAMPLE_FMT_S16;
            frame->sample_rate = CommandRewriter::kFeedRate;
            av_channel_layout_default(&frame->ch_layout, CommandRewriter::kFeedChannels);
            frame->nb_samples = samples;
            int result = av_frame_get_buffer(frame, 0);
            if (result >= 0) {
                std::memcpy(frame->data[0], raw.data(), size_t(samples) * bytesPerFrame);
                frame->pts = samplesIn[i];
                samplesIn[i] += samples;
                result = av_buffersrc_add_frame(soundSources[i], frame);
            }
            av_frame_unref(frame);
            if (result < 0)
                return fail("Error while filtering", result);
        }
        if (final) {
            const int result = av_buffersrc_add_frame(soundSources[i], nullptr);
            if (result < 0)
                return fail("Error while filtering", result);
        }
#endif
    }
#if ZRK_ENCODE_FILTERS
    if (audioGraph && !drainSink(audioSink, audio, audioStream, audioBytes, nullptr))
        return false;
#endif
    return !final || encode(audio, audioStream, nullptr, audioBytes);
}

void LibavRecording::printStats(bool last)
{
    const int64_t now = FeedClock::monotonicNs();
    if (!last && now - statsNs < kStatsIntervalNs)
        return;
    statsNs = now;
    const double elapsed = double(now - startNs) / 1e9;
    const double fps = elapsed > 0 ? framesOut / elapsed : 0;
    int64_t size = out && out->pb ? avio_size(out->pb) : 0;
    if (size <= 0 && out && out->pb)
        size = avio_tell(out->pb);
    const int64_t centis = (framesOut + framesLeftOut) * intervalNs / 10'000'000;
    const double seconds = double(centis) / 100;
    char bitrate[32];
    if (seconds > 0)
        std::snprintf(bitrate, sizeof bitrate, "%6.1fkbits/s", double(size) * 8 / seconds / 1000);
    else
        std::snprintf(bitrate, sizeof bitrate, "N/A");
    char speed[32];
    if (elapsed > 0)
        std::snprintf(speed, sizeof speed, "%4.3gx", seconds / elapsed);
    else
        std::snprintf(speed, sizeof speed, "N/A");
    char dropped[48] = "";
    if (framesLeftOut > 0)
        std::snprintf(dropped, sizeof dropped, " dup=0 drop=%" PRId64, framesLeftOut);
    std::fprintf(stderr,
                 "frame=%5" PRId64 " fps=%3.*f q=%3.1f %ssize=%8.0fkB time=%02" PRId64
                 ":%02d:%02d.%02d bitrate=%s%s "
                 "speed=%s    %c",
                 framesOut, fps < 9.95 ? 1 : 0, fps, double(quality), last ? "L" : "", double(size) / 1024,
                 centis / 360000, int(centis / 6000 % 60), int(centis / 100 % 60), int(centis % 100), bitrate,
                 dropped, speed, last ? '\n' : '\r');
    if (last) {
        const double total = double(videoBytes + audioBytes);
        std::fprintf(stderr,
                     "video:%.0fkB audio:%.0fkB subtitle:0kB other streams:0kB global headers:0kB muxing "
                     "overhead: %f%%\n",
                     double(videoBytes) / 1024, double(audioBytes) / 1024,
                     total > 0 ? (double(size) - total) * 100 / total : 0.0);
    }
    std::fflush(stderr);
}

int LibavRecording::run(const std::string& name, const InProcessEncoder::Quit& quit)
{
    const bool opened = open(name);
    if (!opened) {
        screen.stop();
        std::cerr << error << '\n';
        return 1;
    }
    std::cerr << "Press [q] to stop, [?] for help\n";
    const SoundFeed::Format format{CommandRewriter::kFeedRate, CommandRewriter::kFeedChannels};
    for (size_t i = 0; i < sounds.size(); ++i)
        feeds.push_back(std::make_unique<SoundFeed>(-1, format, 0));
    if (pulse) {
        for (size_t i = 0; i < sounds.size(); ++i) {
            SoundFeed* feed = feeds[i].get();
            const FeedClock& feedClock = clock;
            pulse->record(sounds[i], format.rate, format.channels,
                          [feed, &feedClock](const void* data, size_t bytes, int64_t ageUs) {
                              feed->placeFromServer(data, bytes, ageUs, feedClock.elapsedNs());
                          });
        }
    }

    startNs = FeedClock::monotonicNs();
    ScreenFeed* feed = screen.feed();
    const size_t frameBytes = FrameConverter::frameBytes(screen.area().width, screen.area().height);
    const bool nv12 = video->pix_fmt == AV_PIX_FMT_NV12;
    bool ok = true;
    bool grabFailed = false;
    bool castEnded = false;
    int64_t endNs = kNotYet; // on the feed's clock
    AVFrame* frame = work.frame;
    // The slots nearest to the end are the run's picture, so that the run is as long as the time
    // from its start to its end within half a frame (a "q" comes a little after the instant it
    // was meant for; counting every slot begun would add a frame to most runs), and never
    // without a picture.
    const auto endSlot = [&] {
        const int64_t quitNs = quit.atNs.load();
        if (endNs == kNotYet && quitNs != kNotYet) {
            endNs = quitNs - clock.originNs();
            if (quit.byKey)
                std::cerr << "\n[q] command received. Exiting.\n\n";
        }
        if (endNs == kNotYet && screen.castEnded()) {
            castEnded = true;
            endNs = clock.elapsedNs();
        }
        return endNs == kNotYet ? std::numeric_limits<int64_t>::max()
                                : std::max<int64_t>(1, (endNs + intervalNs / 2) / intervalNs);
    };
    // The newest frame waits until the next one comes or the end is known, so that a "q" that
    // comes just after a slot began leaves that slot out. The sound follows the encoded picture
    // and ends with it: a run's streams are equally long, and the next run's join keeps them in step.
    ScreenFeed::Buffer held;
    int64_t lastPicture = 0; // the feed's count of the grab encoded last
    // The slots before the first picture all come with it; waiting for it is not falling behind.
    int64_t firstPictureNs = -1;
    const auto encodeHeld = [&](bool mayLeaveOut) {
        const int64_t dueNs = std::max(firstPictureNs, framesIn * intervalNs);
        if (mayLeaveOut && held->picture == lastPicture && clock.elapsedNs() - dueNs > kBehindNs) {
            held.reset();
            ++framesIn;
            ++framesLeftOut;
            return true;
        }
        lastPicture = held->picture;
        // The frame's memory goes back to the feed once the encoder has let it go.
        uint8_t* data = held->data;
        frame->buf[0] = av_buffer_create(
            data, int(frameBytes),
            [](void* opaque, uint8_t*) { delete static_cast<ScreenFeed::Buffer*>(opaque); },
            new ScreenFeed::Buffer(std::move(held)), AV_BUFFER_FLAG_READONLY);
        const int width = screen.area().width;
        const int height = screen.area().height;
        frame->format = nv12 ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P;
        frame->width = width;
        frame->height = height;
        frame->data[0] = data;
        frame->linesize[0] = width;
        frame->data[1] = data + size_t(width) * height;
        if (nv12) {
            frame->linesize[1] = width;
        } else {
            frame->linesize[1] = width / 2;
            frame->data[2] = frame->data[1] + size_t(width / 2) * (height / 2);
            frame->linesize[2] = width / 2;
        }
        frame->pts = framesIn++;
        const bool sent = sendVideo(frame);
        av_frame_unref(frame);
        return sent;
    };
    while (ok && framesIn + (held ? 1 : 0) < endSlot()) {
        ScreenFeed::Buffer picture;
        if (feed->next(picture, kFrameWaitNs)) {
            if (firstPictureNs < 0)
                firstPictureNs = clock.elapsedNs();
            if (!picture) {
                grabFailed = true;
                endNs = std::min(endNs, (framesIn + (held ? 1 : 0)) * intervalNs);
                break;
            }
            if (held)
                ok = encodeHeld(true);
            held = std::move(picture);
        } else if (endNs != kNotYet && clock.elapsedNs() > endNs + 2 * intervalNs + kStallNs) {
            break; // the grabs stalled: what came is the picture
        }
        if (ok)
            ok = sendSound(std::min({clock.elapsedNs(), endNs, framesIn * intervalNs}), false);
        printStats(false);
    }
    // The last slot is always encoded: it ends the run on time.
    if (ok && held && framesIn < endSlot())
        ok = encodeHeld(false);
    held.reset();
    if (endNs == kNotYet)
        endNs = clock.elapsedNs();
    screen.stop();
    grabFailed = grabFailed || screen.failed();
    if (ok)
        ok = sendVideo(nullptr);
    if (ok && videoGraph)
        ok = encode(video, videoStream, nullptr, videoBytes);
    if (ok)
        ok = sendSound(std::max<int64_t>(std::min(endNs, framesIn * intervalNs), 0), true);
    // The sound server's thread writes into the feeds until its streams end; they go with this run.
    if (pulse)
        pulse->stopRecording();
    const int trailer = av_write_trailer(out);
    printStats(true);
    // The encoders' own summaries come before the adapter's last words, as under FFmpeg.
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (!ok) {
        std::cerr << error << '\n';
        return 1;
    }
    if (trailer < 0) {
        std::cerr << "Error writing trailer of " << shape.file << ": " << errorText(trailer) << '\n';
        return 1;
    }
    if (castEnded) {
        std::cerr << "pipewire stream ended\n";
        return 3;
    }
    if (grabFailed) {
        std::cerr << name << ": the screen grab failed: " << screen.failure() << '\n';
        return 1;
    }
    return 0;
}

extern "C" int zrkEncode(const InProcessEncoder::Shape& shape, ScreenCapture& screen, PulseServer* pulse,
                         const std::vector<std::string>& sounds, const FeedClock& clock,
                         const InProcessEncoder::Quit& quit, const std::string& name)
{
    LibavRecording recording(shape, screen, pulse, sounds, clock);
    return recording.run(name, quit);
}
