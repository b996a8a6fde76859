#include "TestPattern.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr uint8_t kWhiteLuma = 235;
constexpr uint8_t kNeutralChroma = 128;
constexpr uint8_t kBitOnLuma = 200;
constexpr uint8_t kBitOffLuma = 40;
// Levels seen in a decoded picture: above every level of the pattern (at most
// 156 limited, 164 full range) and below white (235 limited, 255 full range);
// halfway between the two bit levels in either range.
constexpr int kWhiteThreshold = 210;
constexpr int kBitThreshold = 120;
constexpr int kBitMargin = 30;

int64_t SampleAt(const TestClip& clip, int64_t timeUs) { return timeUs * clip.sampleRate / 1000000; }

// A fixed pseudo-random value per frame and position, so that every run draws
// the same grain.
uint32_t GrainHash(int64_t frameNumber, int x, int y) {
    uint32_t h = static_cast<uint32_t>(frameNumber) * 0x9E3779B1u ^ static_cast<uint32_t>(x) * 0x85EBCA77u ^
                 static_cast<uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

double MeanOver(const uint8_t* luma, int stride, int left, int top, int right, int bottom) {
    int64_t sum = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) sum += luma[static_cast<int64_t>(y) * stride + x];
    int64_t count = static_cast<int64_t>(right - left) * (bottom - top);
    return count > 0 ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
}

}  // namespace

bool IsMarkFrame(const TestClip& clip, int64_t frameNumber) {
    for (int64_t mark : clip.markTimesUs)
        if (mark * clip.frameRateNum == frameNumber * clip.frameRateDen * 1000000) return true;
    return false;
}

void DrawTestPicture(const TestClip& clip, int64_t frameNumber, uint8_t* const planes[3], const int strides[3],
                     int width, int height) {
    const bool white = IsMarkFrame(clip, frameNumber);
    const int stripHeight = height / kNumberStripDivisor;
    const int shift = static_cast<int>(frameNumber % 64);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = planes[0] + static_cast<int64_t>(y) * strides[0];
        for (int x = 0; x < width; ++x) {
            if (white) {
                row[x] = kWhiteLuma;
            } else if (y < stripHeight) {
                int cell = x * kNumberCells / width;
                bool on = (frameNumber >> (kNumberCells - 1 - cell)) & 1;
                row[x] = on ? kBitOnLuma : kBitOffLuma;
            } else {
                int level = 32 + ((x + y + 4 * shift) % 32) * 4;
                if (clip.grain > 0) level += static_cast<int>(GrainHash(frameNumber, x, y) % (clip.grain + 1)) - clip.grain / 2;
                row[x] = static_cast<uint8_t>(std::clamp(level, 16, 235));
            }
        }
    }
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    for (int y = 0; y < chromaHeight; ++y) {
        uint8_t* u = planes[1] + static_cast<int64_t>(y) * strides[1];
        uint8_t* v = planes[2] + static_cast<int64_t>(y) * strides[2];
        for (int x = 0; x < chromaWidth; ++x) {
            bool neutral = white || 2 * y < stripHeight;
            u[x] = neutral ? kNeutralChroma : static_cast<uint8_t>(100 + ((x + 2 * shift) % 64) / 2);
            v[x] = neutral ? kNeutralChroma : static_cast<uint8_t>(100 + ((y + shift) % 64) / 2);
        }
    }
}

double TestSampleValue(const TestClip& clip, int64_t sampleIndex) {
    // The same noise wherever the sample is asked for.
    const double noise =
        clip.noiseAmplitude > 0.0
            ? clip.noiseAmplitude * (static_cast<double>(GrainHash(sampleIndex, 0, 1) % 65536) / 32768.0 - 1.0)
            : 0.0;
    for (int64_t mark : clip.markTimesUs) {
        int64_t start = SampleAt(clip, mark);
        if (sampleIndex >= start && sampleIndex < SampleAt(clip, mark + kBeepLengthUs)) {
            double t = static_cast<double>(sampleIndex - start) / clip.sampleRate;
            return noise + clip.beepAmplitude * std::sin(2 * std::numbers::pi * kBeepFrequency * t);
        }
    }
    return noise;
}

bool LooksWhite(const uint8_t* luma, int stride, int width, int height) {
    int64_t bright = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bright += luma[static_cast<int64_t>(y) * stride + x] >= kWhiteThreshold;
    return 2 * bright > static_cast<int64_t>(width) * height;
}

int ReadFrameNumber(const uint8_t* luma, int stride, int width, int height) {
    const int stripHeight = height / kNumberStripDivisor;
    if (stripHeight < 4 || width < 4 * kNumberCells || LooksWhite(luma, stride, width, height)) return -1;
    int number = 0;
    for (int cell = 0; cell < kNumberCells; ++cell) {
        int left = cell * width / kNumberCells;
        int right = (cell + 1) * width / kNumberCells;
        int quarter = (right - left) / 4;
        double mean = MeanOver(luma, stride, left + quarter, stripHeight / 4, right - quarter, stripHeight * 3 / 4);
        if (std::abs(mean - kBitThreshold) < kBitMargin) return -1;
        number = number * 2 + (mean > kBitThreshold);
    }
    return number;
}
