#include "AudioProcessor.h"

#include <cmath>

#include "AVUtilHlpr.h"
#include "FFMpegException.h"
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

AudioProcessor::AudioProcessor(const AVCodecContext* encoder, const AudioProcessSettings& settings)
    : settings_(settings), rate_(encoder->sample_rate), converter_(encoder, settings.always_resample) {}

void AudioProcessor::Note(AudioBlockOutcome& outcome, int level, std::string line) const {
    outcome.log.emplace_back(level, std::move(line));
}

void AudioProcessor::Process(const AVFrame* block, int64_t clock_us, int& at_start, AudioBlockOutcome& outcome) {
    try {
        ProcessBlock(block, clock_us, at_start, outcome);
    } catch (...) {
        outcome.failure = std::current_exception();
    }
}

void AudioProcessor::ProcessBlock(const AVFrame* block, int64_t clock_us, int& at_start,
                                  AudioBlockOutcome& outcome) {
    if (!block) {
        if (converter_.Resamples()) Convert(nullptr, outcome);
        CutFrames(true, outcome);
        return;
    }
    if (block->nb_samples <= 0 || block->sample_rate <= 0 || block->ch_layout.nb_channels <= 0) return;
    RefuseImplausibleSampleRate(block->sample_rate, settings_.input_name.c_str());
    converter_.Follow(block);
    TFramePtr corrected;
    if (!CorrectDrift(block, clock_us, at_start, corrected, outcome)) return;
    Convert(block, outcome);
    CutFrames(false, outcome);
}

// Keeps the output where its sync source's clock says it should be.
bool AudioProcessor::CorrectDrift(const AVFrame*& block, int64_t clock_us, int& at_start, TFramePtr& corrected,
                                  AudioBlockOutcome& outcome) {
    const AudioProcessSettings& s = settings_;
    const int rate = rate_;
    const double sync_time = static_cast<double>(clock_us - s.start_time_us - clock_shift_) / 1000000;
    const int64_t queued = converter_.Queued();
    double drift = sync_time * rate - static_cast<double>(given_ + queued);
    if (AbsorbClockJump(clock_shift_, drift / rate, s.clock_jump_seconds)) {
        if (s.verbose > 2)
            Note(outcome, 1,
                 FormatText("output stream #%d.%d: clock jump of %0.3f s, continuing without a gap", s.file_index,
                            s.stream_index, drift / rate));
        drift = 0;
    }
    if (s.sync_method == 0) {
        // Sound that starts later than the output's origin begins with
        // silence, so that the track starts at 0: players that ignore the
        // container's start offsets (the iPod among them) keep it in step,
        // and the encoder's priming is counted from there.
        if (given_ == 0 && queued == 0 && drift > kAudioDriftTolerance) {
            corrected = WithSilenceInFront(block, static_cast<int>(std::trunc(drift * block->sample_rate / rate)));
            block = corrected.get();
            return true;
        }
        const double length = static_cast<double>(block->nb_samples) * rate / block->sample_rate;
        const int64_t gap = AudioGapToFill(gap_, drift, rate, static_cast<int>(length));
        if (gap > 0) {
            if (s.verbose > 2)
                Note(outcome, 1,
                     FormatText("output stream #%d.%d: %0.3f s without sound, filled with silence", s.file_index,
                                s.stream_index, static_cast<double>(gap) / rate));
            corrected = WithSilenceInFront(block, static_cast<int>(gap * block->sample_rate / rate));
            block = corrected.get();
        }
        return true;
    }
    const TAudioCorrection correction =
        DecideAudioCorrection(drift, at_start != 0, s.drift_threshold_seconds * static_cast<float>(rate),
                              s.sync_method, rate, block->sample_rate, block->ch_layout.nb_channels,
                              block->nb_samples);
    switch (correction.kind) {
        case TAudioCorrection::None:
            return true;
        case TAudioCorrection::Compensate:
            if (s.verbose > 2)
                Note(outcome, 1,
                     FormatText("compensating audio timestamp drift:%f compensation:%d in:%d", drift,
                                correction.samples, rate));
            converter_.Compensate(correction.samples, rate);
            return true;
        case TAudioCorrection::Discard:
            if (s.verbose > 2) Note(outcome, 1, FormatText("discarding %d audio samples", static_cast<int>(-drift)));
            if (correction.samples >= block->nb_samples) return false;
            corrected = WithoutFirstSamples(block, correction.samples);
            break;
        case TAudioCorrection::Silence:
            corrected = WithSilenceInFront(block, correction.samples);
            if (s.verbose > 2)
                Note(outcome, 1, FormatText("adding %d audio samples of silence", static_cast<int>(drift)));
            break;
    }
    if (correction.clears_start) at_start = 0;
    block = corrected.get();
    return true;
}

// Converts the block (none: what the resampler still holds) into the
// encoder's format and queues it.
void AudioProcessor::Convert(const AVFrame* block, AudioBlockOutcome& outcome) {
    if (converter_.Convert(block)) return;
    if (settings_.exit_on_error) throw FFMpegException("av_audio_convert() failed");
    Note(outcome, 0, "av_audio_convert() failed");
}

// Whole encoder frames from the queue; when flushing also the rest.
void AudioProcessor::CutFrames(bool flushing, AudioBlockOutcome& outcome) {
    int samples = 0;
    while (TFramePtr frame = converter_.NextFrame(flushing, samples)) {
        frame->pts = given_;
        given_ += samples;
        outcome.frames.push_back({std::move(frame), samples});
    }
}
