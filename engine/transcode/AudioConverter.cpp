#include "AudioConverter.h"

#include <algorithm>

#include "AVUtilHlpr.h"
#include "FFMpegException.h"
#include "FormatText.h"
#include "SwResampleHlpr.h"

namespace {

AVChannelLayout FrameLayout(const AVFrame* frame) {
    AVChannelLayout layout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        ff::av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
    else
        ff::av_channel_layout_copy(&layout, &frame->ch_layout);
    return layout;
}

// Folding many channels into few must not clip loud passages, so every
// output channel's coefficients add up to at most one; and a mono source
// plays at its own level on both channels of a stereo output rather than
// 3 dB lower, as the library's centre-channel rule would have it.
int SetRematrixing(SwrContext* resampler, int in_channels, int out_channels) {
    if (in_channels == 1 && out_channels == 2) {
        const double both[2] = {1.0, 1.0};
        return ff::swr_set_matrix(resampler, both, 1);
    }
    return ff::av_opt_set_double(resampler, "rematrix_maxval", 1.0, 0);
}

bool TakesAnyFrameSize(const AVCodecContext* encoder) {
    return encoder->frame_size < 2 || (encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
}

}  // namespace

TFramePtr AllocateSamples(AVSampleFormat format, int sample_rate, const AVChannelLayout& layout, int samples) {
    TFramePtr frame(ff::av_frame_alloc());
    if (!frame) throw FFMpegException("av_malloc failed");
    frame->nb_samples = samples;
    frame->format = format;
    frame->sample_rate = sample_rate;
    if (ff::av_channel_layout_copy(&frame->ch_layout, &layout) < 0 || ff::av_frame_get_buffer(frame.get(), 0) < 0)
        throw FFMpegException("av_malloc failed");
    return frame;
}

AudioConverter::AudioConverter(const AVCodecContext* encoder, bool always_resample)
    : sample_rate_(encoder->sample_rate),
      format_(encoder->sample_fmt),
      frame_size_(encoder->frame_size),
      any_size_(TakesAnyFrameSize(encoder)),
      short_last_(any_size_ || (encoder->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)),
      always_resample_(always_resample) {
    if (ff::av_channel_layout_copy(&layout_, &encoder->ch_layout) < 0) throw FFMpegException("av_malloc failed");
    fifo_.reset(ff::av_audio_fifo_alloc(format_, layout_.nb_channels, 1024));
    if (!fifo_) throw FFMpegException("av_fifo_init fail");
}

AudioConverter::~AudioConverter() {
    if (ff::av_channel_layout_uninit) ff::av_channel_layout_uninit(&layout_);
}

void AudioConverter::Follow(const AVFrame* frame) {
    const int channels = frame->ch_layout.nb_channels;
    if (resampler_ && in_rate_ == frame->sample_rate && in_channels_ == channels && in_format_ == frame->format)
        return;
    const bool needed = always_resample_ || channels != layout_.nb_channels || frame->sample_rate != sample_rate_ ||
                        frame->format != format_;
    if (!needed && !resampler_) return;
    resampler_.reset();
    SwrContext* made = nullptr;
    AVChannelLayout in_layout = FrameLayout(frame);
    int result = ff::swr_alloc_set_opts2(&made, &layout_, format_, sample_rate_, &in_layout,
                                         static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    ff::av_channel_layout_uninit(&in_layout);
    resampler_.reset(made);
    if (result >= 0) result = SetRematrixing(made, channels, layout_.nb_channels);
    if (result >= 0) result = ff::swr_init(made);
    if (result < 0) {
        resampler_.reset();
        if (channels == layout_.nb_channels && frame->sample_rate == sample_rate_) {
            const char* from = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
            const char* to = ff::av_get_sample_fmt_name(format_);
            throw FFMpegException(FormatText("Cannot convert %s sample format to %s sample format",
                                             from ? from : "unknown", to ? to : "unknown"));
        }
        throw FFMpegException(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", channels,
                                         frame->sample_rate, layout_.nb_channels, sample_rate_));
    }
    always_resample_ = true;
    in_rate_ = frame->sample_rate;
    in_channels_ = channels;
    in_format_ = frame->format;
}

int64_t AudioConverter::Queued() const {
    int64_t queued = ff::av_audio_fifo_size(fifo_.get());
    if (resampler_) queued += ff::swr_get_delay(resampler_.get(), sample_rate_);
    return queued;
}

void AudioConverter::Compensate(int samples, int distance) {
    if (resampler_) ff::swr_set_compensation(resampler_.get(), samples, distance);
}

bool AudioConverter::Convert(const AVFrame* frame) {
    if (!resampler_) {
        if (!frame) return true;
        if (ff::av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), frame->nb_samples) <
            frame->nb_samples)
            throw FFMpegException("av_fifo_realloc2() failed");
        return true;
    }
    const int in_samples = frame ? frame->nb_samples : 0;
    // Room for every sample the block can give, so that none stays behind.
    const int capacity = ff::swr_get_out_samples(resampler_.get(), in_samples);
    if (capacity <= 0) return true;
    TFramePtr converted = AllocateSamples(format_, sample_rate_, layout_, capacity);
    const int produced =
        ff::swr_convert(resampler_.get(), converted->extended_data, capacity,
                        frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, in_samples);
    if (produced < 0) return false;
    if (produced > 0 &&
        ff::av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted->extended_data), produced) < produced)
        throw FFMpegException("av_fifo_realloc2() failed");
    return true;
}

TFramePtr AudioConverter::NextFrame(bool flushing, int& samples) {
    const int available = ff::av_audio_fifo_size(fifo_.get());
    if (available <= 0) return nullptr;
    samples = any_size_ ? available : frame_size_;
    if (available < samples && !flushing) return nullptr;
    samples = std::min(samples, available);
    const int frame_samples = short_last_ ? samples : frame_size_;
    TFramePtr out = AllocateSamples(format_, sample_rate_, layout_, frame_samples);
    if (ff::av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(out->extended_data), samples) < samples)
        throw FFMpegException("av_fifo_realloc2() failed");
    if (frame_samples > samples)
        ff::av_samples_set_silence(out->extended_data, samples, frame_samples - samples, layout_.nb_channels, format_);
    return out;
}
