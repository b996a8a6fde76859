#include "PictureGeometry.h"

#include <cstring>

#include "AVUtilHlpr.h"

namespace {

bool IsChroma(const AVPixFmtDescriptor* desc, int component) {
    return !(desc->flags & AV_PIX_FMT_FLAG_RGB) && (component == 1 || component == 2);
}

}  // namespace

bool IsPlanarEightBit(const AVPixFmtDescriptor* desc) {
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                 AV_PIX_FMT_FLAG_HWACCEL)))
        return false;
    if (desc->nb_components > 1 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
    for (int c = 0; c < desc->nb_components; ++c)
        if (desc->comp[c].depth != 8 || desc->comp[c].step != 1) return false;
    return true;
}

namespace {

void FillRows(uint8_t* plane, int linesize, int firstRow, int rows, int firstColumn, int columns, int value) {
    if (rows <= 0 || columns <= 0) return;
    for (int row = firstRow; row < firstRow + rows; ++row)
        std::memset(plane + static_cast<ptrdiff_t>(row) * linesize + firstColumn, value, static_cast<size_t>(columns));
}

}  // namespace

bool OffsetsFit(const AVPixFmtDescriptor* desc, int top, int left) {
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM))) return false;
    return !(top & ((1 << desc->log2_chroma_h) - 1)) && !(left & ((1 << desc->log2_chroma_w) - 1));
}

bool OffsetPlanes(const AVPixFmtDescriptor* desc, uint8_t* planes[4], const int linesizes[4], int top, int left) {
    // A palette picture moves its index plane only; its palette stays.
    if (!OffsetsFit(desc, top, left)) return false;
    bool moved[4] = {false, false, false, false};
    for (int c = 0; c < desc->nb_components; ++c) {
        const int plane = desc->comp[c].plane;
        if (moved[plane] || !planes[plane]) continue;
        const bool chroma = IsChroma(desc, c);
        const int rows = chroma ? top >> desc->log2_chroma_h : top;
        // Packed formats: one step holds every component of one pixel, or of
        // two for 4:2:2, where left is even.
        const int columns = chroma ? left >> desc->log2_chroma_w : left;
        planes[plane] += static_cast<ptrdiff_t>(rows) * linesizes[plane] +
                         static_cast<ptrdiff_t>(columns) * desc->comp[c].step;
        moved[plane] = true;
    }
    return true;
}

bool FillPadBands(AVFrame* picture, const PadBands& bands, const PadColour& colour) {
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
    if (!IsPlanarEightBit(desc)) return false;
    const int values[4] = {colour.y, colour.u, colour.v, 255};
    for (int c = 0; c < desc->nb_components; ++c) {
        const int plane = desc->comp[c].plane;
        const bool chroma = IsChroma(desc, c);
        const int sh = chroma ? desc->log2_chroma_h : 0;
        const int sw = chroma ? desc->log2_chroma_w : 0;
        const int width = -((-picture->width) >> sw);
        const int height = -((-picture->height) >> sh);
        const int top = bands.top >> sh;
        const int bottom = bands.bottom >> sh;
        const int left = bands.left >> sw;
        const int right = bands.right >> sw;
        uint8_t* data = picture->data[plane];
        const int linesize = picture->linesize[plane];
        const int value = values[c];
        FillRows(data, linesize, 0, top, 0, width, value);
        FillRows(data, linesize, height - bottom, bottom, 0, width, value);
        FillRows(data, linesize, top, height - top - bottom, 0, left, value);
        FillRows(data, linesize, top, height - top - bottom, width - right, right, value);
    }
    return true;
}
