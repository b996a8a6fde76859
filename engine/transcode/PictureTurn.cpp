#include "PictureTurn.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "PictureGeometry.h"

namespace {

// One plane of the picture: each sample goes to the place the turn gives it.
void TurnPlane(const uint8_t* source, int sourceLinesize, int width, int height, uint8_t* target,
               int targetLinesize, const TPictureTurn& turn) {
    const int targetWidth = turn.Swaps() ? height : width;
    const int targetHeight = turn.Swaps() ? width : height;
    // An axis that points backwards counts from the far edge.
    const int originX = turn.xx + turn.yx < 0 ? targetWidth - 1 : 0;
    const int originY = turn.xy + turn.yy < 0 ? targetHeight - 1 : 0;
    for (int q = 0; q < height; ++q) {
        const uint8_t* row = source + static_cast<ptrdiff_t>(q) * sourceLinesize;
        for (int p = 0; p < width; ++p) {
            const int x = originX + turn.xx * p + turn.yx * q;
            const int y = originY + turn.xy * p + turn.yy * q;
            target[static_cast<ptrdiff_t>(y) * targetLinesize + x] = row[p];
        }
    }
}

// Keeps a length on whole chroma samples, rounding to the nearest.
int Aligned(double length, int align) {
    const int samples = static_cast<int>(std::lround(length / align));
    return std::max(samples, 1) * align;
}

}  // namespace

bool TurnPicture(const AVPixFmtDescriptor* desc, const uint8_t* const source[4], const int sourceLinesizes[4],
                 int width, int height, uint8_t* const target[4], const int targetLinesizes[4],
                 const TPictureTurn& turn) {
    if (!IsPlanarEightBit(desc)) return false;
    if (turn.Swaps() && desc->log2_chroma_w != desc->log2_chroma_h) return false;
    for (int c = 0; c < desc->nb_components; ++c) {
        const bool chroma = c == 1 || c == 2;
        const int shiftX = chroma ? desc->log2_chroma_w : 0;
        const int shiftY = chroma ? desc->log2_chroma_h : 0;
        const int plane = desc->comp[c].plane;
        TurnPlane(source[plane], sourceLinesizes[plane], -((-width) >> shiftX), -((-height) >> shiftY),
                  target[plane], targetLinesizes[plane], turn);
    }
    return true;
}

TPictureFit FitPicture(double displayAspect, int areaWidth, int areaHeight, int alignX, int alignY) {
    TPictureFit fit{0, 0, areaWidth, areaHeight};
    if (!(displayAspect > 0) || areaWidth <= 0 || areaHeight <= 0) return fit;
    if (displayAspect * areaHeight > areaWidth)
        fit.height = std::min(areaHeight, Aligned(areaWidth / displayAspect, alignY));
    else
        fit.width = std::min(areaWidth, Aligned(areaHeight * displayAspect, alignX));
    // Centred, with the offsets on whole chroma samples too.
    fit.left = (areaWidth - fit.width) / 2 / alignX * alignX;
    fit.top = (areaHeight - fit.height) / 2 / alignY * alignY;
    return fit;
}
