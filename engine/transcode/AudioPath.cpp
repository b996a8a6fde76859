// Decoded audio to the audio encoder: kept in step with the stream's clock,
// converted and cut into the encoder's frames (AudioProcessor, on its own
// stage when the run has one for the stream), encoded and written.

#include <exception>
#include <utility>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "AudioProcessStage.h"
#include "FFmpeg.h"
#include "PathHelpers.h"
#include "RunTables.h"

void TCustomFFmpeg::EncodeAudio(OutputStreamState& ost, InputStreamState& ist, AVFrame* frame) {
    if (!frame && ost.flushed) return;
    // The clock as it stands now, whenever the block is processed.
    const int64_t clock_us = ost.sync_ist->pts;
    if (ost.audio_stage) {
        AudioBlockJob job;
        job.clock_us = clock_us;
        if (frame) {
            job.block.reset(ff::av_frame_clone(frame));
            if (!job.block) throw FFMpegException("av_malloc fail");
        }
        RequireAccepted(ost.audio_stage->Submit(std::move(job), !frame), *ost.audio_stage);
        AudioBlockJob done;
        while (ost.audio_stage->TakeDue(done)) EncodeAudioFrames(ost, done.outcome);
    } else {
        AudioBlockOutcome outcome;
        ost.audio_processor->Process(frame, clock_us, ist.is_start, outcome);
        EncodeAudioFrames(ost, outcome);
    }
    if (frame) return;
    ost.flushed = true;
    Encode(ost, nullptr);
}

// What processing one block gave, in its order: its log lines, then its
// failure or its frames.
void TCustomFFmpeg::EncodeAudioFrames(OutputStreamState& ost, const AudioBlockOutcome& outcome) {
    for (const auto& [level, line] : outcome.log) Log(level, line);
    if (outcome.failure) std::rethrow_exception(outcome.failure);
    for (const AudioBlockOutcome::EncoderFrame& out : outcome.frames) {
        ost.sync_opts = out.frame->pts + out.samples;
        ost.frame_number++;
        Encode(ost, out.frame.get());
    }
}
