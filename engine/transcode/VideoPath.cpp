// Decoded pictures to the video encoder: deinterlaced and hooked
// (PicturePreparer), kept at the output's frame rate by leaving pictures out
// or repeating them, made into the encoder's picture (VideoProcessor, both
// on the output's own stage when the run has stages), encoded and written.

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "PathHelpers.h"
#include "RunTables.h"
#include "VideoProcessStage.h"

namespace {

// Differences between input and output clocks smaller than this many frames
// are left alone: they come from rounding, not from lost or extra pictures.
constexpr double kFrameTolerance = 1.1;

}  // namespace

void TCustomFFmpeg::EncodeVideoFrame(OutputStreamState& ost, InputStreamState& ist, AVFrame* frame) {
    if (!frame) {
        if (ost.flushed) return;
        ost.flushed = true;
        if (ost.process_stage) ProcessOnStage(ost, VideoPictureJob{}, true);
        Encode(ost, nullptr);
        return;
    }
    const bool prepares = ist.preparing_output == &ost;
    const double sync_time = static_cast<double>(ost.sync_ist->pts - start_time - ost.sync_shift) / 1000000;
    int copies = VideoFrameCopies(ost, sync_time);
    copies = std::min(copies, max_frames[0] - ost.frame_number);
    if (copies <= 0) {
        if (prepares) PrepareOnStage(ost, ist, frame);
        return;
    }
    if (const char* refusal = ost.video_processor->Refusal(frame)) {
        if (prepares) PrepareOnStage(ost, ist, frame);
        ReportPictureError(refusal);
        return;
    }
    // The picture's place in the output is decided now, on the run's
    // thread, whenever it is processed and coded.
    VideoPictureJob job;
    job.copies = copies;
    job.first_pts = ost.sync_opts;
    job.interlaced = frame->interlaced_frame;
    job.top_field_first = frame->top_field_first;
    job.picture_type = frame->pict_type;
    job.quality = ist.quality;
    job.prepare = prepares;
    job.time_us = ist.pts;
    ost.sync_opts += copies;
    ost.frame_number += copies;
    if (ost.process_stage) {
        job.picture.reset(ff::av_frame_clone(frame));
        if (!job.picture) throw FFMpegException("av_malloc fail");
        ProcessOnStage(ost, std::move(job), false);
        return;
    }
    job.picture = ost.video_processor->Process(frame, job.time_us, job.messages);
    for (const std::string& message : job.messages) Log(0, message);
    SendVideoPictures(ost, job);
}

// Hands the picture (none: the end) to the stream's processing thread and
// sends the pictures now due to the encoder, in their order.
void TCustomFFmpeg::ProcessOnStage(OutputStreamState& ost, VideoPictureJob job, bool last) {
    RequireAccepted(ost.process_stage->Submit(std::move(job), last), *ost.process_stage);
    VideoPictureJob done;
    while (ost.process_stage->TakeDue(done)) {
        for (const std::string& message : done.messages) Log(0, message);
        if (!done.failure.empty()) throw FFMpegException(done.failure);
        if (done.picture) SendVideoPictures(ost, done);
    }
}

// A picture that goes to no output still goes through deinterlacing and the
// hooks, in its turn, on the stage that prepares its stream's pictures.
void TCustomFFmpeg::PrepareOnStage(OutputStreamState& ost, const InputStreamState& ist, const AVFrame* frame) {
    VideoPictureJob job;
    job.prepare = true;
    job.time_us = ist.pts;
    job.picture.reset(ff::av_frame_clone(frame));
    if (!job.picture) throw FFMpegException("av_malloc fail");
    ProcessOnStage(ost, std::move(job), false);
}

// Deinterlacing and the hooks on the run's thread, for a stream whose
// pictures no stage prepares.
void TCustomFFmpeg::PreprocessVideoFrame(InputStreamState& ist, AVFrame* frame) {
    std::vector<std::string> messages;
    run.picture_preparer->Prepare(frame, ist.pts, messages);
    for (const std::string& message : messages) Log(0, message);
}

// A gap is filled with the picture shown before it, so that this one
// appears at its own time rather than early; at the start there is none and
// this picture fills the gap itself.
void TCustomFFmpeg::SendVideoPictures(OutputStreamState& ost, const VideoPictureJob& job) {
    AVFrame* picture = job.picture.get();
    for (int i = 0; i + 1 < job.copies && !stop_requested.load(std::memory_order_relaxed); ++i)
        SendVideoPicture(ost, job, ost.last_picture ? ost.last_picture : picture, job.first_pts + i);
    SendVideoPicture(ost, job, picture, job.first_pts + job.copies - 1);
    if (!ost.last_picture) ost.last_picture = ff::av_frame_alloc();
    if (!ost.last_picture) throw FFMpegException("av_malloc fail");
    ff::av_frame_unref(ost.last_picture);
    if (ff::av_frame_ref(ost.last_picture, picture) < 0) throw FFMpegException("av_malloc fail");
}

// How many pictures go out for this one: 0 when the output is ahead of its
// sync source by more than a frame; when it lags behind, as many repeats as
// it takes for this picture to come at its own time, plus the picture.
int TCustomFFmpeg::VideoFrameCopies(OutputStreamState& ost, double sync_time) {
    const double tb = av_q2d(ost.encoder->time_base);
    double delta = sync_time / tb - static_cast<double>(ost.sync_opts);
    if (AbsorbClockJump(ost.sync_shift, delta * tb, dts_delta_threshold)) {
        if (verbose > 2)
            Log(FormatText("output stream #%d.%d: clock jump of %0.3f s, continuing without a gap", ost.file_index,
                           ost.index, delta * tb));
        sync_time -= delta * tb;
        delta = 0;
    }
    // The encoder needs rising timestamps: a picture never goes out before
    // the one already sent.
    const int64_t earliest = ost.sync_opts;
    if (video_sync_method == 0 || (video_sync_method < 0 && tb <= 0.001)) {
        ost.sync_opts = std::max<int64_t>(earliest, std::llrint(sync_time / tb));
        return 1;
    }
    int copies = 1;
    if (delta < -kFrameTolerance)
        copies = 0;
    else if (video_sync_method == 2)
        ost.sync_opts = std::max<int64_t>(earliest, std::llrint(sync_time / tb));
    else if (delta > kFrameTolerance)
        copies = static_cast<int>(std::lrint(delta)) + 1;
    if (copies == 0) {
        ++frames_dropped;
        if (verbose > 2) Log("*** drop!");
    } else if (copies > 1) {
        frames_duplicated += copies - 1;
        if (verbose > 2) Log(FormatText("*** %d dup!", copies - 1));
    }
    return copies;
}

// Logs a picture that cannot be cropped or padded, or ends the task with
// "xerror".
void TCustomFFmpeg::ReportPictureError(const char* message) {
    if (exit_on_error) throw FFMpegException(message);
    Log(0, message);
}

// One picture to the encoder at its place in the output; whatever the
// encoder gives back is written.
void TCustomFFmpeg::SendVideoPicture(OutputStreamState& ost, const VideoPictureJob& job, AVFrame* picture,
                                     int64_t pts) {
    AVCodecContext* enc = ost.encoder;
    AVFrame* out = RunFrame(run.encoder_frame);
    ff::av_frame_unref(out);
    if (ff::av_frame_ref(out, picture) < 0) throw FFMpegException("av_malloc fail");
    out->interlaced_frame = job.interlaced;
    if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
        out->top_field_first = top_field_first != -1 ? top_field_first : job.top_field_first;
    out->quality = static_cast<int>(std::lrint(same_quality ? job.quality : static_cast<float>(enc->global_quality)));
    // The decoder's picture types would otherwise force the encoder's.
    out->pict_type = me_threshold == 0 ? AV_PICTURE_TYPE_NONE : job.picture_type;
    out->pts = pts;
    Encode(ost, out);
    ff::av_frame_unref(out);
}
