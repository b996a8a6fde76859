#pragma once
// The chapters of an input carried into an output, at the output's times.

#include <cstdint>

struct AVFormatContext;

// Copies the input's chapters (names and times) into an output that has none
// yet, shifted by `offset_us` (what the run adds to the input's times) and
// kept within 0..`end_us` of the output's time: a chapter that ends before
// the output starts or starts at or after its end is left out, and one that
// runs past the end is cut there. An `end_us` below 0 means the end is not
// known. Returns the number of chapters written; raises FFMpegException when
// memory runs out.
int CopyChapters(const AVFormatContext* input, AVFormatContext* output, int64_t offset_us, int64_t end_us);
