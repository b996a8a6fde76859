#include "MediaWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "LibraryHandles.h"
#include "TestPattern.h"

namespace {

// One output stream and the position of the next thing it will produce.
struct OutputStream {
    TestStreamKind kind = TestStreamKind::Video;
    AVStream* stream = nullptr;
    TCodecContextPtr encoder = nullptr;  // none for the subtitle stream, whose packets are its text
    int64_t next = 0;         // frame number, sample index or cue index
    int64_t end = 0;          // one past the last of them
    bool flushed = false;
};

class ClipWriter {
public:
    ClipWriter(const TestClip& clip, const std::string& path) : clip_(clip), path_(path) {}
    void Write();

private:
    [[noreturn]] void Fail(const std::string& step, int code = 0) const;
    void Check(int code, const char* step) const {
        if (code < 0) Fail(step, code);
    }
    void AddStream(TestStreamKind kind);
    void MarkTurned(AVStream& stream);
    TCodecContextPtr OpenEncoder(TestStreamKind kind);
    int64_t NextTimeUs(const OutputStream& output) const;
    void Advance(OutputStream& output);
    TFramePtr VideoFrame(const OutputStream& output);
    TFramePtr AudioFrame(const OutputStream& output);
    TFramePtr GreyPalettePicture(const AVFrame& picture);
    void WriteCue(OutputStream& output);
    void Send(OutputStream& output, const AVFrame* frame);
    bool InAudioGap(int64_t pts, AVRational timeBase) const;

    const TestClip& clip_;
    std::string path_;
    TOutputContextPtr context_;
    TPacketPtr packet_;
    std::vector<OutputStream> streams_;
};

void ClipWriter::Fail(const std::string& step, int code) const {
    std::string text = std::string(clip_.fileName) + ": " + step;
    if (code < 0) {
        char reason[AV_ERROR_MAX_STRING_SIZE] = {};
        ff::av_strerror(code, reason, sizeof reason);
        text += ": ";
        text += reason;
    }
    throw std::runtime_error(text);
}

void ClipWriter::Write() {
    AVFormatContext* raw = nullptr;
    Check(ff::avformat_alloc_output_context2(&raw, nullptr, clip_.muxer, path_.c_str()), "creating the output");
    context_.reset(raw);
    packet_.reset(ff::av_packet_alloc());
    if (!packet_) Fail("allocating a packet");
    for (TestStreamKind kind : clip_.streams) AddStream(kind);
    for (const TestTag& tag : clip_.tags) ff::av_dict_set(&context_->metadata, tag.key, tag.value, 0);
    if (!(context_->oformat->flags & AVFMT_NOFILE))
        Check(ff::avio_open(&context_->pb, path_.c_str(), AVIO_FLAG_WRITE), "opening the file");
    // Audio encoders start with priming samples at negative times. Most
    // muxers shift every stream to make up for them, but AVI counts video in
    // whole frames and would leave a gap after the first one; its audio
    // starts at zero whatever the timestamps say.
    AVDictionary* options = nullptr;
    if (std::strcmp(clip_.muxer, "avi") == 0) ff::av_dict_set(&options, "avoid_negative_ts", "disabled", 0);
    const int written = ff::avformat_write_header(context_.get(), &options);
    ff::av_dict_free(&options);
    Check(written, "writing the header");
    // Always feed the stream that is furthest behind, so the muxer sees the
    // streams interleaved as a real recording would have them.
    for (;;) {
        OutputStream* behind = nullptr;
        for (OutputStream& output : streams_)
            if (!output.flushed && (!behind || NextTimeUs(output) < NextTimeUs(*behind))) behind = &output;
        if (!behind) break;
        Advance(*behind);
    }
    Check(ff::av_write_trailer(context_.get()), "writing the trailer");
}

void ClipWriter::AddStream(TestStreamKind kind) {
    OutputStream output;
    output.kind = kind;
    output.stream = ff::avformat_new_stream(context_.get(), nullptr);
    if (!output.stream) Fail("adding a stream");
    switch (kind) {
        case TestStreamKind::Video:
            output.end = clip_.durationUs * clip_.frameRateNum / (int64_t{1000000} * clip_.frameRateDen);
            break;
        case TestStreamKind::Audio:
            output.end = clip_.durationUs * clip_.sampleRate / 1000000;
            break;
        case TestStreamKind::Subtitle:
            output.end = std::size(kTestCues);
            break;
    }
    if (kind == TestStreamKind::Subtitle) {
        output.stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
        output.stream->codecpar->codec_id = AV_CODEC_ID_SUBRIP;
        output.stream->time_base = AVRational{1, 1000};
    } else {
        output.encoder = OpenEncoder(kind);
        output.stream->time_base = output.encoder->time_base;
        Check(ff::avcodec_parameters_from_context(output.stream->codecpar, output.encoder.get()),
              "copying the encoder's parameters");
    }
    if (kind == TestStreamKind::Video && clip_.turned) MarkTurned(*output.stream);
    streams_.push_back(std::move(output));
}

void ClipWriter::MarkTurned(AVStream& stream) {
    // The source's x axis shown pointing down, its y axis pointing left.
    const int32_t matrix[9] = {0, 1 << 16, 0, -(1 << 16), 0, 0, 0, 0, 1 << 30};
    uint8_t* data = ff::av_stream_new_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof matrix);
    if (!data) Fail("adding the display matrix");
    std::memcpy(data, matrix, sizeof matrix);
}

TCodecContextPtr ClipWriter::OpenEncoder(TestStreamKind kind) {
    const bool video = kind == TestStreamKind::Video;
    const char* name = video ? clip_.videoEncoder : clip_.audioEncoder;
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(name);
    if (!codec) Fail(std::string("no encoder ") + name);
    TCodecContextPtr encoder(ff::avcodec_alloc_context3(codec));
    if (!encoder) Fail("allocating the encoder");
    if (video) {
        encoder->width = clip_.width;
        encoder->height = clip_.height;
        encoder->time_base = AVRational{clip_.frameRateDen, clip_.frameRateNum};
        encoder->framerate = AVRational{clip_.frameRateNum, clip_.frameRateDen};
        encoder->pix_fmt = ff::av_get_pix_fmt(clip_.pixelFormat);
        encoder->bit_rate = clip_.videoBitRate;
        encoder->gop_size = 12;
        encoder->max_b_frames = clip_.maxBFrames;
        if (std::strlen(clip_.videoTag) == 4)
            encoder->codec_tag = MKTAG(clip_.videoTag[0], clip_.videoTag[1], clip_.videoTag[2], clip_.videoTag[3]);
    } else {
        encoder->sample_rate = clip_.sampleRate;
        ff::av_channel_layout_default(&encoder->ch_layout, clip_.channels);
        encoder->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        encoder->bit_rate = clip_.audioBitRate;
        if (clip_.audioQuality > 0) {
            encoder->flags |= AV_CODEC_FLAG_QSCALE;
            encoder->global_quality = FF_QP2LAMBDA * clip_.audioQuality;
        }
        encoder->time_base = AVRational{1, clip_.sampleRate};
    }
    if (context_->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    std::lock_guard lock(CodecLock());
    Check(ff::avcodec_open2(encoder.get(), codec, nullptr), (std::string("opening ") + name).c_str());
    return encoder;
}

int64_t ClipWriter::NextTimeUs(const OutputStream& output) const {
    switch (output.kind) {
        case TestStreamKind::Video:
            return output.next * 1000000 * clip_.frameRateDen / clip_.frameRateNum;
        case TestStreamKind::Audio:
            return output.next * 1000000 / clip_.sampleRate;
        case TestStreamKind::Subtitle:
            return output.next < output.end ? kTestCues[output.next].startUs : clip_.durationUs;
    }
    return 0;
}

void ClipWriter::Advance(OutputStream& output) {
    if (output.kind == TestStreamKind::Subtitle) {
        WriteCue(output);
    } else if (output.next >= output.end) {
        Send(output, nullptr);
        output.flushed = true;
    } else {
        TFramePtr frame = output.kind == TestStreamKind::Video ? VideoFrame(output) : AudioFrame(output);
        output.next += output.kind == TestStreamKind::Video ? 1 : frame->nb_samples;
        Send(output, frame.get());
    }
}

TFramePtr ClipWriter::VideoFrame(const OutputStream& output) {
    TFramePtr frame(ff::av_frame_alloc());
    if (!frame) Fail("allocating a frame");
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = output.encoder->width;
    frame->height = output.encoder->height;
    Check(ff::av_frame_get_buffer(frame.get(), 0), "allocating a picture");
    DrawTestPicture(clip_, output.next, frame->data, frame->linesize, frame->width, frame->height);
    frame->pts = output.next;
    return output.encoder->pix_fmt == AV_PIX_FMT_PAL8 ? GreyPalettePicture(*frame) : std::move(frame);
}

// The luma plane as palette indexes, each index the grey of that luma.
TFramePtr ClipWriter::GreyPalettePicture(const AVFrame& picture) {
    TFramePtr frame(ff::av_frame_alloc());
    if (!frame) Fail("allocating a frame");
    frame->format = AV_PIX_FMT_PAL8;
    frame->width = picture.width;
    frame->height = picture.height;
    frame->pts = picture.pts;
    Check(ff::av_frame_get_buffer(frame.get(), 0), "allocating a palette picture");
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0],
                    picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0],
                    static_cast<size_t>(picture.width));
    auto* palette = reinterpret_cast<uint32_t*>(frame->data[1]);
    for (int index = 0; index < 256; ++index) {
        const auto grey = static_cast<uint32_t>(std::clamp((index - 16) * 255 / 219, 0, 255));
        palette[index] = 0xFF000000u | grey << 16 | grey << 8 | grey;
    }
    return frame;
}

TFramePtr ClipWriter::AudioFrame(const OutputStream& output) {
    const AVCodecContext& encoder = *output.encoder;
    const int64_t blockSize = encoder.frame_size > 0 ? encoder.frame_size : 1024;
    TFramePtr frame(ff::av_frame_alloc());
    if (!frame) Fail("allocating a frame");
    frame->format = encoder.sample_fmt;
    frame->sample_rate = encoder.sample_rate;
    frame->nb_samples = static_cast<int>(std::min(blockSize, output.end - output.next));
    Check(ff::av_channel_layout_copy(&frame->ch_layout, &encoder.ch_layout), "copying the channel layout");
    Check(ff::av_frame_get_buffer(frame.get(), 0), "allocating samples");
    const int channels = encoder.ch_layout.nb_channels;
    const bool planar = ff::av_sample_fmt_is_planar(encoder.sample_fmt);
    const AVSampleFormat packed = ff::av_get_packed_sample_fmt(encoder.sample_fmt);
    for (int i = 0; i < frame->nb_samples; ++i) {
        const double value = TestSampleValue(clip_, output.next + i);
        for (int channel = 0; channel < channels; ++channel) {
            uint8_t* base = frame->extended_data[planar ? channel : 0];
            const int slot = planar ? i : i * channels + channel;
            switch (packed) {
                case AV_SAMPLE_FMT_S16:
                    reinterpret_cast<int16_t*>(base)[slot] = static_cast<int16_t>(value * 32767);
                    break;
                case AV_SAMPLE_FMT_S32:
                    reinterpret_cast<int32_t*>(base)[slot] = static_cast<int32_t>(value * 2147483647.0);
                    break;
                case AV_SAMPLE_FMT_FLT:
                    reinterpret_cast<float*>(base)[slot] = static_cast<float>(value);
                    break;
                case AV_SAMPLE_FMT_DBL:
                    reinterpret_cast<double*>(base)[slot] = value;
                    break;
                default:
                    Fail("unsupported sample format");
            }
        }
    }
    frame->pts = output.next;
    return frame;
}

void ClipWriter::WriteCue(OutputStream& output) {
    if (output.next >= output.end) {
        output.flushed = true;
        return;
    }
    const TestCue& cue = kTestCues[output.next++];
    const int size = static_cast<int>(std::strlen(cue.text));
    Check(ff::av_new_packet(packet_.get(), size), "allocating a cue");
    std::memcpy(packet_->data, cue.text, static_cast<size_t>(size));
    packet_->stream_index = output.stream->index;
    packet_->pts = packet_->dts = ff::av_rescale_q(cue.startUs, AVRational{1, 1000000}, output.stream->time_base);
    packet_->duration = ff::av_rescale_q(cue.endUs - cue.startUs, AVRational{1, 1000000}, output.stream->time_base);
    packet_->flags |= AV_PKT_FLAG_KEY;
    Check(ff::av_interleaved_write_frame(context_.get(), packet_.get()), "writing a cue");
}

void ClipWriter::Send(OutputStream& output, const AVFrame* frame) {
    Check(ff::avcodec_send_frame(output.encoder.get(), frame), "encoding");
    for (;;) {
        int result = ff::avcodec_receive_packet(output.encoder.get(), packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        Check(result, "encoding");
        packet_->stream_index = output.stream->index;
        if (output.kind == TestStreamKind::Audio && InAudioGap(packet_->pts, output.encoder->time_base)) {
            ff::av_packet_unref(packet_.get());
            continue;
        }
        ff::av_packet_rescale_ts(packet_.get(), output.encoder->time_base, output.stream->time_base);
        Check(ff::av_interleaved_write_frame(context_.get(), packet_.get()), "writing a packet");
    }
}

bool ClipWriter::InAudioGap(int64_t pts, AVRational timeBase) const {
    if (clip_.audioGapLengthUs <= 0 || pts == AV_NOPTS_VALUE) return false;
    const int64_t timeUs = ff::av_rescale_q(pts, timeBase, AVRational{1, 1000000});
    return timeUs >= clip_.audioGapStartUs && timeUs < clip_.audioGapStartUs + clip_.audioGapLengthUs;
}

}  // namespace

void WriteTestClip(const TestClip& clip, const std::string& path) { ClipWriter(clip, path).Write(); }
