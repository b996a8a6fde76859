#pragma once

#include <cstdint>

// A colour in Y, Cb, Cr. Only the low 8 bits of each value reach a picture.
struct TYuvColor {
    int32_t y;
    int32_t u;
    int32_t v;
};

// Converts a packed colour (red in bits 0-7, green in bits 8-15, blue in bits
// 16-23) with the BT.601 coefficients in 10-bit fixed point. The sums are
// shifted arithmetically, so negative chroma sums round down.
constexpr TYuvColor RgbToYuv(int32_t rgb) {
    struct Row {
        int32_t r, g, b, added, plus;
    };
    constexpr int kShift = 10;
    constexpr Row kY{307, 602, 117, 512, 0};
    constexpr Row kU{-173, -340, 512, 511, 128};
    constexpr Row kV{512, -429, -84, 511, 128};

    const int32_t r = rgb & 0xFF;
    const int32_t g = (rgb >> 8) & 0xFF;
    const int32_t b = (rgb >> 16) & 0xFF;
    const auto apply = [&](const Row& row) {
        return ((r * row.r + g * row.g + b * row.b + row.added) >> kShift) + row.plus;
    };
    return {apply(kY), apply(kU), apply(kV)};
}
