#include "PicturePreparer.h"

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

#include "AVUtilHlpr.h"
#include "Deinterlace.h"
#include "FFMpegException.h"
#include "SwScaleHlpr.h"

extern "C" {
#include <libavutil/imgutils.h>
}

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

bool PicturePreparer::ChangesPictures() const {
    return deinterlace_ || links_.hooks.custom_hook || links_.chain_active;
}

bool PicturePreparer::Prepare(AVFrame* frame, int64_t time_us, std::vector<std::string>& messages) {
    // The frame hooks count every picture and decide whether to act on it.
    const bool hooked = BeginHooks(time_us, messages);
    if (!deinterlace_ && !hooked) return false;
    if (!ReadyWorkingPicture(frame)) {
        messages.emplace_back("hook buf malloc error.");
        return false;
    }
    AVFrame* working = working_.get();
    const bool deinterlaced = deinterlace_ && DeinterlacePicture(working, frame);
    if (deinterlace_ && !deinterlaced) {
        messages.emplace_back("Deinterlacing failed.");
        if (!hooked) return false;
    }
    // The hooks change their own copy, never the decoder's picture.
    if (!deinterlaced)
        ff::av_image_copy(working->data, working->linesize, const_cast<const uint8_t**>(frame->data),
                          frame->linesize, static_cast<AVPixelFormat>(frame->format), frame->width, frame->height);
    RunHooks(working, time_us, messages);
    // The decoded picture now shows the working picture's planes.
    if (ff::av_frame_copy_props(working, frame) < 0) throw FFMpegException("av_malloc fail");
    if (deinterlaced) working->interlaced_frame = 0;
    ff::av_frame_unref(frame);
    if (ff::av_frame_ref(frame, working) < 0) throw FFMpegException("av_malloc fail");
    return deinterlaced;
}

// The working picture at the decoded picture's size and format, writable;
// false when it cannot be had.
bool PicturePreparer::ReadyWorkingPicture(const AVFrame* decoded) {
    AVFrame* picture = working_.get();
    if (picture && (picture->width != decoded->width || picture->height != decoded->height ||
                    picture->format != decoded->format))
        working_.reset();
    if (!working_) {
        working_.reset(ff::av_frame_alloc());
        if (!working_) return false;
        working_->format = decoded->format;
        working_->width = decoded->width;
        working_->height = decoded->height;
        if (ff::av_frame_get_buffer(working_.get(), 0) < 0) {
            working_.reset();
            return false;
        }
    }
    // The encoder may still hold the previous picture.
    return ff::av_frame_make_writable(working_.get()) >= 0;
}

bool PicturePreparer::BeginHooks(int64_t time_us, std::vector<std::string>& messages) {
    TVideoHookState& hooks = links_.hooks;
    ++hooks.frame_counter;
    if (!hooks.custom_hook && links_.chain_active) {
        if (hooks.before_hook) {
            try {
                hooks.before_hook(hooks.before_hook_user_data, links_.sender, hooks.action, time_us);
            } catch (...) {
                messages.push_back("Error occurs OnBeforeHook: " + CurrentExceptionText());
                hooks.action = haStop;
            }
            if (hooks.action == haStop) links_.chain_active = 0;
        } else if (!hooks.time_ranges.empty()) {
            // Pictures come in time order and the ranges by their end, so a
            // range passed over never contains a later picture that a later
            // range does not also contain.
            hooks.action = haIgnore;
            for (size_t i = hooks.range_cursor; i < hooks.time_ranges.size(); ++i) {
                const THookTimeRange& range = hooks.time_ranges[i];
                if (range.start_us <= time_us && time_us <= range.end_us) {
                    hooks.range_cursor = i;
                    hooks.action = haContinue;
                    break;
                }
            }
            if (hooks.time_ranges.back().end_us < time_us) {
                hooks.action = haStop;
                links_.chain_active = 0;
            }
        }
    }
    return hooks.custom_hook || (links_.chain_active && hooks.action == haContinue);
}

void PicturePreparer::RunHooks(AVFrame* picture, int64_t time_us, std::vector<std::string>& messages) {
    if (links_.hooks.custom_hook) {
        RunCustomHook(picture, time_us, messages);
    } else if (links_.chain_active && links_.hooks.action == haContinue) {
        TovrelaHookPicture view;
        for (int plane = 0; plane < 4; ++plane) {
            view.data[plane] = picture->data[plane];
            view.linesize[plane] = picture->linesize[plane];
        }
        ProcessFrameHooks(links_.chain, &view, picture->format, picture->width, picture->height, time_us);
    }
}

void PicturePreparer::StopCustomHook() {
    links_.hooks.custom_hook = nullptr;
    links_.hooks.custom_hook_user_data = nullptr;
    links_.custom_hook_active = false;
    links_.hooks.action = haStop;
    links_.chain_active = 0;
}

void PicturePreparer::RunCustomHook(AVFrame* picture, int64_t time_us, std::vector<std::string>& messages) {
    TVideoHookState& hooks = links_.hooks;
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
            messages.emplace_back("Cannot initialize the toRGB conversion context");
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
                hooks.custom_hook(hooks.custom_hook_user_data, links_.sender, bitmap, hooks.frame_counter, time_us,
                                  update, stop);
            } catch (...) {
                messages.push_back("Error occurs OnCustomHook: " + CurrentExceptionText());
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
                messages.emplace_back("Cannot initialize the fromRGB conversion context");
                failed = true;
            } else {
                ff::sws_scale(hooks.from_rgb.get(), rgb_data, rgb_linesize, 0, height, picture->data,
                              picture->linesize);
            }
        }
    }
    if (stop || failed) StopCustomHook();
}
