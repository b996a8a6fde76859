#include "PictureTurn.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "PictureGeometry.h"

namespace {

int Sign(double value) { return value > 0 ? 1 : value < 0 ? -1 : 0; }

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

TPictureTurn PictureTurnOfMatrix(const int32_t matrix[9]) {
    const double a = matrix[0], b = matrix[1], c = matrix[3], d = matrix[4];
    TPictureTurn turn;
    if (a * d - b * c == 0) return turn;
    // The image of the source's x axis is (a, b), of its y axis (c, d):
    // the nearest axis direction of each.
    if (std::fabs(a) >= std::fabs(b)) {
        turn.xx = Sign(a), turn.xy = 0;
        turn.yx = 0, turn.yy = Sign(d) != 0 ? Sign(d) : 1;
    } else {
        turn.xx = 0, turn.xy = Sign(b);
        turn.yx = Sign(c) != 0 ? Sign(c) : -turn.xy, turn.yy = 0;
    }
    return turn;
}

TPictureTurn PictureTurnOf(const AVStream* stream) {
    for (int i = 0; i < stream->nb_side_data; ++i) {
        const AVPacketSideData& data = stream->side_data[i];
        if (data.type != AV_PKT_DATA_DISPLAYMATRIX || data.size < 9 * sizeof(int32_t)) continue;
        int32_t matrix[9];
        std::memcpy(matrix, data.data, sizeof matrix);
        return PictureTurnOfMatrix(matrix);
    }
    return TPictureTurn{};
}

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
