#include "VideoProcessor.h"

#include "AVUtilHlpr.h"
#include "FFMpegException.h"
#include "SwScaleHlpr.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

constexpr char kNoMemory[] = "Cannot allocate temp picture, check pix fmt";

bool AnyBand(const PadBands& bands) { return bands.top || bands.bottom || bands.left || bands.right; }

TFramePtr NewReference(const AVFrame* frame) {
    TFramePtr reference(ff::av_frame_clone(frame));
    if (!reference) throw FFMpegException("av_malloc fail");
    return reference;
}

}  // namespace

PadBands VideoProcessor::Placement(const AVFrame* frame, int width, int height) const {
    const VideoProcessSettings& s = settings_;
    if (!Shapes()) return s.pads;
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(s.pixel_format);
    const int area_width = s.width - s.pads.left - s.pads.right;
    const int area_height = s.height - s.pads.top - s.pads.bottom;
    AVRational aspect = frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0
                            ? frame->sample_aspect_ratio
                            : s.source_aspect;
    if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{1, 1};
    double shown = static_cast<double>(width) * aspect.num / (static_cast<double>(height) * aspect.den);
    if (s.turn.Swaps()) shown = 1.0 / shown;
    const TPictureFit fit = s.keep_shape && desc ? FitPicture(shown, area_width, area_height,
                                                              1 << desc->log2_chroma_w, 1 << desc->log2_chroma_h)
                                                 : TPictureFit{0, 0, area_width, area_height};
    return PadBands{s.pads.top + fit.top, s.height - s.pads.top - fit.top - fit.height, s.pads.left + fit.left,
                    s.width - s.pads.left - fit.left - fit.width};
}

const char* VideoProcessor::Refusal(const AVFrame* frame) const {
    const VideoProcessSettings& s = settings_;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    // A damaged stream can hand out a picture the scaler cannot read, and
    // libswscale ends the process rather than refuse it.
    if (!ff::av_pix_fmt_desc_get(format) || ff::sws_isSupportedInput(format) <= 0 ||
        ff::sws_isSupportedOutput(s.pixel_format) <= 0)
        return "unsupported picture format";
    const int width = frame->width - s.crop_left - s.crop_right;
    const int height = frame->height - s.crop_top - s.crop_bottom;
    if (width <= 0 || height <= 0 || !OffsetsFit(ff::av_pix_fmt_desc_get(format), s.crop_top, s.crop_left))
        return "error cropping picture";
    const AVPixFmtDescriptor* target = ff::av_pix_fmt_desc_get(s.pixel_format);
    const PadBands bands = Placement(frame, width, height);
    const bool fills = Shapes() || AnyBand(s.pads);
    const bool rescales = width != s.width - s.pads.left - s.pads.right ||
                          height != s.height - s.pads.top - s.pads.bottom || format != s.pixel_format;
    if ((fills || rescales) && !OffsetsFit(target, bands.top, bands.left)) return "error padding picture";
    if (fills && !IsPlanarEightBit(target)) return "error padding picture";
    return nullptr;
}

// The scratch picture at the encoder's size and pixel format, writable.
// When the encoder still holds the previous one, it gets a new buffer rather
// than a copy of the old: every caller overwrites all of it.
AVFrame* VideoProcessor::ReadyScratch() {
    const VideoProcessSettings& s = settings_;
    if (!scratch_) scratch_.reset(ff::av_frame_alloc());
    if (!scratch_) throw FFMpegException(kNoMemory);
    AVFrame* picture = scratch_.get();
    if (picture->buf[0] && ff::av_frame_is_writable(picture)) return picture;
    ff::av_frame_unref(picture);
    picture->format = s.pixel_format;
    picture->width = s.width;
    picture->height = s.height;
    if (ff::av_frame_get_buffer(picture, 0) < 0) throw FFMpegException(kNoMemory);
    return picture;
}

void VideoProcessor::Scale(uint8_t* const planes[4], const int linesizes[4], int width, int height,
                           AVPixelFormat format, uint8_t* const target[4], const int target_linesizes[4],
                           int target_width, int target_height) {
    // A cached context follows pictures whose size or format changes midway
    // through the stream.
    scaler_.reset(ff::sws_getCachedContext(scaler_.release(), width, height, format, target_width, target_height,
                                           settings_.pixel_format, settings_.scaler_flags, nullptr, nullptr,
                                           nullptr));
    if (!scaler_) throw FFMpegException("Cannot get resampling context");
    ff::sws_scale(scaler_.get(), planes, linesizes, 0, height, target, target_linesizes);
}

TFramePtr VideoProcessor::Process(const AVFrame* frame) {
    const VideoProcessSettings& s = settings_;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const int width = frame->width - s.crop_left - s.crop_right;
    const int height = frame->height - s.crop_top - s.crop_bottom;
    uint8_t* planes[4] = {frame->data[0], frame->data[1], frame->data[2], frame->data[3]};
    OffsetPlanes(ff::av_pix_fmt_desc_get(format), planes, frame->linesize, s.crop_top, s.crop_left);
    const PadBands bands = Placement(frame, width, height);
    const int inner_width = s.width - bands.left - bands.right;
    const int inner_height = s.height - bands.top - bands.bottom;
    const bool rescale = width != inner_width || height != inner_height || format != s.pixel_format;

    if (!Shapes() && !rescale && !AnyBand(bands)) {
        TFramePtr view = NewReference(frame);
        for (int plane = 0; plane < 4; ++plane) view->data[plane] = planes[plane];
        view->width = width;
        view->height = height;
        return view;
    }

    AVFrame* scratch = ReadyScratch();
    uint8_t* target[4] = {scratch->data[0], scratch->data[1], scratch->data[2], scratch->data[3]};
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(s.pixel_format);
    OffsetPlanes(desc, target, scratch->linesize, bands.top, bands.left);
    if (!s.turn.Identity()) {
        // Scaled first, then turned, so that the turn works on the smaller
        // picture.
        const bool swaps = s.turn.Swaps();
        const int scaled_width = swaps ? inner_height : inner_width;
        const int scaled_height = swaps ? inner_width : inner_height;
        if (scaled_ && (scaled_->width != scaled_width || scaled_->height != scaled_height)) scaled_.reset();
        if (!scaled_) {
            scaled_.reset(ff::av_frame_alloc());
            if (!scaled_) throw FFMpegException(kNoMemory);
            scaled_->format = s.pixel_format;
            scaled_->width = scaled_width;
            scaled_->height = scaled_height;
            if (ff::av_frame_get_buffer(scaled_.get(), 0) < 0) throw FFMpegException(kNoMemory);
        }
        Scale(planes, frame->linesize, width, height, format, scaled_->data, scaled_->linesize, scaled_width,
              scaled_height);
        TurnPicture(desc, scaled_->data, scaled_->linesize, scaled_width, scaled_height, target, scratch->linesize,
                    s.turn);
    } else if (rescale || Shapes()) {
        Scale(planes, frame->linesize, width, height, format, target, scratch->linesize, inner_width, inner_height);
    } else {
        ff::av_image_copy(target, scratch->linesize, const_cast<const uint8_t**>(planes), frame->linesize, format,
                          width, height);
    }
    if (AnyBand(bands)) FillPadBands(scratch, bands, s.pad_colour);
    return NewReference(scratch);
}
