#pragma once
// How a stream's pictures are to be turned when shown. Phones record sideways
// and store the turn in the stream's display matrix; the converter turns the
// pictures it writes and the poster picture is turned the same way.

#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
}

// Where the source's x and y axes point in the shown picture: each is one of
// (1,0), (-1,0), (0,1), (0,-1), with y pointing down. A quarter turn swaps
// width and height.
struct TPictureTurn {
    int xx = 1, xy = 0;  // the source's x axis
    int yx = 0, yy = 1;  // the source's y axis
    bool Swaps() const { return xx == 0; }
    bool Identity() const { return xx == 1 && yy == 1; }
};

// The turn a display matrix describes (nine 16.16 and 2.30 fixed-point
// numbers, as in ISO/IEC 14496-12), to the nearest quarter turn, mirrored
// when its determinant is negative. A singular matrix leaves the picture as it is.
TPictureTurn PictureTurnOfMatrix(const int32_t matrix[9]);
// The stream's display matrix turn; none when the stream carries no matrix.
TPictureTurn PictureTurnOf(const AVStream* stream);

