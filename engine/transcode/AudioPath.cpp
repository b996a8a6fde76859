// Decoded audio to the audio encoder: kept in step with the stream's clock
// (samples discarded, silence inserted, or the resampler asked to stretch),
// converted to the encoder's rate, channels and sample format and gathered
// into frames of the encoder's size (AudioConverter.cpp), and encoded.

#include <algorithm>
#include <cmath>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "AudioSync.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "PathHelpers.h"

namespace {

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

}  // namespace

void TCustomFFmpeg::EncodeAudio(OutputStreamState& ost, InputStreamState& ist, AVFrame* frame) {
    AudioConverter& converter = *ost.audio_converter;
    if (!frame) {
        if (ost.flushed) return;
        if (converter.Resamples()) ConvertIntoFifo(ost, nullptr);
        EncodeFifoFrames(ost, true);
        ost.flushed = true;
        Encode(ost, nullptr);
        return;
    }
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0) return;
    RefuseImplausibleSampleRate(frame->sample_rate, run.input_files[ist.file_index]->url);
    converter.Follow(frame);
    TFramePtr corrected;
    if (!CorrectAudioDrift(ost, ist, frame, corrected)) return;
    ConvertIntoFifo(ost, frame);
    EncodeFifoFrames(ost, false);
}

// Keeps the output where its sync source's clock says it should be. Returns
// false when nothing of the block is left; `frame` may be replaced by a
// block held in `corrected`.
bool TCustomFFmpeg::CorrectAudioDrift(OutputStreamState& ost, InputStreamState& ist, AVFrame*& frame,
                                      TFramePtr& corrected) {
    const int rate = ost.encoder->sample_rate;
    const double sync_time = static_cast<double>(ost.sync_ist->pts - start_time - ost.sync_shift) / 1000000;
    const int64_t queued = ost.audio_converter->Queued();
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
            ost.audio_converter->Compensate(correction.samples, rate);
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
// encoder's format and queues it.
void TCustomFFmpeg::ConvertIntoFifo(OutputStreamState& ost, const AVFrame* frame) {
    if (ost.audio_converter->Convert(frame)) return;
    if (exit_on_error) throw FFMpegException("av_audio_convert() failed");
    Log(0, "av_audio_convert() failed");
}

// Encodes whole encoder frames from the queue; when flushing also the rest.
void TCustomFFmpeg::EncodeFifoFrames(OutputStreamState& ost, bool flushing) {
    int samples = 0;
    while (TFramePtr out = ost.audio_converter->NextFrame(flushing, samples)) {
        out->pts = ost.sync_opts;
        ost.sync_opts += samples;
        ost.frame_number++;
        Encode(ost, out.get());
    }
}
