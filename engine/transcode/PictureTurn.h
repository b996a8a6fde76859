#pragma once
// Pictures shown the right way up and the right shape. Phones record sideways
// and store how the picture must be turned in the stream's display matrix;
// anamorphic sources store a pixel aspect. Both are applied to the picture
// itself, since players of converted files may ignore either.

#include <cstdint>

#include "DisplayTurn.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

// Copies the width x height picture in `source`, turned, into `target`, whose
// planes have the turned size. 8-bit planar formats only; a quarter turn also
// needs the same chroma subsampling both ways. False when it cannot.
bool TurnPicture(const AVPixFmtDescriptor* desc, const uint8_t* const source[4], const int sourceLinesizes[4],
                 int width, int height, uint8_t* const target[4], const int targetLinesizes[4],
                 const TPictureTurn& turn);

// A picture's place inside an area.
struct TPictureFit {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
// The largest picture of the display aspect (width over height as shown)
// that fits the area, centred; sizes and offsets on whole chroma samples
// (multiples of `alignX` and `alignY`). The whole area when the aspect is not
// a positive number.
TPictureFit FitPicture(double displayAspect, int areaWidth, int areaHeight, int alignX, int alignY);
