// Picture options: rate, size, aspect, quantiser, crop and pad bands, pad
// colour, pixel and sample formats, field order and rate-control overrides.

#include <string>

#include "FFmpeg.h"
#include "LibraryString.h"
#include "RgbToYuv.h"
#include "TextConversion.h"

namespace {

// A crop band comes off the current picture size, so it has to leave at least
// one line or column of it; bands must be even for chroma subsampling.
void Crop(int32_t pixels, int32_t& band, int32_t& dimension, const char* oddMessage,
          const char* rangeMessage) {
    if (pixels < 0) return;
    if (pixels % 2 != 0) throw FFMpegException(oddMessage);
    if (pixels >= dimension) throw FFMpegException(rangeMessage);
    band = pixels;
    dimension -= pixels;
}

void Pad(int32_t pixels, int32_t& band, const char* oddMessage) {
    if (pixels < 0) return;
    if (pixels % 2 != 0) throw FFMpegException(oddMessage);
    band = pixels;
}

constexpr char kVerticalCropRange[] =
    "Vertical crop dimensions are outside the range of the original image.\n"
    "Remember to crop first and scale second.";
constexpr char kHorizontalCropRange[] =
    "Horizontal crop dimensions are outside the range of the original image.\n"
    "Remember to crop first and scale second.";

// Text that is not a number counts as 0, which the aspect check refuses.
double NumberOrZero(const std::string& text) {
    try {
        return TextToFloat(text);
    } catch (const ConversionError&) {
        return 0;
    }
}

int32_t IntegerOrZero(const std::string& text) {
    try {
        return TextToInt32(text);
    } catch (const ConversionError&) {
        return 0;
    }
}

// "16:9" or "1.7777"; 0 when the text does not describe a ratio.
double ParseAspectRatio(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return NumberOrZero(text);
    const int32_t width = IntegerOrZero(text.substr(0, colon));
    const int32_t height = IntegerOrZero(text.substr(colon + 1));
    return height > 0 ? static_cast<double>(width) / height : 0;
}

constexpr int kLowestFrameRate = 1;
constexpr int kHighestFrameRate = 1000;

}  // namespace

void TCustomFFmpeg::SetFrameRate(const std::string& text) {
    if (text.empty()) return;
    AVRational rate{0, 0};
    if (ff::av_parse_video_rate(&rate, text.c_str()) < 0) throw FFMpegException("Incorrect frame rate");
    // Outside this range a short clip becomes hours of repeated pictures, or
    // the encoder's time base stops fitting its fields.
    if (int64_t{rate.num} < int64_t{kLowestFrameRate} * rate.den ||
        int64_t{rate.num} > int64_t{kHighestFrameRate} * rate.den)
        throw FFMpegException("Frame rate " + text + " of option r must lie between " +
                              std::to_string(kLowestFrameRate) + " and " + std::to_string(kHighestFrameRate) +
                              " per second");
    frame_rate = rate;
}

void TCustomFFmpeg::SetFrameSize(const std::string& text) {
    if (text.empty()) return;
    int width = 0;
    int height = 0;
    if (ff::av_parse_video_size(&width, &height, text.c_str()) < 0)
        throw FFMpegException("Incorrect frame size");
    // Larger pictures overflow the byte counts of picture buffers.
    if (ff::av_image_check_size(static_cast<unsigned>(width), static_cast<unsigned>(height), 0, nullptr) < 0)
        throw FFMpegException("Frame size " + text + " of option s is larger than pictures can be");
    frame_width = width;
    frame_height = height;
    if (width % 2 != 0 || height % 2 != 0) throw FFMpegException("Frame size must be a multiple of 2");
}

// A negative ratio is as meaningless as none, so it is refused the same way.
void TCustomFFmpeg::SetAspectRatio(const std::string& text) {
    if (text.empty()) return;
    const double ratio = ParseAspectRatio(text);
    if (!(ratio > 0)) throw FFMpegException("Incorrect aspect ratio specification.");
    frame_aspect_ratio = static_cast<float>(ratio);
}

void TCustomFFmpeg::SetVideoQScale(float qscale) {
    if (!(qscale > 0 && qscale <= 255)) throw FFMpegException("qscale must be > 0.0 and <= 255");
    video_qscale = qscale;
}

void TCustomFFmpeg::SetCropTop(int32_t pixels) {
    Crop(pixels, frame_croptop, frame_height, "Top crop size must be a multiple of 2", kVerticalCropRange);
}

void TCustomFFmpeg::SetCropBottom(int32_t pixels) {
    Crop(pixels, frame_cropbottom, frame_height, "Bottom crop size must be a multiple of 2",
         kVerticalCropRange);
}

void TCustomFFmpeg::SetCropLeft(int32_t pixels) {
    Crop(pixels, frame_cropleft, frame_width, "Left crop size must be a multiple of 2", kHorizontalCropRange);
}

void TCustomFFmpeg::SetCropRight(int32_t pixels) {
    Crop(pixels, frame_cropright, frame_width, "Right crop size must be a multiple of 2",
         kHorizontalCropRange);
}

void TCustomFFmpeg::SetPadTop(int32_t pixels) {
    Pad(pixels, frame_padtop, "Top pad size must be a multiple of 2");
}

void TCustomFFmpeg::SetPadBottom(int32_t pixels) {
    Pad(pixels, frame_padbottom, "Bottom pad size must be a multiple of 2");
}

void TCustomFFmpeg::SetPadLeft(int32_t pixels) {
    Pad(pixels, frame_padleft, "Left pad size must be a multiple of 2");
}

void TCustomFFmpeg::SetPadRight(int32_t pixels) {
    Pad(pixels, frame_padright, "Right pad size must be a multiple of 2");
}

void TCustomFFmpeg::SetPadColor(int32_t rgb) {
    const TYuvColor color = RgbToYuv(rgb);
    padcolor_y = color.y;
    padcolor_u = color.u;
    padcolor_v = color.v;
}

// "list" logs every pixel format the bound library knows instead of choosing.
void TCustomFFmpeg::SetPixelFormat(const std::string& name) {
    if (name.empty()) return;
    if (name != "list") {
        frame_pix_fmt = ff::av_get_pix_fmt(name.c_str());
        return;
    }
    if (!HasLogHandler()) return;
    char line[128];
    Log(TrimText(ff::av_get_pix_fmt_string(line, sizeof line, AV_PIX_FMT_NONE)));
    for (const AVPixFmtDescriptor* descriptor = ff::av_pix_fmt_desc_next(nullptr); descriptor;
         descriptor = ff::av_pix_fmt_desc_next(descriptor))
        Log(TrimText(ff::av_get_pix_fmt_string(line, sizeof line, ff::av_pix_fmt_desc_get_id(descriptor))));
}

void TCustomFFmpeg::SetSampleFormat(const std::string& name) {
    if (name.empty()) return;
    if (name != "list") {
        audio_sample_fmt = ff::av_get_sample_fmt(name.c_str());
        return;
    }
    if (!HasLogHandler()) return;
    char line[128];
    Log(TrimText(ff::av_get_sample_fmt_string(line, sizeof line, AV_SAMPLE_FMT_NONE)));
    for (int format = 0; ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(format)); ++format)
        Log(TrimText(ff::av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(format))));
}

void TCustomFFmpeg::SetTopFieldFirst(int32_t value) { top_field_first = value; }

void TCustomFFmpeg::SetMeThreshold(int32_t value) { me_threshold = value; }

// The override syntax is checked when the video encoder is set up.
void TCustomFFmpeg::SetRcOverride(const std::string& text) {
    if (text.empty()) return;
    rc_override = DuplicateLibraryString(text);
}
