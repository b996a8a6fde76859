// Opening an input: the pending input options become demuxer options, the
// streams are analysed, and what they carry becomes the option state's
// picture and sound defaults for the output created next.

#include <cctype>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "AVProbe.h"
#include "LocalFile.h"
#include "FFmpeg.h"
#include "LibraryBinding.h"
#include "PictureTurn.h"

namespace {

// Options handed to the demuxer when the file is opened; those a demuxer does
// not know stay in the dictionary and are dropped with it.
struct TDictionary {
    AVDictionary* entries = nullptr;
    TDictionary() = default;
    TDictionary(const TDictionary&) = delete;
    TDictionary& operator=(const TDictionary&) = delete;
    ~TDictionary() {
        if (entries) ff::av_dict_free(&entries);
    }
    void Set(const char* key, const std::string& value) { ff::av_dict_set(&entries, key, value.c_str(), 0); }
};

// From the last "." of the last path component on, lowercased; empty when the
// name has no extension.
std::string LowerExtension(const std::string& fileName) {
    const size_t slash = fileName.find_last_of('/');
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = fileName.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// RealVideo decoders report their pixel format only once they decode; the
// files ".rm", ".rmv" and ".rmvb" are known to hold planar YUV 4:2:0.
bool IsRealMediaName(const std::string& fileName) {
    const std::string extension = LowerExtension(fileName);
    return !extension.empty() && std::string(".rmvb").starts_with(extension);
}

// The libraries keep a context's forced codec ids without applying them to
// its streams; streams found while probing need it as much as the others.
void ForceCodecIds(AVFormatContext* context) {
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        AVCodecParameters* parameters = context->streams[i]->codecpar;
        AVCodecID forced = AV_CODEC_ID_NONE;
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) forced = context->video_codec_id;
        if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) forced = context->audio_codec_id;
        if (parameters->codec_type == AVMEDIA_TYPE_SUBTITLE) forced = context->subtitle_codec_id;
        if (forced != AV_CODEC_ID_NONE) parameters->codec_id = forced;
    }
}

// Where the container does not count the frames, one in a hundred.
constexpr double kUnknownCountTolerance = 0.01;

float RatioOf(AVRational ratio) {
    return ratio.num != 0 && ratio.den != 0 ? static_cast<float>(ratio.num) / static_cast<float>(ratio.den) : 0.0f;
}

// The stream's rate is an average over its frames, which QuickTime files
// take over one frame fewer than they hold: 48 frames at 24 per second
// average 24.5. Rates within one frame's share of each other agree; a rate
// the stream does not know cannot disagree.
bool RatesDiffer(AVRational average, AVRational container, int64_t frames) {
    if (average.num <= 0 || average.den <= 0 || container.num <= 0 || container.den <= 0) return false;
    const double tolerance = frames > 1 ? 1.0 / static_cast<double>(frames - 1) : kUnknownCountTolerance;
    const double ratio = av_q2d(average) / av_q2d(container);
    return std::abs(ratio - 1.0) > tolerance * (1.0 + 1e-9);
}

}  // namespace

void TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
    // The pending input options belong to this input whatever becomes of it.
    struct PendingInputOptions {
        TCustomFFmpeg& engine;
        ~PendingInputOptions() { engine.ClearPendingInputOptions(); }
    } pending{*this};

    const int n = input_count;
    if (n >= kMaxFiles)
        throw FFMpegException(fileName + ": too many input files (at most " + std::to_string(kMaxFiles) + ")");

    TDictionary demuxerOptions;
    if (frame_rate.num != 0 && frame_rate.den != 0)
        demuxerOptions.Set("framerate", std::to_string(frame_rate.num) + "/" + std::to_string(frame_rate.den));
    if (audio_sample_rate > 0) demuxerOptions.Set("sample_rate", std::to_string(audio_sample_rate));
    if (audio_channels > 0) demuxerOptions.Set("channels", std::to_string(audio_channels));
    const int width = frame_width + frame_padleft + frame_padright;
    const int height = frame_height + frame_padtop + frame_padbottom;
    if (width > 0 && height > 0) demuxerOptions.Set("video_size", std::to_string(width) + "x" + std::to_string(height));
    if (frame_pix_fmt != AV_PIX_FMT_NONE) {
        if (const char* name = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame_pix_fmt)))
            demuxerOptions.Set("pixel_format", name);
    }
    if (video_channel != 0) demuxerOptions.Set("channel", std::to_string(video_channel));
    if (video_standard) demuxerOptions.Set("standard", video_standard.get());
    // Image sequences start again at their first picture.
    if (loop_input) demuxerOptions.Set("loop", "1");

    AVCodecID videoId = FindCodecId(video_codec_name.get(), AVMEDIA_TYPE_VIDEO, false);
    const AVCodecID audioId = FindCodecId(audio_codec_name.get(), AVMEDIA_TYPE_AUDIO, false);
    const AVCodecID subtitleId = FindCodecId(subtitle_codec_name.get(), AVMEDIA_TYPE_SUBTITLE, false);
    if (pgmyuv_mode) videoId = AV_CODEC_ID_PGMYUV;

    const bool localFile = !forced_input_format || !(forced_input_format->flags & AVFMT_NOFILE);
    if (localFile) {
        if (std::string refused = NotARegularFileText(fileName); !refused.empty()) throw FFMpegException(refused);
    }
    TFormatContextPtr allocated(ff::avformat_alloc_context());
    if (!allocated) throw MediaFileError(fileName, AVERROR(ENOMEM));
    ApplyOptionNames(allocated.get(), format_option_context.get(), AV_OPT_FLAG_DECODING_PARAM);
    allocated->video_codec_id = videoId;
    allocated->audio_codec_id = audioId;
    allocated->subtitle_codec_id = subtitleId;

    // A failed open frees the context itself.
    AVFormatContext* opening = allocated.release();
    const std::string url = localFile ? LocalFileUrl(fileName) : fileName;
    const int opened = ff::avformat_open_input(&opening, url.c_str(), forced_input_format, &demuxerOptions.entries);
    if (opened < 0) throw MediaFileError(fileName, opened);
    TInputContextPtr context(opening);
    // Descriptions and comparisons name the file as it was given.
    if (char* given = ff::av_strdup(fileName.c_str())) {
        ff::av_free(context->url);
        context->url = given;
    }
    ForceCodecIds(context.get());

    if (program_id != 0) {
        for (unsigned i = 0; i < context->nb_programs; ++i)
            if (context->programs[i]->id != program_id) context->programs[i]->discard = AVDISCARD_ALL;
    }

    int probed;
    {
        std::lock_guard<std::recursive_mutex> lock(CodecLock());
        probed = ff::avformat_find_stream_info(context.get(), nullptr);
    }
    ForceCodecIds(context.get());
    if (probed < 0 && verbose >= 0) throw FFMpegException(fileName + ": could not find codec parameters");

    int64_t seekTimestamp = start_time;
    if (context->start_time != AV_NOPTS_VALUE) seekTimestamp += context->start_time;
    if (start_time != 0) {
        // A file that cannot seek is read from its start.
        ff::av_seek_frame(context.get(), -1, seekTimestamp, AVSEEK_FLAG_BACKWARD);
        start_time = 0;
    }

    TakeOverStreamProperties(context.get(), fileName, n);

    if (total_duration_ms < context->duration / 1000) total_duration_ms = context->duration / 1000;
    input_ts_offsets[n] = copy_ts ? input_ts_offset : input_ts_offset - seekTimestamp;
    input_rate_emulation[n] = rate_emulation;
    if (verbose >= 0) ff::av_dump_format(context.get(), n, fileName.c_str(), 0);
    input_contexts[n] = std::move(context);
    input_count = n + 1;
}

void TCustomFFmpeg::ClearPendingInputOptions() {
    forced_input_format = nullptr;
    forced_output_format = nullptr;
    video_channel = 0;
    rate_emulation = 0;
    video_codec_name.reset();
    audio_codec_name.reset();
    subtitle_codec_name.reset();
}

AVCodecContext* TCustomFFmpeg::NewDecoderContext(const AVStream* stream) {
    AVCodecContext* decoder = ff::avcodec_alloc_context3(ff::avcodec_find_decoder(stream->codecpar->codec_id));
    if (!decoder || ff::avcodec_parameters_to_context(decoder, stream->codecpar) < 0) {
        if (decoder) ff::avcodec_free_context(&decoder);
        throw FFMpegException("Cannot allocate a decoder context");
    }
    decoder->pkt_timebase = stream->time_base;
    decoder->framerate = stream->avg_frame_rate;
    decoder->thread_count = thread_count;
    return decoder;
}

// Every stream gets a decoder context prepared with the decoding options; the
// last video and audio streams leave their properties in the option state.
void TCustomFFmpeg::TakeOverStreamProperties(AVFormatContext* context, const std::string& fileName,
                                             int input_index) {
    std::vector<TCodecContextPtr> decoders;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        AVStream* stream = context->streams[i];
        const AVMediaType kind = stream->codecpar->codec_type;
        if (kind < AVMEDIA_TYPE_UNKNOWN || kind >= AVMEDIA_TYPE_NB) throw FFMpegException("invalid codec_type");
        TCodecContextPtr decoder(NewDecoderContext(stream));
        if (kind == AVMEDIA_TYPE_VIDEO) {
            ApplyOptionNames(decoder.get(), codec_option_contexts[AVMEDIA_TYPE_VIDEO].get(),
                             AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
            frame_height = decoder->height;
            frame_width = decoder->width;
            const float ratio = RatioOf(stream->sample_aspect_ratio.num != 0 ? stream->sample_aspect_ratio
                                                                             : decoder->sample_aspect_ratio);
            if (frame_width * frame_height != 0) {
                frame_aspect_ratio = ratio != 0 ? frame_width * ratio / frame_height
                                                : static_cast<float>(frame_width) / frame_height;
            } else if (ratio == 0) {
                frame_aspect_ratio = 4.0f / 3.0f;
            }
            if (decoder->pix_fmt == AV_PIX_FMT_NONE && IsRealMediaName(fileName))
                decoder->pix_fmt = AV_PIX_FMT_YUV420P;
            frame_pix_fmt = decoder->pix_fmt;
            // A picture shown turned by a quarter is as wide as it is stored tall.
            if (PictureTurnOf(stream).Swaps()) {
                std::swap(frame_width, frame_height);
                if (frame_aspect_ratio != 0) frame_aspect_ratio = 1.0f / frame_aspect_ratio;
            }

            const AVRational containerRate = stream->r_frame_rate;
            const AVRational codecRate = stream->avg_frame_rate;
            if (verbose > 0 && RatesDiffer(codecRate, containerRate, stream->nb_frames)) {
                char text[256];
                std::snprintf(text, sizeof text,
                              "Seems stream %d codec frame rate differs from container frame rate: "
                              "%2.2f (%d/%d) -> %2.2f (%d/%d)",
                              static_cast<int>(i), RatioOf(codecRate),
                              codecRate.num, codecRate.den,
                              RatioOf(containerRate), containerRate.num,
                              containerRate.den);
                Log(text);
            }
            frame_rate = containerRate;
            if (video_disable)
                stream->discard = AVDISCARD_ALL;
            else if (video_discard != 0)
                stream->discard = static_cast<AVDiscard>(video_discard);
        } else if (kind == AVMEDIA_TYPE_AUDIO) {
            ApplyOptionNames(decoder.get(), codec_option_contexts[AVMEDIA_TYPE_AUDIO].get(),
                             AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
            audio_channels = decoder->ch_layout.nb_channels;
            audio_sample_rate = decoder->sample_rate;
            audio_sample_fmt = decoder->sample_fmt;
            if (audio_disable) stream->discard = AVDISCARD_ALL;
        } else if (kind == AVMEDIA_TYPE_SUBTITLE) {
            if (subtitle_disable) stream->discard = AVDISCARD_ALL;
        }
        decoders.push_back(std::move(decoder));
    }
    input_decoders[input_index] = std::move(decoders);
}
