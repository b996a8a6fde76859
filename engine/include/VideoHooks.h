#pragma once
// What the video path keeps over one task for the frame hooks, the
// before-hook and the custom hook.

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "HookBitmap.h"
#include "HookTypes.h"
#include "LibraryHandles.h"

class TCustomFFmpeg;

// Asked before each picture whether the frame hooks act on it; `action`
// holds the previous picture's answer on entry. `pts_us` is the picture's
// time in microseconds.
using TBeforeHookHandler = void (*)(void* user_data, TCustomFFmpeg* sender, THookAction& action, int64_t pts_us);
// Given each picture as a bitmap to change. Leave `update` true to have the
// bitmap copied back into the picture; set `stop` to receive no more.
using TCustomHookHandler = void (*)(void* user_data, TCustomFFmpeg* sender, THookBitmap& bitmap,
                                    int32_t frame_number, int64_t pts_us, bool& update, bool& stop);

struct TVideoHookState {
    TBeforeHookHandler before_hook = nullptr;
    void* before_hook_user_data = nullptr;
    TCustomHookHandler custom_hook = nullptr;
    void* custom_hook_user_data = nullptr;

    int32_t frame_counter = 0;  // pictures that reached the hook step
    THookAction action = haContinue;
    std::vector<THookTimeRange> time_ranges;  // by ascending end
    size_t range_cursor = 0;

    // The custom hook's picture and its conversions, kept for the task and
    // only ever grown.
    std::unique_ptr<THookBitmap> bitmap;
    AVPixelFormat rgb_format = AV_PIX_FMT_BGR24;
    std::unique_ptr<uint8_t, LibraryMemoryDeleter> rgb_buffer;
    int rgb_buffer_size = 0;
    TScalerContextPtr to_rgb;
    TScalerContextPtr from_rgb;
};
