#pragma once
// A converted film read back as a device would take it: the colour
// description its video stream declares, the bars of a picture from its
// middle, its sound track's language, channels and pitch, its subtitle
// track, its chapters, and the luma of pictures at given times.

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

// The luma plane of one picture, row by row.
struct ReadPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> luma;
    int At(int x, int y) const { return luma[static_cast<size_t>(y) * width + x]; }
    // The brightest and darkest luma of the rectangle.
    int Brightest(int left, int top, int right, int bottom) const;
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
    int subtitleStreams = 0;
    std::string subtitleCodec;     // the libraries' name of the first one's
    std::string subtitleLanguage;
    bool subtitleHandler = false;  // a track with the "sbtl" handler that iPods show
    std::vector<std::string> subtitleTexts;  // its non-empty cues
    std::vector<ReadPicture> pictures;       // the first at or after each time asked for
    // When the first white picture (luma above 200 in the middle) and the
    // first loud sound (a tenth of full scale) come; -1 when never.
    int64_t firstWhiteUs = -1;
    int64_t firstSoundUs = -1;
};

// Requires bound libraries; `bars` is how many equal bars span the picture.
FilmReadBack ReadFilmBack(const std::string& path, int bars, const std::vector<int64_t>& pictureTimesUs = {});
// R'G'B' (0..255, not clipped) of 8-bit limited-range codes decoded with the
// BT.601 matrix, as an iPod decodes its video.
std::array<double, 3> DeviceRgb(const std::array<int, 3>& yuv);
