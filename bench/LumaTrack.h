#pragma once
// The decoded luma of a file's video, for comparing a conversion with its
// source: PSNR and SSIM over every picture.

#include <cstdint>
#include <string>
#include <vector>

struct LumaTrack {
    std::vector<std::vector<uint8_t>> lumas;  // width x height each, in decoding order
    int width = 0;
    int height = 0;
};

// Decodes the first video stream; with a size given, each picture is scaled
// to it the way the engine scales (bicubic), as a conversion's source is.
// Throws std::runtime_error naming the file when it cannot be read.
LumaTrack DecodeLuma(const std::string& path, int width = 0, int height = 0);
// PSNR of the luma over every picture, from the mean squared error of all.
double LumaPsnr(const LumaTrack& source, const LumaTrack& converted);
// The mean structural similarity of the luma, over 8x8 windows every 4
// pixels of every picture.
double LumaSsim(const LumaTrack& source, const LumaTrack& converted);
