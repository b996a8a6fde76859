#pragma once
// The picture handed to a custom hook: rows of blue, green, red bytes, top
// row first, each row exactly three bytes per pixel.

#include <cstdint>
#include <mutex>
#include <vector>

class THookBitmap {
public:
    int Width() const { return width_; }
    int Height() const { return height_; }
    int BytesPerLine() const { return width_ * 3; }
    // Changes the size; the pixels are then black.
    void SetSize(int width, int height);
    uint8_t* ScanLine(int row) { return pixels_.data() + static_cast<size_t>(row) * BytesPerLine(); }
    const uint8_t* ScanLine(int row) const { return pixels_.data() + static_cast<size_t>(row) * BytesPerLine(); }

    // Held by the engine while a custom hook works on the picture, so that a
    // client that also shows the bitmap elsewhere never sees half a change.
    std::mutex& Canvas() { return canvas_; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pixels_;
    std::mutex canvas_;
};
