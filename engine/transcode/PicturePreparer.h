#pragma once
// What a decoded picture goes through before it is made into the encoder's:
// deinterlacing into a working picture of its own, and the frame hooks (the
// before-hook or the time ranges deciding, then the custom hook or the
// frame-hook chain), which change that working picture. One preparer serves
// a run, on the run's thread or on a video-processing stage's, never on two
// threads: whichever thread prepares the pictures is the only one that
// touches the task's hook state while the run lasts, so a hook module sees
// one picture at a time, in decoding order.

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "FrameHook.h"
#include "LibraryHandles.h"
#include "VideoHooks.h"

// What the preparer is lent of the task's hook set-up for the run; the
// hooks that stop switch themselves off there.
struct PictureHookLinks {
    TVideoHookState& hooks;
    FrameHookChain& chain;
    uint8_t& chain_active;     // the frame-hook chain still acts
    bool& custom_hook_active;  // a custom hook is attached
    // Passed to the handlers as the task whose picture it is.
    TCustomFFmpeg* sender = nullptr;
};

class PicturePreparer {
public:
    PicturePreparer(const PictureHookLinks& links, bool deinterlace) : links_(links), deinterlace_(deinterlace) {}
    PicturePreparer(const PicturePreparer&) = delete;
    PicturePreparer& operator=(const PicturePreparer&) = delete;

    // Whether any picture of the run can be changed: without deinterlacing
    // or hooks the pictures may pass by.
    bool ChangesPictures() const;
    // Prepares the picture, shown at `time_us`, in place: afterwards it
    // refers to the working picture when that was changed. What goes wrong
    // in a hook is added to `messages` for the task's log, and switches the
    // hook off. True when the picture was deinterlaced. Raises
    // FFMpegException when memory runs out.
    bool Prepare(AVFrame* frame, int64_t time_us, std::vector<std::string>& messages);

private:
    // Counts the picture and decides whether the hooks act on it.
    bool BeginHooks(int64_t time_us, std::vector<std::string>& messages);
    void RunHooks(AVFrame* picture, int64_t time_us, std::vector<std::string>& messages);
    void RunCustomHook(AVFrame* picture, int64_t time_us, std::vector<std::string>& messages);
    void StopCustomHook();
    bool ReadyWorkingPicture(const AVFrame* decoded);

    PictureHookLinks links_;
    const bool deinterlace_;
    TFramePtr working_;
};
