#pragma once
// Cropping and padding a picture by moving plane pointers and filling bands,
// for the pixel formats whose planes can be addressed row by row.

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

// 8-bit planar YUV or grey: the pictures whose planes can be addressed and
// filled row by row with one byte per sample.
bool IsPlanarEightBit(const AVPixFmtDescriptor* desc);

// Moves each plane pointer `top` rows down and `left` pixels right (in the
// plane's own subsampling). False when the format is unknown, has no planes
// that can be addressed this way, or the offsets do not fall on whole chroma
// samples.
bool OffsetPlanes(const AVPixFmtDescriptor* desc, uint8_t* planes[4], const int linesizes[4], int top, int left);
// Whether OffsetPlanes can move a picture of the format by these offsets.
bool OffsetsFit(const AVPixFmtDescriptor* desc, int top, int left);

// The pad colour in Y, Cb, Cr.
struct PadColour {
    int y = 16;
    int u = 128;
    int v = 128;
};

struct PadBands {
    int top = 0;
    int bottom = 0;
    int left = 0;
    int right = 0;
};

// Fills the four bands around the inner picture of `picture` with the colour.
// Only 8-bit planar YUV and grey pictures can be padded; false for others.
bool FillPadBands(AVFrame* picture, const PadBands& bands, const PadColour& colour);
