#pragma once
// A converted film read back as a device would take it: the colour
// description its video stream declares, the bars of a picture from its
// middle, its sound track's language, channels and pitch, and its chapters.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct ReadChapter {
    int64_t startUs = 0;
    int64_t endUs = 0;
    std::string title;
};

struct FilmReadBack {
    std::string error;  // empty when the file could be read
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    // Y, Cb, Cr (8-bit codes) at the middle of each bar on the picture's middle row.
    std::vector<std::array<int, 3>> bars;
    std::string audioLanguage;
    int audioStreams = 0;
    int audioChannels = 0;
    double audioFrequency = 0;  // of the first channel, from its zero crossings
    std::vector<ReadChapter> chapters;
};

// Requires bound libraries; `bars` is how many equal bars span the picture.
FilmReadBack ReadFilmBack(const std::string& path, int bars);
// R'G'B' (0..255, not clipped) of 8-bit limited-range codes decoded with the
// BT.601 matrix, as an iPod decodes its video.
std::array<double, 3> DeviceRgb(const std::array<int, 3>& yuv);
