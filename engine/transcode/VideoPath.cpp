// Decoded pictures to the video encoder: kept at the output's frame rate by
// leaving pictures out or repeating them, cropped, scaled and padded to the
// encoder's picture, encoded and written.

#include <algorithm>
#include <cmath>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "PathHelpers.h"
#include "PictureGeometry.h"
#include "PictureTurn.h"
#include "SwScaleHlpr.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

// Differences between input and output clocks smaller than this many frames
// are left alone: they come from rounding, not from lost or extra pictures.
constexpr double kFrameTolerance = 1.1;

// The scratch picture at the encoder's size and pixel format, writable. When
// the encoder or the repeated picture still holds the previous one, it gets
// a new buffer rather than a copy of the old: every caller overwrites all of
// it.
bool ReadyScratchPicture(OutputStreamState& ost) {
    const AVCodecContext* enc = ost.encoder;
    AVFrame*& picture = ost.pict_tmp;
    if (picture && (picture->width != enc->width || picture->height != enc->height || picture->format != enc->pix_fmt))
        ff::av_frame_free(&picture);
    if (!picture) {
        picture = ff::av_frame_alloc();
        if (!picture) return false;
    } else if (ff::av_frame_is_writable(picture)) {
        return true;
    }
    ff::av_frame_unref(picture);
    picture->format = enc->pix_fmt;
    picture->width = enc->width;
    picture->height = enc->height;
    return ff::av_frame_get_buffer(picture, 0) >= 0;
}

}  // namespace

void TCustomFFmpeg::EncodeVideoFrame(OutputStreamState& ost, InputStreamState& ist, AVFrame* frame) {
    if (!frame) {
        if (ost.flushed) return;
        ost.flushed = true;
        Encode(ost, nullptr);
        return;
    }
    const double sync_time = static_cast<double>(ost.sync_ist->pts - start_time - ost.sync_shift) / 1000000;
    int copies = VideoFrameCopies(ost, sync_time);
    copies = std::min(copies, max_frames[0] - ost.frame_number);
    if (copies <= 0) return;
    AVFrame* picture = PrepareVideoPicture(ost, frame);
    if (!picture) return;
    // A gap is filled with the picture shown before it, so that this one
    // appears at its own time rather than early; at the start there is none
    // and this picture fills the gap itself.
    for (int i = 1; i < copies && !stop_requested.load(std::memory_order_relaxed); ++i)
        SendVideoPicture(ost, ist, ost.last_picture ? ost.last_picture : picture, frame);
    if (!stop_requested.load(std::memory_order_relaxed)) SendVideoPicture(ost, ist, picture, frame);
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
    if (AbsorbClockJump(ost, delta * tb, dts_delta_threshold)) {
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
// "xerror". Returns false, for the caller to skip the picture.
bool TCustomFFmpeg::ReportPictureError(const char* message) {
    if (exit_on_error) throw FFMpegException(message);
    Log(0, message);
    return false;
}

// The picture the encoder gets: the decoded one when it already fits, a view
// of it with the crop bands cut off, or the scratch picture holding it
// scaled and padded. Nullptr when the picture is skipped.
AVFrame* TCustomFFmpeg::PrepareVideoPicture(OutputStreamState& ost, AVFrame* frame) {
    const AVCodecContext* enc = ost.encoder;
    // Set-up refuses crop bands together with filters.
    const bool crop = ost.video_crop;
    const int top = crop ? ost.topBand : 0;
    const int left = crop ? ost.leftBand : 0;
    const int width = frame->width - (crop ? frame_cropleft + frame_cropright : 0);
    const int height = frame->height - (crop ? frame_croptop + frame_cropbottom : 0);
    const PadBands pads{ost.padtop, ost.padbottom, ost.padleft, ost.padright};
    const int inner_width = enc->width - pads.left - pads.right;
    const int inner_height = enc->height - pads.top - pads.bottom;
    const auto format = static_cast<AVPixelFormat>(frame->format);

    // A damaged stream can hand out a picture the scaler cannot read, and
    // libswscale ends the process rather than refuse it.
    if (!ff::av_pix_fmt_desc_get(format) || ff::sws_isSupportedInput(format) <= 0 ||
        ff::sws_isSupportedOutput(enc->pix_fmt) <= 0) {
        ReportPictureError("unsupported picture format");
        return nullptr;
    }
    uint8_t* planes[4] = {frame->data[0], frame->data[1], frame->data[2], frame->data[3]};
    if (width <= 0 || height <= 0 || !OffsetPlanes(ff::av_pix_fmt_desc_get(format), planes, frame->linesize, top, left)) {
        ReportPictureError("error cropping picture");
        return nullptr;
    }
    if (!ost.turn.Identity() || ost.keep_shape) return PrepareShapedPicture(ost, frame, planes, width, height);
    const bool rescale = width != inner_width || height != inner_height || format != enc->pix_fmt;
    if (!rescale && !ost.video_pad) {
        if (!crop) return frame;
        AVFrame* view = RunFrame(run.cropped_frame);
        ff::av_frame_unref(view);
        if (ff::av_frame_ref(view, frame) < 0) throw FFMpegException("av_malloc fail");
        for (int plane = 0; plane < 4; ++plane) view->data[plane] = planes[plane];
        view->width = width;
        view->height = height;
        return view;
    }

    if (!ReadyScratchPicture(ost)) throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    AVFrame* scratch = ost.pict_tmp;
    uint8_t* target[4] = {scratch->data[0], scratch->data[1], scratch->data[2], scratch->data[3]};
    if (!OffsetPlanes(ff::av_pix_fmt_desc_get(enc->pix_fmt), target, scratch->linesize, pads.top, pads.left)) {
        ReportPictureError("error padding picture");
        return nullptr;
    }
    if (rescale) {
        // A cached context follows pictures whose size or format changes
        // midway through the stream.
        ost.img_resample_ctx = ff::sws_getCachedContext(ost.img_resample_ctx, width, height, format, inner_width,
                                                        inner_height, enc->pix_fmt, sws_flags, nullptr, nullptr,
                                                        nullptr);
        if (!ost.img_resample_ctx) throw FFMpegException("Cannot get resampling context");
        ff::sws_scale(ost.img_resample_ctx, planes, frame->linesize, 0, height, target, scratch->linesize);
    } else {
        ff::av_image_copy(target, scratch->linesize, const_cast<const uint8_t**>(planes), frame->linesize, format,
                          width, height);
    }
    if (ost.video_pad && !FillPadBands(scratch, pads, PadColour{padcolor_y, padcolor_u, padcolor_v})) {
        ReportPictureError("error padding picture");
        return nullptr;
    }
    return scratch;
}

// The picture turned the way it is shown and, when its shape is kept,
// fitted inside the area within the pads at its own shape with the rest
// filled with the pad colour (black unless chosen): scaled first, then
// turned, so that the turn works on the smaller picture.
AVFrame* TCustomFFmpeg::PrepareShapedPicture(OutputStreamState& ost, const AVFrame* frame, uint8_t* const planes[4],
                                             int width, int height) {
    const AVCodecContext* enc = ost.encoder;
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(enc->pix_fmt);
    const int area_width = enc->width - ost.padleft - ost.padright;
    const int area_height = enc->height - ost.padtop - ost.padbottom;
    AVRational aspect = frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0
                            ? frame->sample_aspect_ratio
                            : ost.source_aspect;
    if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{1, 1};
    double shown = static_cast<double>(width) * aspect.num / (static_cast<double>(height) * aspect.den);
    if (ost.turn.Swaps()) shown = 1.0 / shown;
    const TPictureFit fit = ost.keep_shape ? FitPicture(shown, area_width, area_height, 1 << desc->log2_chroma_w,
                                                        1 << desc->log2_chroma_h)
                                           : TPictureFit{0, 0, area_width, area_height};
    const PadBands bands{ost.padtop + fit.top, enc->height - ost.padtop - fit.top - fit.height,
                         ost.padleft + fit.left, enc->width - ost.padleft - fit.left - fit.width};

    if (!ReadyScratchPicture(ost)) throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    AVFrame* scratch = ost.pict_tmp;
    uint8_t* target[4] = {scratch->data[0], scratch->data[1], scratch->data[2], scratch->data[3]};
    if (!OffsetPlanes(desc, target, scratch->linesize, bands.top, bands.left)) {
        ReportPictureError("error padding picture");
        return nullptr;
    }
    const bool swaps = ost.turn.Swaps();
    const int scaled_width = swaps ? fit.height : fit.width;
    const int scaled_height = swaps ? fit.width : fit.height;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    ost.img_resample_ctx = ff::sws_getCachedContext(ost.img_resample_ctx, width, height, format, scaled_width,
                                                    scaled_height, enc->pix_fmt, sws_flags, nullptr, nullptr, nullptr);
    if (!ost.img_resample_ctx) throw FFMpegException("Cannot get resampling context");
    if (ost.turn.Identity()) {
        ff::sws_scale(ost.img_resample_ctx, planes, frame->linesize, 0, height, target, scratch->linesize);
    } else {
        AVFrame*& scaled = ost.turn_tmp;
        if (scaled && (scaled->width != scaled_width || scaled->height != scaled_height)) ff::av_frame_free(&scaled);
        if (!scaled) {
            scaled = ff::av_frame_alloc();
            if (!scaled) throw FFMpegException("Cannot allocate temp picture, check pix fmt");
            scaled->format = enc->pix_fmt;
            scaled->width = scaled_width;
            scaled->height = scaled_height;
            if (ff::av_frame_get_buffer(scaled, 0) < 0) throw FFMpegException("Cannot allocate temp picture, check pix fmt");
        }
        ff::sws_scale(ost.img_resample_ctx, planes, frame->linesize, 0, height, scaled->data, scaled->linesize);
        TurnPicture(desc, scaled->data, scaled->linesize, scaled_width, scaled_height, target, scratch->linesize,
                    ost.turn);
    }
    if (!FillPadBands(scratch, bands, PadColour{padcolor_y, padcolor_u, padcolor_v})) {
        ReportPictureError("error padding picture");
        return nullptr;
    }
    return scratch;
}

// One picture to the encoder at the output's current position; whatever
// the encoder gives back is written.
void TCustomFFmpeg::SendVideoPicture(OutputStreamState& ost, const InputStreamState& ist, AVFrame* picture,
                                     const AVFrame* decoded) {
    AVCodecContext* enc = ost.encoder;
    AVFrame* out = RunFrame(run.encoder_frame);
    ff::av_frame_unref(out);
    if (ff::av_frame_ref(out, picture) < 0) throw FFMpegException("av_malloc fail");
    out->interlaced_frame = decoded->interlaced_frame;
    if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
        out->top_field_first = top_field_first != -1 ? top_field_first : decoded->top_field_first;
    out->quality = static_cast<int>(std::lrint(same_quality ? ist.quality : static_cast<float>(enc->global_quality)));
    // The decoder's picture types would otherwise force the encoder's.
    out->pict_type = me_threshold == 0 ? AV_PICTURE_TYPE_NONE : decoded->pict_type;
    out->pts = ost.sync_opts;
    Encode(ost, out);
    ff::av_frame_unref(out);
    ost.sync_opts++;
    ost.frame_number++;
}
