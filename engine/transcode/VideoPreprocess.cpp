// What happens to every decoded picture before it goes to the filters or the
// encoders: deinterlacing into the stream's own working picture, and the
// frame hooks (VideoHooks.cpp), which work on that same picture after
// deinterlacing and before the picture is handed on.

#include <cstdint>
#include <memory>

#include "AVUtilHlpr.h"
#include "Deinterlace.h"
#include "FFmpeg.h"

namespace {

// The working picture at the decoded picture's size and format, writable;
// false when it cannot be had.
bool ReadyWorkingPicture(AVFrame*& picture, const AVFrame* decoded) {
    if (picture && (picture->width != decoded->width || picture->height != decoded->height ||
                    picture->format != decoded->format))
        ff::av_frame_free(&picture);
    if (!picture) {
        picture = ff::av_frame_alloc();
        if (!picture) return false;
        picture->format = decoded->format;
        picture->width = decoded->width;
        picture->height = decoded->height;
        if (ff::av_frame_get_buffer(picture, 0) < 0) {
            ff::av_frame_free(&picture);
            return false;
        }
    }
    // The encoder may still hold the previous picture.
    return ff::av_frame_make_writable(picture) >= 0;
}

}  // namespace

void TCustomFFmpeg::PreprocessVideoFrame(InputStreamState& ist, AVFrame* frame) {
    // The frame hooks count every picture and decide whether to act on it.
    const bool hooked = BeginPictureHooks(ist.pts);
    if (!deinterlace && !hooked) return;
    if (!ReadyWorkingPicture(ist.hook_picture, frame)) {
        Log(0, "hook buf malloc error.");
        return;
    }
    AVFrame* working = ist.hook_picture;
    const bool deinterlaced = deinterlace && DeinterlacePicture(working, frame);
    if (deinterlace && !deinterlaced) {
        Log(0, "Deinterlacing failed.");
        if (!hooked) return;
    }
    // The hooks change their own copy, never the decoder's picture.
    if (!deinterlaced)
        ff::av_image_copy(working->data, working->linesize, const_cast<const uint8_t**>(frame->data),
                          frame->linesize, static_cast<AVPixelFormat>(frame->format), frame->width, frame->height);
    RunPictureHooks(working, ist.pts);
    // The decoded picture now shows the working picture's planes.
    if (ff::av_frame_copy_props(working, frame) < 0) throw FFMpegException("av_malloc fail");
    if (deinterlaced) working->interlaced_frame = 0;
    ff::av_frame_unref(frame);
    if (ff::av_frame_ref(frame, working) < 0) throw FFMpegException("av_malloc fail");
}
