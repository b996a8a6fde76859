// Attaching the task's hooks: the before-hook or the custom hook (one at a
// time), and the time ranges in which the frame hooks act. The hooks
// themselves run in the run's PicturePreparer.

#include <algorithm>
#include <utility>

#include "FFmpeg.h"

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
