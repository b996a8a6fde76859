// Decoded audio to the audio encoder: kept in step with the stream's clock
// (samples discarded, silence inserted, or the resampler asked to stretch),
// converted to the encoder's rate, channels and sample format, gathered in
// the stream's FIFO and encoded in frames of the encoder's size. At the end
// the last, shorter frame goes out, padded with silence for encoders that
// take only whole frames.

#include <algorithm>
#include <cmath>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "AudioSync.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "PathHelpers.h"
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

// A block of `samples` samples laid out like `like` (format, rate, channels).
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

TFramePtr AllocateLike(const AVFrame* like, int samples) {
    return AllocateSamples(static_cast<AVSampleFormat>(like->format), like->sample_rate, like->ch_layout, samples);
}

TFramePtr WithSilenceInFront(const AVFrame* frame, int silence) {
    TFramePtr block = AllocateLike(frame, silence + frame->nb_samples);
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    ff::av_samples_set_silence(block->extended_data, 0, silence, channels, format);
    ff::av_samples_copy(block->extended_data, frame->extended_data, silence, 0, frame->nb_samples, channels, format);
    return block;
}

TFramePtr WithoutFirstSamples(const AVFrame* frame, int dropped) {
    TFramePtr block = AllocateLike(frame, frame->nb_samples - dropped);
    ff::av_samples_copy(block->extended_data, frame->extended_data, 0, dropped, block->nb_samples,
                        frame->ch_layout.nb_channels, static_cast<AVSampleFormat>(frame->format));
    return block;
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

bool EncoderTakesAnyFrameSize(const AVCodecContext* enc) {
    return enc->frame_size < 2 || (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
}

}  // namespace

void TCustomFFmpeg::EncodeAudio(OutputStreamState& ost, InputStreamState& ist, AVFrame* frame) {
    if (!frame) {
        if (ost.flushed) return;
        if (ost.resample) ConvertIntoFifo(ost, nullptr);
        EncodeFifoFrames(ost, true);
        ost.flushed = true;
        Encode(ost, nullptr);
        return;
    }
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0) return;
    RefuseImplausibleSampleRate(frame->sample_rate, run.input_files[ist.file_index]->url);
    SetUpResampler(ost, frame);
    TFramePtr corrected;
    if (!CorrectAudioDrift(ost, ist, frame, corrected)) return;
    ConvertIntoFifo(ost, frame);
    EncodeFifoFrames(ost, false);
}

// A resampler is needed when the rate, the channels or the sample format
// differ, or when "async" above 1 may ask it to stretch; it is made anew when
// the decoded audio changes midway.
void TCustomFFmpeg::SetUpResampler(OutputStreamState& ost, const AVFrame* frame) {
    AVCodecContext* enc = ost.encoder;
    const int channels = frame->ch_layout.nb_channels;
    if (ost.resample && ost.resample_in_rate == frame->sample_rate && ost.resample_in_channels == channels &&
        ost.resample_in_format == frame->format)
        return;
    const bool needed = ost.audio_resample || channels != enc->ch_layout.nb_channels ||
                        frame->sample_rate != enc->sample_rate || frame->format != enc->sample_fmt;
    if (!needed && !ost.resample) return;
    if (ost.resample) ff::swr_free(&ost.resample);
    AVChannelLayout in_layout = FrameLayout(frame);
    int result = ff::swr_alloc_set_opts2(&ost.resample, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &in_layout,
                                         static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    ff::av_channel_layout_uninit(&in_layout);
    if (result >= 0) result = SetRematrixing(ost.resample, channels, enc->ch_layout.nb_channels);
    if (result >= 0) result = ff::swr_init(ost.resample);
    if (result < 0) {
        ff::swr_free(&ost.resample);
        if (channels == enc->ch_layout.nb_channels && frame->sample_rate == enc->sample_rate) {
            const char* from = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
            const char* to = ff::av_get_sample_fmt_name(enc->sample_fmt);
            throw FFMpegException(FormatText("Cannot convert %s sample format to %s sample format",
                                             from ? from : "unknown", to ? to : "unknown"));
        }
        throw FFMpegException(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", channels,
                                         frame->sample_rate, enc->ch_layout.nb_channels, enc->sample_rate));
    }
    ost.audio_resample = 1;
    ost.resample_in_rate = frame->sample_rate;
    ost.resample_in_channels = channels;
    ost.resample_in_format = frame->format;
}

// Samples on their way to the encoder: in the FIFO and inside the resampler.
int64_t TCustomFFmpeg::QueuedAudioSamples(const OutputStreamState& ost) const {
    int64_t queued = ff::av_audio_fifo_size(ost.fifo);
    if (ost.resample) queued += ff::swr_get_delay(ost.resample, ost.encoder->sample_rate);
    return queued;
}

// Keeps the output where its sync source's clock says it should be. Returns
// false when nothing of the block is left; `frame` may be replaced by a
// block held in `corrected`.
bool TCustomFFmpeg::CorrectAudioDrift(OutputStreamState& ost, InputStreamState& ist, AVFrame*& frame,
                                      TFramePtr& corrected) {
    const int rate = ost.encoder->sample_rate;
    const double sync_time = static_cast<double>(ost.sync_ist->pts - start_time - ost.sync_shift) / 1000000;
    const int64_t queued = QueuedAudioSamples(ost);
    double drift = sync_time * rate - static_cast<double>(ost.sync_opts + queued);
    if (AbsorbClockJump(ost, drift / rate, dts_delta_threshold)) {
        if (verbose > 2)
            Log(FormatText("output stream #%d.%d: clock jump of %0.3f s, continuing without a gap", ost.file_index,
                           ost.index, drift / rate));
        drift = 0;
    }
    if (audio_sync_method == 0) {
        // Sound that starts later than the output's origin begins with
        // silence, so that the track starts at 0: players that ignore the
        // container's start offsets (the iPod among them) keep it in step,
        // and the encoder's priming is counted from there.
        if (ost.sync_opts == 0 && queued == 0 && drift > kAudioDriftTolerance) {
            corrected = WithSilenceInFront(frame, static_cast<int>(std::trunc(drift * frame->sample_rate / rate)));
            frame = corrected.get();
            return true;
        }
        const double block = static_cast<double>(frame->nb_samples) * rate / frame->sample_rate;
        const int64_t gap = AudioGapToFill(ost.audio_gap, drift, rate, static_cast<int>(block));
        if (gap > 0) {
            if (verbose > 2)
                Log(FormatText("output stream #%d.%d: %0.3f s without sound, filled with silence", ost.file_index,
                               ost.index, static_cast<double>(gap) / rate));
            corrected = WithSilenceInFront(frame, static_cast<int>(gap * frame->sample_rate / rate));
            frame = corrected.get();
        }
        return true;
    }
    const TAudioCorrection correction =
        DecideAudioCorrection(drift, ist.is_start != 0, audio_drift_threshold * static_cast<float>(rate),
                              audio_sync_method, rate, frame->sample_rate, frame->ch_layout.nb_channels,
                              frame->nb_samples);
    switch (correction.kind) {
        case TAudioCorrection::None:
            return true;
        case TAudioCorrection::Compensate:
            if (verbose > 2)
                Log(FormatText("compensating audio timestamp drift:%f compensation:%d in:%d", drift,
                               correction.samples, rate));
            if (ost.resample) ff::swr_set_compensation(ost.resample, correction.samples, rate);
            return true;
        case TAudioCorrection::Discard:
            if (verbose > 2) Log(FormatText("discarding %d audio samples", static_cast<int>(-drift)));
            if (correction.samples >= frame->nb_samples) return false;
            corrected = WithoutFirstSamples(frame, correction.samples);
            break;
        case TAudioCorrection::Silence:
            corrected = WithSilenceInFront(frame, correction.samples);
            if (verbose > 2) Log(FormatText("adding %d audio samples of silence", static_cast<int>(drift)));
            break;
    }
    if (correction.clears_start) ist.is_start = 0;
    frame = corrected.get();
    return true;
}

// Converts the block (none: what the resampler still holds) into the
// encoder's format and appends it to the FIFO.
void TCustomFFmpeg::ConvertIntoFifo(OutputStreamState& ost, const AVFrame* frame) {
    if (!ost.resample) {
        if (ff::av_audio_fifo_write(ost.fifo, reinterpret_cast<void**>(frame->extended_data), frame->nb_samples) <
            frame->nb_samples)
            throw FFMpegException("av_fifo_realloc2() failed");
        return;
    }
    const AVCodecContext* enc = ost.encoder;
    const int in_samples = frame ? frame->nb_samples : 0;
    // Room for every sample the block can give, so that none stays behind.
    const int capacity = ff::swr_get_out_samples(ost.resample, in_samples);
    if (capacity <= 0) return;
    TFramePtr converted = AllocateSamples(enc->sample_fmt, enc->sample_rate, enc->ch_layout, capacity);
    const int produced =
        ff::swr_convert(ost.resample, converted->extended_data, capacity,
                        frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, in_samples);
    if (produced < 0) {
        if (exit_on_error) throw FFMpegException("av_audio_convert() failed");
        Log(0, "av_audio_convert() failed");
        return;
    }
    if (produced > 0 && ff::av_audio_fifo_write(ost.fifo, reinterpret_cast<void**>(converted->extended_data),
                                                produced) < produced)
        throw FFMpegException("av_fifo_realloc2() failed");
}

// Encodes whole encoder frames from the FIFO; when flushing also the rest,
// as a short frame or, for encoders that take only whole frames, padded with
// silence. Codecs that code sample by sample take everything at once.
void TCustomFFmpeg::EncodeFifoFrames(OutputStreamState& ost, bool flushing) {
    AVCodecContext* enc = ost.encoder;
    const bool any_size = EncoderTakesAnyFrameSize(enc);
    const bool short_last = any_size || (enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    while (true) {
        const int available = ff::av_audio_fifo_size(ost.fifo);
        if (available <= 0) return;
        int samples = any_size ? available : enc->frame_size;
        if (available < samples && !flushing) return;
        samples = std::min(samples, available);
        const int frame_samples = short_last ? samples : enc->frame_size;
        TFramePtr out = AllocateSamples(enc->sample_fmt, enc->sample_rate, enc->ch_layout, frame_samples);
        if (ff::av_audio_fifo_read(ost.fifo, reinterpret_cast<void**>(out->extended_data), samples) < samples)
            throw FFMpegException("av_fifo_realloc2() failed");
        if (frame_samples > samples)
            ff::av_samples_set_silence(out->extended_data, samples, frame_samples - samples,
                                       enc->ch_layout.nb_channels, enc->sample_fmt);
        out->pts = ost.sync_opts;
        ost.sync_opts += samples;
        ost.frame_number++;
        Encode(ost, out.get());
    }
}
