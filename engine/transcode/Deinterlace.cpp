#include "Deinterlace.h"

#include <algorithm>
#include <cstring>

#include "AVUtilHlpr.h"
#include "PictureGeometry.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

// The first field's rows are kept; each row of the second field becomes
// (-r[-2] + 4 r[-1] + 2 r[0] + 4 r[+1] - r[+2]) / 8, rows past the edges
// taken from the nearest row of the same field.
void DeinterlacePlane(uint8_t* target, int targetStride, const uint8_t* source, int sourceStride, int width,
                      int height) {
    auto row = [&](int index) {
        if (index < 0) index = index & 1;
        if (index >= height) index = height - 1 - ((height - 1 - index) & 1);
        return source + static_cast<ptrdiff_t>(index) * sourceStride;
    };
    for (int y = 0; y < height; ++y) {
        uint8_t* out = target + static_cast<ptrdiff_t>(y) * targetStride;
        if (y % 2 == 0) {
            std::memcpy(out, row(y), static_cast<size_t>(width));
            continue;
        }
        const uint8_t* above2 = row(y - 2);
        const uint8_t* above = row(y - 1);
        const uint8_t* middle = row(y);
        const uint8_t* below = row(y + 1);
        const uint8_t* below2 = row(y + 2);
        for (int x = 0; x < width; ++x) {
            const int sum = -above2[x] + 4 * above[x] + 2 * middle[x] + 4 * below[x] - below2[x];
            out[x] = static_cast<uint8_t>(std::clamp((sum + 4) >> 3, 0, 255));
        }
    }
}

}  // namespace

bool DeinterlacePicture(AVFrame* target, const AVFrame* source) {
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(source->format));
    if (!IsPlanarEightBit(desc) || target->format != source->format || target->width != source->width ||
        target->height != source->height)
        return false;
    for (int c = 0; c < desc->nb_components; ++c) {
        const int plane = desc->comp[c].plane;
        const bool chroma = c == 1 || c == 2;
        const int width = chroma ? -((-source->width) >> desc->log2_chroma_w) : source->width;
        const int height = chroma ? -((-source->height) >> desc->log2_chroma_h) : source->height;
        DeinterlacePlane(target->data[plane], target->linesize[plane], source->data[plane], source->linesize[plane],
                         width, height);
    }
    return true;
}
