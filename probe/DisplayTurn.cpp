#include "DisplayTurn.h"

#include <cmath>
#include <cstring>

namespace {

int Sign(double value) { return value > 0 ? 1 : value < 0 ? -1 : 0; }

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
