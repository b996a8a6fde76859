// The hook steps of a decoded picture's way to the encoder: the decision
// whether the frame hooks act on it (before-hook or time ranges), the custom
// hook with its conversions to and from a blue-green-red bitmap, and the
// frame-hook chain. Hooks never end a task: whatever goes wrong is logged
// and switches the failing hook off for the rest of the task.

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "SwScaleHlpr.h"

namespace {

// The message of the exception being handled.
std::string CurrentExceptionText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown exception";
    }
}

// Rows of `height` lines of `bytes` each, from one layout into another.
void CopyRows(uint8_t* target, int target_stride, const uint8_t* source, int source_stride, int bytes, int height) {
    for (int row = 0; row < height; ++row)
        std::memcpy(target + static_cast<ptrdiff_t>(row) * target_stride,
                    source + static_cast<ptrdiff_t>(row) * source_stride, static_cast<size_t>(bytes));
}

}  // namespace

void TCustomFFmpeg::SetBeforeHook(TBeforeHookHandler handler, void* user_data) {
    video_hooks.before_hook = handler;
    video_hooks.before_hook_user_data = user_data;
    if (handler) SetCustomHook(nullptr, nullptr);
}

void TCustomFFmpeg::SetCustomHook(TCustomHookHandler handler, void* user_data) {
    video_hooks.custom_hook = handler;
    video_hooks.custom_hook_user_data = user_data;
    custom_hook_active = handler != nullptr;
    if (handler) SetBeforeHook(nullptr, nullptr);
}

void TCustomFFmpeg::SetHookTimeRanges(std::vector<THookTimeRange> ranges) {
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const THookTimeRange& a, const THookTimeRange& b) { return a.end_us < b.end_us; });
    video_hooks.time_ranges = std::move(ranges);
    video_hooks.range_cursor = 0;
}

void TCustomFFmpeg::ReleaseVideoHooks() {
    ReleaseFrameHooks(frame_hooks);
    video_hooks = TVideoHookState();
    custom_hook_active = false;
}

bool TCustomFFmpeg::BeginPictureHooks(int64_t frame_time) {
    TVideoHookState& hooks = video_hooks;
    ++hooks.frame_counter;
    if (!hooks.custom_hook && vhook_active) {
        if (hooks.before_hook) {
            try {
                hooks.before_hook(hooks.before_hook_user_data, this, hooks.action, frame_time);
            } catch (...) {
                Log(0, "Error occurs OnBeforeHook: " + CurrentExceptionText());
                hooks.action = haStop;
            }
            if (hooks.action == haStop) vhook_active = 0;
        } else if (!hooks.time_ranges.empty()) {
            // Pictures come in time order and the ranges by their end, so a
            // range passed over never contains a later picture that a later
            // range does not also contain.
            hooks.action = haIgnore;
            for (size_t i = hooks.range_cursor; i < hooks.time_ranges.size(); ++i) {
                const THookTimeRange& range = hooks.time_ranges[i];
                if (range.start_us <= frame_time && frame_time <= range.end_us) {
                    hooks.range_cursor = i;
                    hooks.action = haContinue;
                    break;
                }
            }
            if (hooks.time_ranges.back().end_us < frame_time) {
                hooks.action = haStop;
                vhook_active = 0;
            }
        }
    }
    return hooks.custom_hook || (vhook_active && hooks.action == haContinue);
}

void TCustomFFmpeg::RunPictureHooks(AVFrame* picture, int64_t frame_time) {
    if (video_hooks.custom_hook) {
        RunCustomHook(picture, frame_time);
    } else if (vhook_active && video_hooks.action == haContinue) {
        TovrelaHookPicture view;
        for (int plane = 0; plane < 4; ++plane) {
            view.data[plane] = picture->data[plane];
            view.linesize[plane] = picture->linesize[plane];
        }
        ProcessFrameHooks(frame_hooks, &view, picture->format, picture->width, picture->height, frame_time);
    }
}

void TCustomFFmpeg::RunCustomHook(AVFrame* picture, int64_t frame_time) {
    TVideoHookState& hooks = video_hooks;
    const int width = picture->width;
    const int height = picture->height;
    const auto format = static_cast<AVPixelFormat>(picture->format);
    if (!hooks.bitmap) hooks.bitmap = std::make_unique<THookBitmap>();
    if (hooks.bitmap->Width() != width || hooks.bitmap->Height() != height) hooks.bitmap->SetSize(width, height);

    // The picture as packed rows of the hook's RGB format.
    uint8_t* rgb_data[4] = {picture->data[0], nullptr, nullptr, nullptr};
    int rgb_linesize[4] = {picture->linesize[0], 0, 0, 0};
    const bool converted = format != hooks.rgb_format;
    bool failed = false;
    if (converted) {
        const int size = ff::av_image_get_buffer_size(hooks.rgb_format, width, height, 1);
        if (size > hooks.rgb_buffer_size) {
            hooks.rgb_buffer.reset(static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(size))));
            hooks.rgb_buffer_size = hooks.rgb_buffer ? size : 0;
        }
        hooks.to_rgb.reset(ff::sws_getCachedContext(hooks.to_rgb.release(), width, height, format, width, height,
                                                    hooks.rgb_format, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!hooks.rgb_buffer || !hooks.to_rgb) {
            Log(0, "Cannot initialize the toRGB conversion context");
            failed = true;
        } else {
            ff::av_image_fill_arrays(rgb_data, rgb_linesize, hooks.rgb_buffer.get(), hooks.rgb_format, width, height, 1);
            ff::sws_scale(hooks.to_rgb.get(), picture->data, picture->linesize, 0, height, rgb_data, rgb_linesize);
        }
    }

    bool stop = false;
    if (!failed) {
        THookBitmap& bitmap = *hooks.bitmap;
        const int row_bytes = bitmap.BytesPerLine();
        bool update = true;
        {
            std::lock_guard<std::mutex> canvas(bitmap.Canvas());
            CopyRows(bitmap.ScanLine(0), row_bytes, rgb_data[0], rgb_linesize[0], row_bytes, height);
            try {
                hooks.custom_hook(hooks.custom_hook_user_data, this, bitmap, hooks.frame_counter, frame_time, update,
                                  stop);
            } catch (...) {
                Log(0, "Error occurs OnCustomHook: " + CurrentExceptionText());
                update = false;
            }
            // A handler that resized the bitmap has nothing to give back.
            if (bitmap.Width() != width || bitmap.Height() != height) update = false;
            if (update) CopyRows(rgb_data[0], rgb_linesize[0], bitmap.ScanLine(0), row_bytes, row_bytes, height);
        }
        if (update && converted) {
            hooks.from_rgb.reset(ff::sws_getCachedContext(hooks.from_rgb.release(), width, height, hooks.rgb_format,
                                                          width, height, format, SWS_BICUBIC, nullptr, nullptr,
                                                          nullptr));
            if (!hooks.from_rgb) {
                Log(0, "Cannot initialize the fromRGB conversion context");
                failed = true;
            } else {
                ff::sws_scale(hooks.from_rgb.get(), rgb_data, rgb_linesize, 0, height, picture->data,
                              picture->linesize);
            }
        }
    }
    if (stop || failed) {
        SetCustomHook(nullptr, nullptr);
        hooks.action = haStop;
        vhook_active = 0;
    }
}
