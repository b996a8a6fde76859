#pragma once
// A decoded picture made into the encoder's picture: the crop bands cut off,
// scaled, turned the way it is shown, fitted at its own shape or stretched,
// and padded. It owns its scaler and its working pictures, and knows only
// the plain values it was built with, so that it can work on a thread of
// its own (VideoProcessStage) as well as on the run's.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "LibraryHandles.h"
#include "PictureGeometry.h"
#include "PictureTurn.h"
#include "SubtitleBurner.h"
#include "ToneMapper.h"

struct VideoProcessSettings {
    // Crop bands; all zero for none.
    int crop_top = 0;
    int crop_bottom = 0;
    int crop_left = 0;
    int crop_right = 0;
    PadBands pads;
    PadColour pad_colour;
    // The source turned the right way up, and fitted inside the picture at
    // its own shape with square pixels.
    TPictureTurn turn;
    bool keep_shape = false;
    AVRational source_aspect{1, 1};  // pixel aspect when a picture has none
    int scaler_flags = 0;
    // The matrix the device decodes with, at limited range: pictures of
    // another matrix or of full range are converted. Unspecified leaves
    // them as decoded.
    AVColorSpace colour_matrix = AVCOL_SPC_UNSPECIFIED;
    // High-dynamic-range pictures are tone mapped to BT.709 standard range
    // first.
    bool tone_map = false;
    // Subtitles drawn into the picture; none when its stream is -1.
    SubtitleBurnSettings subtitles;
    // The encoder's picture.
    int width = 0;
    int height = 0;
    AVPixelFormat pixel_format = AV_PIX_FMT_NONE;
};

class VideoProcessor {
public:
    explicit VideoProcessor(const VideoProcessSettings& settings) : settings_(settings) {}
    VideoProcessor(const VideoProcessor&) = delete;
    VideoProcessor& operator=(const VideoProcessor&) = delete;

    // Why the picture cannot be made into the encoder's, or nullptr. Decided
    // by its size and format alone, so the run can ask before the work is
    // done elsewhere.
    const char* Refusal(const AVFrame* frame) const;
    // A new reference to the encoder's picture, for a picture Refusal
    // accepts, shown at `time_us`. What the run's log should say is added to
    // `messages`. Raises FFMpegException when memory runs out.
    TFramePtr Process(const AVFrame* frame, int64_t time_us, std::vector<std::string>& messages);

private:
    // Where the picture goes inside the encoder's: the bands around it.
    PadBands Placement(const AVFrame* frame, int width, int height) const;
    bool Shapes() const { return !settings_.turn.Identity() || settings_.keep_shape; }
    AVFrame* ReadyScratch();
    // Whether the picture's colours must change to reach the device's matrix and range.
    bool ConvertsColours(const AVFrame* frame) const;
    void Scale(const AVFrame* frame, uint8_t* const planes[4], int width, int height, uint8_t* const target[4],
               const int target_linesizes[4], int target_width, int target_height);

    const VideoProcessSettings settings_;
    TScalerContextPtr scaler_;
    TFramePtr scratch_;  // the encoder's picture being made
    TFramePtr scaled_;   // the scaled picture before it is turned
    std::unique_ptr<ToneMapper> tone_mapper_;
    std::unique_ptr<SubtitleBurner> burner_;
};
