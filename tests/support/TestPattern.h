#pragma once
// What the generated clips show and sound like, and how to recognise it again
// in a decoded picture: shared by the writer and the analysis so that both
// sides agree on every level and position.

#include <cstdint>

#include "TestMedia.h"

// The frame number is written as kNumberCells cells across the top
// 1/kNumberStripDivisor of the picture, most significant bit on the left.
inline constexpr int kNumberCells = 8;
inline constexpr int kNumberStripDivisor = 8;

// Whether video frame `frameNumber` of the clip is one of the white frames.
bool IsMarkFrame(const TestClip& clip, int64_t frameNumber);

// Draws frame `frameNumber` into 8-bit 4:2:0 planes of the given size.
void DrawTestPicture(const TestClip& clip, int64_t frameNumber, uint8_t* const planes[3], const int strides[3],
                     int width, int height);

// The audio value (-1 ... 1) of sample `sampleIndex` of the clip, the same in
// every channel.
double TestSampleValue(const TestClip& clip, int64_t sampleIndex);

// Recognising a decoded picture given as 8-bit luma (or grey) of any size,
// whether the luma is limited (16-235) or full range.
bool LooksWhite(const uint8_t* luma, int stride, int width, int height);
// The frame number drawn into the picture, -1 when it cannot be read.
int ReadFrameNumber(const uint8_t* luma, int stride, int width, int height);
