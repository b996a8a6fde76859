#pragma once
// High-dynamic-range pictures (PQ or HLG transfer, BT.2020 primaries) made
// into standard-range BT.709 ones that a device without HDR shows as meant,
// through the libraries' zimg-based scaler and their tone-mapping filter.
// The graph is built for the first picture and again whenever a picture's
// size, format or colour description changes.

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

#include "LibraryHandles.h"

// Whether a picture's colour description is a high-dynamic-range one.
bool IsHighDynamicRange(AVColorTransferCharacteristic transfer, AVColorPrimaries primaries);

class ToneMapper {
public:
    ToneMapper() = default;
    ToneMapper(const ToneMapper&) = delete;
    ToneMapper& operator=(const ToneMapper&) = delete;

    // The picture, its bands cut off, in BT.709 standard range (8-bit 4:2:0,
    // limited range), at least `min_width` x `min_height` where the source
    // is that large (the rest of the scaling is left to the caller), with
    // the source's properties and timing. Raises FFMpegException when the
    // libraries cannot do it.
    TFramePtr Map(const AVFrame* frame, const int crop[4], int min_width, int min_height);

private:
    struct Key {
        int width = 0, height = 0, format = -1, out_width = 0, out_height = 0;
        int crop_top = 0, crop_bottom = 0, crop_left = 0, crop_right = 0;
        int transfer = 0, primaries = 0, matrix = 0, range = 0;
        bool operator==(const Key&) const = default;
    };
    void Build(const Key& key);

    Key key_;
    TFilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
};
