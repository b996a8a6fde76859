#include "MediaAnalysis.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "LibraryHandles.h"
#include "SwScaleHlpr.h"
#include "TestMedia.h"
#include "TestPattern.h"

namespace {

constexpr AVRational kMicroseconds{1, 1000000};
// A beep counts as a new onset only after this much quiet.
constexpr int64_t kQuietBeforeOnsetUs = 50000;
// Below this level (mean square of full scale) a stream counts as silent.
constexpr double kSilentMeanSquare = 1e-6;

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    ff::av_strerror(code, text, sizeof text);
    return text;
}

double SampleValue(const AVFrame& frame, int channel, int index) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = ff::av_sample_fmt_is_planar(format);
    const int channels = frame.ch_layout.nb_channels;
    const uint8_t* base = frame.extended_data[planar ? channel : 0];
    const int slot = planar ? index : index * channels + channel;
    switch (ff::av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            return (base[slot] - 128) / 128.0;
        case AV_SAMPLE_FMT_S16:
            return reinterpret_cast<const int16_t*>(base)[slot] / 32768.0;
        case AV_SAMPLE_FMT_S32:
            return reinterpret_cast<const int32_t*>(base)[slot] / 2147483648.0;
        case AV_SAMPLE_FMT_S64:
            return static_cast<double>(reinterpret_cast<const int64_t*>(base)[slot]) / 9223372036854775808.0;
        case AV_SAMPLE_FMT_FLT:
            return reinterpret_cast<const float*>(base)[slot];
        case AV_SAMPLE_FMT_DBL:
            return reinterpret_cast<const double*>(base)[slot];
        default:
            return 0.0;
    }
}

// Follows one stream through decoding and collects what StreamAnalysis reports.
class StreamTracker {
public:
    StreamTracker(AVStream* stream, StreamAnalysis& result) : stream_(stream), result_(result) {}
    void OpenDecoder();
    void Decode(const AVPacket* packet);  // nullptr flushes
    void Finish();

private:
    int64_t FrameTimeUs(const AVFrame& frame) const;
    void TakeFrame(const AVFrame& frame);
    void TakeVideo(const AVFrame& frame, int64_t timeUs);
    void TakeAudio(const AVFrame& frame, int64_t timeUs);
    void FindBeepOnsets();

    AVStream* stream_;
    StreamAnalysis& result_;
    TCodecContextPtr decoder_;
    TFramePtr frame_{ff::av_frame_alloc()};
    TScalerContextPtr scaler_;
    std::vector<uint8_t> luma_;
    bool previousWhite_ = false;
    int64_t expectedTimeUs_ = 0;  // where the next frame starts when it carries no time
    // Audio: per channel, the last `window` squared samples and their sum; per
    // sample, the loudest channel's mean square; per decoded frame, its first
    // sample's index and time.
    int window_ = 0;
    std::vector<std::vector<double>> squares_;
    std::vector<double> squareSums_;
    std::vector<float> envelope_;
    struct FrameStart {
        size_t sample;
        int64_t timeUs;
        int sampleRate;
    };
    std::vector<FrameStart> frameStarts_;
};

void StreamTracker::OpenDecoder() {
    const AVCodecParameters& parameters = *stream_->codecpar;
    result_.mediaType = parameters.codec_type;
    result_.codecName = ff::avcodec_get_name(parameters.codec_id);
    result_.width = parameters.width;
    result_.height = parameters.height;
    result_.sampleRate = parameters.sample_rate;
    result_.channels = parameters.ch_layout.nb_channels;
    if (stream_->duration != AV_NOPTS_VALUE)
        result_.durationUs = ff::av_rescale_q(stream_->duration, stream_->time_base, kMicroseconds);
    const AVCodec* codec = ff::avcodec_find_decoder(parameters.codec_id);
    if (!codec) return;
    decoder_.reset(ff::avcodec_alloc_context3(codec));
    if (!decoder_ || ff::avcodec_parameters_to_context(decoder_.get(), &parameters) < 0) {
        decoder_.reset();
        return;
    }
    decoder_->pkt_timebase = stream_->time_base;
    std::lock_guard lock(CodecLock());
    if (ff::avcodec_open2(decoder_.get(), codec, nullptr) < 0) decoder_.reset();
}

void StreamTracker::Decode(const AVPacket* packet) {
    if (!decoder_) return;
    if (result_.mediaType == AVMEDIA_TYPE_SUBTITLE) {
        if (!packet) return;
        AVSubtitle subtitle{};
        int got = 0;
        if (ff::avcodec_decode_subtitle2(decoder_.get(), &subtitle, &got, const_cast<AVPacket*>(packet)) < 0) {
            ++result_.decodeErrors;
        } else if (got) {
            if (packet->pts != AV_NOPTS_VALUE) {
                const int64_t startUs = ff::av_rescale_q(packet->pts, stream_->time_base, kMicroseconds);
                if (result_.frameCount == 0) result_.firstTimeUs = startUs;
                result_.markTimesUs.push_back(startUs);
                result_.endTimeUs = startUs + ff::av_rescale_q(packet->duration, stream_->time_base, kMicroseconds);
            }
            ++result_.frameCount;
            ff::avsubtitle_free(&subtitle);
        }
        return;
    }
    int sent = ff::avcodec_send_packet(decoder_.get(), packet);
    if (sent < 0 && sent != AVERROR_EOF) ++result_.decodeErrors;
    for (;;) {
        int received = ff::avcodec_receive_frame(decoder_.get(), frame_.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
        if (received < 0) {
            ++result_.decodeErrors;
            return;
        }
        if (frame_->decode_error_flags) ++result_.decodeErrors;
        TakeFrame(*frame_);
        ff::av_frame_unref(frame_.get());
    }
}

int64_t StreamTracker::FrameTimeUs(const AVFrame& frame) const {
    if (frame.best_effort_timestamp == AV_NOPTS_VALUE) return expectedTimeUs_;
    return ff::av_rescale_q(frame.best_effort_timestamp, stream_->time_base, kMicroseconds);
}

void StreamTracker::TakeFrame(const AVFrame& frame) {
    const int64_t timeUs = FrameTimeUs(frame);
    if (result_.frameCount++ == 0)
        result_.firstTimeUs = timeUs;
    else
        result_.largestGapUs = std::max(result_.largestGapUs, timeUs - expectedTimeUs_);
    if (result_.mediaType == AVMEDIA_TYPE_VIDEO) {
        TakeVideo(frame, timeUs);
    } else if (result_.mediaType == AVMEDIA_TYPE_AUDIO) {
        TakeAudio(frame, timeUs);
    }
    result_.endTimeUs = expectedTimeUs_;
}

void StreamTracker::TakeVideo(const AVFrame& frame, int64_t timeUs) {
    const AVRational rate = stream_->avg_frame_rate.num > 0 ? stream_->avg_frame_rate : stream_->r_frame_rate;
    expectedTimeUs_ = timeUs + (rate.num > 0 ? ff::av_rescale_q(1, av_inv_q(rate), kMicroseconds) : 0);
    scaler_.reset(ff::sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                           static_cast<AVPixelFormat>(frame.format), frame.width, frame.height,
                                           AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr, nullptr));
    if (!scaler_) {
        ++result_.decodeErrors;
        result_.frameNumbers.push_back(-1);
        return;
    }
    luma_.resize(static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height));
    uint8_t* planes[4] = {luma_.data(), nullptr, nullptr, nullptr};
    int strides[4] = {frame.width, 0, 0, 0};
    ff::sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    const bool white = LooksWhite(luma_.data(), frame.width, frame.width, frame.height);
    if (white && !previousWhite_) result_.markTimesUs.push_back(timeUs);
    previousWhite_ = white;
    result_.frameNumbers.push_back(ReadFrameNumber(luma_.data(), frame.width, frame.width, frame.height));
}

void StreamTracker::TakeAudio(const AVFrame& frame, int64_t timeUs) {
    const int channels = frame.ch_layout.nb_channels;
    if (window_ == 0) {
        // One period of the beep, so that its mean square is steady.
        window_ = std::max(1, frame.sample_rate / kBeepFrequency);
        squares_.assign(static_cast<size_t>(channels), std::vector<double>(static_cast<size_t>(window_)));
        squareSums_.assign(static_cast<size_t>(channels), 0.0);
    }
    frameStarts_.push_back({envelope_.size(), timeUs, frame.sample_rate});
    for (int i = 0; i < frame.nb_samples; ++i) {
        const size_t slot = envelope_.size() % static_cast<size_t>(window_);
        double loudest = 0.0;
        for (int channel = 0; channel < channels && channel < static_cast<int>(squares_.size()); ++channel) {
            const double value = SampleValue(frame, channel, i);
            result_.peak = std::max(result_.peak, std::abs(value));
            double& oldest = squares_[static_cast<size_t>(channel)][slot];
            squareSums_[static_cast<size_t>(channel)] += value * value - oldest;
            oldest = value * value;
            loudest = std::max(loudest, squareSums_[static_cast<size_t>(channel)] / window_);
        }
        envelope_.push_back(static_cast<float>(loudest));
    }
    expectedTimeUs_ = timeUs + int64_t{frame.nb_samples} * 1000000 / frame.sample_rate;
}

void StreamTracker::Finish() {
    Decode(nullptr);
    if (result_.mediaType == AVMEDIA_TYPE_AUDIO) FindBeepOnsets();
}

// An onset is where the loudest channel's mean square first reaches a quarter
// of the stream's peak (half its level) after a stretch of quiet. For a sine
// that starts at rest, the one-period window reaches a quarter of the steady
// mean square a quarter period after the start; that lag is taken off.
void StreamTracker::FindBeepOnsets() {
    if (envelope_.empty() || window_ == 0) return;
    const double peak = *std::max_element(envelope_.begin(), envelope_.end());
    if (peak < kSilentMeanSquare) return;
    const double threshold = peak / 4;
    const int64_t lagUs = int64_t{window_} * 1000000 / 4 / result_.sampleRate;
    int64_t quietSinceUs = frameStarts_.front().timeUs - kQuietBeforeOnsetUs;
    bool loud = false;
    auto frameStart = frameStarts_.begin();
    for (size_t i = 0; i < envelope_.size(); ++i) {
        while (std::next(frameStart) != frameStarts_.end() && std::next(frameStart)->sample <= i) ++frameStart;
        const int64_t timeUs =
            frameStart->timeUs + static_cast<int64_t>(i - frameStart->sample) * 1000000 / frameStart->sampleRate;
        if (envelope_[i] >= threshold) {
            if (!loud && timeUs - quietSinceUs >= kQuietBeforeOnsetUs) result_.markTimesUs.push_back(timeUs - lagUs);
            loud = true;
        } else {
            if (loud) quietSinceUs = timeUs;
            loud = false;
        }
    }
}

}  // namespace

const StreamAnalysis* MediaAnalysis::First(int mediaType) const {
    for (const StreamAnalysis& stream : streams)
        if (stream.mediaType == mediaType) return &stream;
    return nullptr;
}

MediaAnalysis AnalyseMedia(const std::string& path) {
    MediaAnalysis analysis;
    AVFormatContext* raw = nullptr;
    if (int code = ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr); code < 0) {
        analysis.error = path + ": " + ErrorText(code);
        return analysis;
    }
    TInputContextPtr input(raw);
    {
        std::lock_guard lock(CodecLock());
        if (int code = ff::avformat_find_stream_info(input.get(), nullptr); code < 0) {
            analysis.error = path + ": " + ErrorText(code);
            return analysis;
        }
    }
    analysis.formatName = input->iformat->name;
    analysis.startTimeUs = input->start_time == AV_NOPTS_VALUE ? -1 : input->start_time;
    analysis.durationUs = input->duration == AV_NOPTS_VALUE ? -1 : input->duration;
    analysis.streams.resize(input->nb_streams);
    std::vector<StreamTracker> trackers;
    trackers.reserve(input->nb_streams);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        trackers.emplace_back(input->streams[i], analysis.streams[i]);
        trackers.back().OpenDecoder();
    }
    TPacketPtr packet(ff::av_packet_alloc());
    for (;;) {
        int code = ff::av_read_frame(input.get(), packet.get());
        if (code == AVERROR_EOF) break;
        if (code < 0) {
            analysis.error = path + ": " + ErrorText(code);
            break;
        }
        if (packet->stream_index >= 0 && packet->stream_index < static_cast<int>(trackers.size())) {
            ++analysis.streams[static_cast<size_t>(packet->stream_index)].packetCount;
            trackers[static_cast<size_t>(packet->stream_index)].Decode(packet.get());
        }
        ff::av_packet_unref(packet.get());
    }
    for (StreamTracker& tracker : trackers) tracker.Finish();
    return analysis;
}

std::vector<int64_t> AudioVideoOffsetsUs(const StreamAnalysis& video, const StreamAnalysis& audio) {
    std::vector<int64_t> offsets;
    const size_t pairs = std::min(video.markTimesUs.size(), audio.markTimesUs.size());
    for (size_t i = 0; i < pairs; ++i) offsets.push_back(audio.markTimesUs[i] - video.markTimesUs[i]);
    return offsets;
}
