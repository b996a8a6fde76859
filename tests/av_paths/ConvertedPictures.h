#pragma once
// Converted pictures read back plane by plane, so that tests can compare
// pixels exactly.

#include <cstdint>
#include <string>
#include <vector>

#include "TranscodeTask.h"

// The planes of one decoded 4:2:0 picture, without padding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y, u, v;
    int Y(int x, int row) const { return y[static_cast<size_t>(row) * width + x]; }
    int U(int x, int row) const { return u[static_cast<size_t>(row) * (width / 2) + x]; }
};

// Every picture of the file's first video stream, in display order.
std::vector<Picture> DecodePictures(const std::string& path);
// Converts the input into uncompressed pictures at 24 per second, with the
// options given after the task's own.
std::vector<Picture> ConvertToRaw(TranscodeTask& task, const TOptionList& options, const std::string& input);
