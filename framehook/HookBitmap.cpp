#include "HookBitmap.h"

void THookBitmap::SetSize(int width, int height) {
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    pixels_.assign(static_cast<size_t>(width_) * 3 * static_cast<size_t>(height_), 0);
}
