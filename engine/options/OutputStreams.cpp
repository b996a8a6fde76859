// The streams of an output, each with its own encoder context filled from the
// option state. Everything that can fail is settled before the stream is
// added, so a refused stream leaves the output as it was.

#include <algorithm>
#include <cstring>
#include <vector>

#include "FFmpeg.h"
#include "OutputRules.h"

namespace {

TCodecContextPtr NewEncoderContext(const AVCodec* codec, AVMediaType kind) {
    TCodecContextPtr encoder(ff::avcodec_alloc_context3(codec));
    if (!encoder) throw FFMpegException("Could not alloc stream");
    encoder->codec_type = kind;
    return encoder;
}

// The sample aspect ratio that shows the picture at the display aspect ratio;
// without a picture size, that of a 4:3 picture.
AVRational SampleAspectRatio(float display_aspect, int width, int height) {
    const double ratio = width != 0 && height != 0 ? double{display_aspect} * height / width : display_aspect * 3.0 / 4.0;
    return ff::av_d2q(ratio, 255);
}

// A copy in library memory that the encoder context releases itself.
uint16_t* CopyMatrix(const int16_t* matrix) {
    auto* copy = static_cast<uint16_t*>(ff::av_malloc(64 * sizeof(uint16_t)));
    if (!copy) throw FFMpegException("Could not alloc stream");
    std::memcpy(copy, matrix, 64 * sizeof(uint16_t));
    return copy;
}

template <typename T>
bool Lists(const T* list, T terminator, T value) {
    for (; *list != terminator; ++list)
        if (*list == value) return true;
    return false;
}

}  // namespace

AVStream* TCustomFFmpeg::AttachStream(AVFormatContext* output, int output_index, TCodecContextPtr encoder,
                                      bool stream_copy, TBitstreamFilterChain& pending_filters) {
    AVStream* stream = output->nb_streams < kMaxStreams ? ff::avformat_new_stream(output, nullptr) : nullptr;
    if (!stream) throw FFMpegException("Could not alloc stream");
    if (encoder->time_base.num > 0 && encoder->time_base.den > 0) stream->time_base = encoder->time_base;
    stream->sample_aspect_ratio = encoder->sample_aspect_ratio;
    // What the stream will carry, so that it can be described before the
    // encoder opens; the transcoding core fills it in again from there.
    ff::avcodec_parameters_from_context(stream->codecpar, encoder.get());
    stream_bitstream_filters[output_index][stream->index] = std::move(pending_filters);
    pending_filters.clear();
    output_streams[output_index].push_back({std::move(encoder), stream_copy});
    return stream;
}

void TCustomFFmpeg::NewVideoStream(AVFormatContext* output, int output_index) {
    try {
        TCodecContextPtr encoder;
        if (video_stream_copy) {
            encoder = NewEncoderContext(nullptr, AVMEDIA_TYPE_VIDEO);
        } else {
            AVCodecID id = AV_CODEC_ID_NONE;
            if (!video_codec_name)
                id = ff::av_guess_codec(output->oformat, nullptr, output->url, nullptr, AVMEDIA_TYPE_VIDEO);
            else
                id = FindCodecId(video_codec_name.get(), AVMEDIA_TYPE_VIDEO, true);
            encoder = NewEncoderContext(ff::avcodec_find_encoder(id), AVMEDIA_TYPE_VIDEO);
            encoder->codec_id = id;
        }
        encoder->thread_count = thread_count;
        if (video_codec_tag != 0) encoder->codec_tag = static_cast<unsigned>(video_codec_tag);

        AVCodecContext* videoOptions = codec_option_contexts[AVMEDIA_TYPE_VIDEO].get();
        if ((video_global_header & 1) ||
            (video_global_header == 0 && (output->oformat->flags & AVFMT_GLOBALHEADER))) {
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            if (videoOptions) videoOptions->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (video_global_header & 2) {
            encoder->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
            if (videoOptions) videoOptions->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
        }

        if (video_stream_copy)
            encoder->sample_aspect_ratio = SampleAspectRatio(frame_aspect_ratio, frame_width, frame_height);
        else
            SetVideoEncoding(encoder.get());
        AttachStream(output, output_index, std::move(encoder), video_stream_copy != 0, video_bitstream_filters);
    } catch (const FFMpegException&) {
        video_codec_name.reset();
        throw;
    }
    video_disable = 0;
    video_codec_name.reset();
    video_stream_copy = 0;
}

void TCustomFFmpeg::SetVideoEncoding(AVCodecContext* encoder) {
    ApplyOptionNames(encoder, codec_option_contexts[AVMEDIA_TYPE_VIDEO].get(),
                     AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
    ApplyPrivateOptions(encoder, TPrivateOptionOwner::Encoder, AV_OPT_FLAG_VIDEO_PARAM);
    const AVCodec* codec = encoder->codec;

    AVRational rate = frame_rate.num != 0 ? frame_rate : AVRational{25, 1};
    if (codec) {
        if (const std::optional<AVRational> supported = NearestSupportedRate(rate, codec->supported_framerates))
            rate = *supported;
    }
    encoder->time_base = AVRational{rate.den, rate.num};
    encoder->framerate = rate;

    encoder->width = frame_width + frame_padleft + frame_padright;
    encoder->height = frame_height + frame_padtop + frame_padbottom;
    // A picture kept at its shape is drawn with square pixels.
    encoder->sample_aspect_ratio = keep_shape ? AVRational{1, 1}
                                              : SampleAspectRatio(frame_aspect_ratio, encoder->width, encoder->height);

    encoder->pix_fmt = static_cast<AVPixelFormat>(frame_pix_fmt);
    if (codec && codec->pix_fmts && !Lists(codec->pix_fmts, AV_PIX_FMT_NONE, encoder->pix_fmt))
        encoder->pix_fmt = codec->pix_fmts[0];

    if (intra_only) encoder->gop_size = 0;
    if (video_qscale != 0 || same_quality) {
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = static_cast<int>(FF_QP2LAMBDA * video_qscale);
    }
    if (intra_matrix) encoder->intra_matrix = CopyMatrix(intra_matrix.get());
    if (inter_matrix) encoder->inter_matrix = CopyMatrix(inter_matrix.get());

    if (rc_override) {
        std::vector<RcOverride> overrides;
        if (!ParseRcOverride(rc_override.get(), overrides)) throw FFMpegException("error parsing rc_override");
        if (!overrides.empty()) {
            encoder->rc_override = static_cast<RcOverride*>(ff::av_malloc(overrides.size() * sizeof(RcOverride)));
            if (!encoder->rc_override) throw FFMpegException("Could not alloc stream");
            std::copy(overrides.begin(), overrides.end(), encoder->rc_override);
        }
        encoder->rc_override_count = static_cast<int>(overrides.size());
    }

    if (encoder->rc_initial_buffer_occupancy == 0)
        encoder->rc_initial_buffer_occupancy = encoder->rc_buffer_size * 3 / 4;
    encoder->intra_dc_precision = intra_dc_precision - 8;
    if (psnr) encoder->flags |= AV_CODEC_FLAG_PSNR;
    if (pass == 1) encoder->flags |= AV_CODEC_FLAG_PASS1;
    if (pass == 2) encoder->flags |= AV_CODEC_FLAG_PASS2;
}

void TCustomFFmpeg::NewAudioStream(AVFormatContext* output, int output_index) {
    try {
        TCodecContextPtr encoder;
        if (audio_stream_copy) {
            encoder = NewEncoderContext(nullptr, AVMEDIA_TYPE_AUDIO);
        } else {
            AVCodecID id = ff::av_guess_codec(output->oformat, nullptr, output->url, nullptr, AVMEDIA_TYPE_AUDIO);
            if (audio_codec_name) id = FindCodecId(audio_codec_name.get(), AVMEDIA_TYPE_AUDIO, true);
            encoder = NewEncoderContext(ff::avcodec_find_encoder(id), AVMEDIA_TYPE_AUDIO);
            encoder->codec_id = id;
        }
        if (audio_codec_tag != 0) encoder->codec_tag = static_cast<unsigned>(audio_codec_tag);
        if (output->oformat->flags & AVFMT_GLOBALHEADER) {
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            if (AVCodecContext* audioOptions = codec_option_contexts[AVMEDIA_TYPE_AUDIO].get())
                audioOptions->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (!audio_stream_copy) SetAudioEncoding(encoder.get());
        ff::av_channel_layout_uninit(&encoder->ch_layout);
        ff::av_channel_layout_default(&encoder->ch_layout, audio_channels);
        encoder->sample_rate = audio_sample_rate;
        if (audio_sample_rate > 0) encoder->time_base = AVRational{1, audio_sample_rate};

        AVStream* stream =
            AttachStream(output, output_index, std::move(encoder), audio_stream_copy != 0, audio_bitstream_filters);
        if (!audio_language.empty())
            ff::av_dict_set(&stream->metadata, "language", audio_language.substr(0, 3).c_str(), 0);
    } catch (const FFMpegException&) {
        audio_codec_name.reset();
        throw;
    }
    audio_language.clear();
    audio_disable = 0;
    audio_codec_name.reset();
    audio_stream_copy = 0;
}

void TCustomFFmpeg::SetAudioEncoding(AVCodecContext* encoder) {
    ApplyOptionNames(encoder, codec_option_contexts[AVMEDIA_TYPE_AUDIO].get(),
                     AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
    ApplyPrivateOptions(encoder, TPrivateOptionOwner::Encoder, AV_OPT_FLAG_AUDIO_PARAM);
    if (audio_qscale > -99999) {
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = static_cast<int>(FF_QP2LAMBDA * audio_qscale);
    }
    encoder->thread_count = thread_count;
    encoder->sample_fmt = static_cast<AVSampleFormat>(audio_sample_fmt);
    const AVCodec* codec = encoder->codec;
    if (codec && codec->sample_fmts && !Lists(codec->sample_fmts, AV_SAMPLE_FMT_NONE, encoder->sample_fmt))
        encoder->sample_fmt = codec->sample_fmts[0];
}

void TCustomFFmpeg::NewSubtitleStream(AVFormatContext* output, int output_index) {
    try {
        TCodecContextPtr encoder;
        if (subtitle_stream_copy) {
            encoder = NewEncoderContext(nullptr, AVMEDIA_TYPE_SUBTITLE);
        } else {
            // Without a name the container's own subtitle codec is used, as
            // for video and audio; a stream without a codec could not be
            // written at all.
            AVCodecID id = AV_CODEC_ID_NONE;
            if (!subtitle_codec_name)
                id = ff::av_guess_codec(output->oformat, nullptr, output->url, nullptr, AVMEDIA_TYPE_SUBTITLE);
            else
                id = FindCodecId(subtitle_codec_name.get(), AVMEDIA_TYPE_SUBTITLE, true);
            encoder = NewEncoderContext(ff::avcodec_find_encoder(id), AVMEDIA_TYPE_SUBTITLE);
            encoder->codec_id = id;
            ApplyOptionNames(encoder.get(), codec_option_contexts[AVMEDIA_TYPE_SUBTITLE].get(),
                             AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_SUBTITLE_PARAM);
            ApplyPrivateOptions(encoder.get(), TPrivateOptionOwner::Encoder, AV_OPT_FLAG_SUBTITLE_PARAM);
        }
        AVStream* stream = AttachStream(output, output_index, std::move(encoder), subtitle_stream_copy != 0,
                                        subtitle_bitstream_filters);
        if (!subtitle_language.empty())
            ff::av_dict_set(&stream->metadata, "language", subtitle_language.substr(0, 3).c_str(), 0);
    } catch (const FFMpegException&) {
        subtitle_codec_name.reset();
        throw;
    }
    subtitle_language.clear();
    subtitle_disable = 0;
    subtitle_codec_name.reset();
    subtitle_stream_copy = 0;
}

void TCustomFFmpeg::AddNewVideo() {
    if (output_count == 0) throw FFMpegException("At least one output file must be specified");
    NewVideoStream(output_contexts[output_count - 1].get(), output_count - 1);
}

void TCustomFFmpeg::AddNewAudio() {
    if (output_count == 0) throw FFMpegException("At least one output file must be specified");
    NewAudioStream(output_contexts[output_count - 1].get(), output_count - 1);
}

void TCustomFFmpeg::AddNewSubtitle() {
    if (output_count == 0) throw FFMpegException("At least one output file must be specified");
    NewSubtitleStream(output_contexts[output_count - 1].get(), output_count - 1);
}
