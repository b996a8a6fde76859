#pragma once
// Matroska files of the kinds people keep today, with exactly known content
// for reading back what a conversion made of them: a picture of flat
// vertical bars with a given colour description (HD BT.709, HDR10, HLG, full
// range), sound tracks with languages and default flags, each a tone of its
// own, subtitle tracks (SRT text or DVD pictures), and chapters. Lossless
// FFV1 pictures, 16-bit PCM sound.

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

// A bar's colour as coded: luma 0..1 and the two colour differences
// -0.5..0.5, before quantisation to the film's bit depth and range.
struct CodedColour {
    double y = 0.5;
    double cb = 0.0;
    double cr = 0.0;
};

struct FilmSound {
    const char* language = "";  // "" writes none
    bool isDefault = false;
    int channels = 2;
    int frequency = 440;  // Hz, in every channel
};

struct FilmChapter {
    int64_t startUs = 0;
    int64_t endUs = 0;
    const char* title = "";
};

struct FilmCue {
    int64_t startUs = 0;
    int64_t endUs = 0;
    const char* text = "";  // a DVD picture track shows a white block instead
};

struct FilmSubtitles {
    const char* language = "";
    bool forced = false;
    bool pictures = false;  // DVD subtitles; else SRT text
    bool damaged = false;   // every cue's bytes are overwritten, so that none can be decoded
    // Where a DVD cue's white block sits on the picture, pixels.
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<FilmCue> cues;
};

struct SourceFilm {
    int width = 1280;
    int height = 720;
    const char* pixelFormat = "yuv420p";  // "yuv420p10le" for 10-bit
    AVColorSpace matrix = AVCOL_SPC_BT709;
    AVColorRange range = AVCOL_RANGE_MPEG;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_BT709;
    AVColorPrimaries primaries = AVCOL_PRI_BT709;
    std::vector<CodedColour> bars = {CodedColour{}};  // equal widths, left to right
    int64_t durationUs = 1000000;  // at 24 pictures a second
    // Black bands inside the picture (letterbox, pillarbox), pixels.
    int bandTop = 0, bandBottom = 0, bandLeft = 0, bandRight = 0;
    // Above 0: a white square of that size moving right 16 pixels a picture
    // over the bars; interlaced, the second field shows it half a step on.
    int movingSquare = 0;
    bool interlaced = false;
    // Pictures 30, 50, 40 and 80 ms apart in turn, as phones record, instead
    // of 24 a second.
    bool variableRate = false;
    // Above 0: the picture is white and the sound plays for 150 ms from then
    // on, and is silent before and after, for measuring their step.
    int64_t flashUs = 0;
    std::vector<FilmSound> sound = {};
    std::vector<FilmChapter> chapters = {};
    std::vector<FilmSubtitles> subtitles = {};  // after the sound tracks
};

// The coded colour of an 8-bit R'G'B' colour under the matrix (BT.709 or
// BT.601).
CodedColour CodedFromRgb(int r, int g, int b, AVColorSpace matrix);
// Throws std::runtime_error naming the step that failed.
void WriteSourceFilm(const SourceFilm& film, const std::string& path);
