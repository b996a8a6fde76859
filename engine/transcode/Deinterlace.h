#pragma once
// The engine's own deinterlacer: the rows of the second field are rebuilt
// from their neighbours, so that the combing of two fields taken at
// different instants disappears.

extern "C" {
#include <libavutil/frame.h>
}

// Writes the deinterlaced `source` into `target`, which must have the same
// size and pixel format and planes of its own. Only 8-bit planar YUV and grey
// pictures can be deinterlaced; false for others.
bool DeinterlacePicture(AVFrame* target, const AVFrame* source);
