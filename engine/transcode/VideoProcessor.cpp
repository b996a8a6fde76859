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

// The matrix a picture was made with; one that does not say is taken to be
// BT.709 when it is larger than standard definition, as HD video is made.
AVColorSpace SourceMatrix(const AVFrame* frame) {
    if (frame->colorspace != AVCOL_SPC_UNSPECIFIED && frame->colorspace != AVCOL_SPC_RESERVED &&
        frame->colorspace < AVCOL_SPC_NB)
        return frame->colorspace;
    return frame->width > 1024 || frame->height > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
}

// BT.470 B/G and SMPTE 170M are the one BT.601 matrix.
int ScalerMatrix(AVColorSpace matrix) { return matrix == AVCOL_SPC_BT470BG ? AVCOL_SPC_SMPTE170M : matrix; }

bool FullRange(const AVFrame* frame) {
    const auto format = static_cast<AVPixelFormat>(frame->format);
    return frame->color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
           format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P;
}

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

bool VideoProcessor::ConvertsColours(const AVFrame* frame) const {
    const AVColorSpace target = settings_.colour_matrix;
    if (target == AVCOL_SPC_UNSPECIFIED) return false;
    return ScalerMatrix(SourceMatrix(frame)) != ScalerMatrix(target) || FullRange(frame);
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

void VideoProcessor::Scale(const AVFrame* frame, uint8_t* const planes[4], int width, int height,
                           uint8_t* const target[4], const int target_linesizes[4], int target_width,
                           int target_height) {
    // A cached context follows pictures whose size or format changes midway
    // through the stream.
    const auto format = static_cast<AVPixelFormat>(frame->format);
    scaler_.reset(ff::sws_getCachedContext(scaler_.release(), width, height, format, target_width, target_height,
                                           settings_.pixel_format, settings_.scaler_flags, nullptr, nullptr,
                                           nullptr));
    if (!scaler_) throw FFMpegException("Cannot get resampling context");
    if (settings_.colour_matrix != AVCOL_SPC_UNSPECIFIED) {
        // Left alone, the scaler copies the values of one matrix into the
        // other and a BT.709 red plays back as an orange-red.
        const int* source = ff::sws_getCoefficients(ScalerMatrix(SourceMatrix(frame)));
        const int* device = ff::sws_getCoefficients(ScalerMatrix(settings_.colour_matrix));
        ff::sws_setColorspaceDetails(scaler_.get(), source, FullRange(frame) ? 1 : 0, device, 0, 0, 1 << 16,
                                     1 << 16);
    }
    ff::sws_scale(scaler_.get(), planes, frame->linesize, 0, height, target, target_linesizes);
}

TFramePtr VideoProcessor::Process(const AVFrame* decoded, int64_t time_us, std::vector<std::string>& messages) {
    const VideoProcessSettings& s = settings_;
    const bool burns = s.subtitles.stream >= 0;
    int crop[4] = {s.crop_top, s.crop_bottom, s.crop_left, s.crop_right};
    // A tone-mapped picture comes with its bands cut off, made smaller on
    // the way where the source is much larger than the encoder's.
    TFramePtr mapped;
    if (s.tone_map && IsHighDynamicRange(decoded->color_trc, decoded->color_primaries)) {
        if (!tone_mapper_) tone_mapper_ = std::make_unique<ToneMapper>();
        const int area_width = s.width - s.pads.left - s.pads.right;
        const int area_height = s.height - s.pads.top - s.pads.bottom;
        mapped = s.turn.Swaps() ? tone_mapper_->Map(decoded, crop, area_height, area_width)
                                : tone_mapper_->Map(decoded, crop, area_width, area_height);
        crop[0] = crop[1] = crop[2] = crop[3] = 0;
    }
    const AVFrame* frame = mapped ? mapped.get() : decoded;
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const int width = frame->width - crop[2] - crop[3];
    const int height = frame->height - crop[0] - crop[1];
    uint8_t* planes[4] = {frame->data[0], frame->data[1], frame->data[2], frame->data[3]};
    OffsetPlanes(ff::av_pix_fmt_desc_get(format), planes, frame->linesize, crop[0], crop[2]);
    const PadBands bands = Placement(frame, width, height);
    const int inner_width = s.width - bands.left - bands.right;
    const int inner_height = s.height - bands.top - bands.bottom;
    const bool rescale = width != inner_width || height != inner_height || format != s.pixel_format ||
                         ConvertsColours(frame);

    // Subtitles are drawn on a copy, never on the decoder's picture.
    if (!Shapes() && !rescale && !AnyBand(bands) && !burns) {
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
        Scale(frame, planes, width, height, scaled_->data, scaled_->linesize, scaled_width, scaled_height);
        TurnPicture(desc, scaled_->data, scaled_->linesize, scaled_width, scaled_height, target, scratch->linesize,
                    s.turn);
    } else if (rescale || Shapes()) {
        Scale(frame, planes, width, height, target, scratch->linesize, inner_width, inner_height);
    } else {
        ff::av_image_copy(target, scratch->linesize, const_cast<const uint8_t**>(planes), frame->linesize, format,
                          width, height);
    }
    if (burns) {
        if (!burner_) burner_ = std::make_unique<SubtitleBurner>(s.subtitles);
        const CueArea area{bands.left,        bands.top,      inner_width,   inner_height,
                           decoded->width,    decoded->height, s.crop_top,   s.crop_bottom,
                           s.crop_left,       s.crop_right};
        burner_->Burn(scratch, area, time_us, messages);
    }
    if (AnyBand(bands)) FillPadBands(scratch, bands, s.pad_colour);
    return NewReference(scratch);
}
