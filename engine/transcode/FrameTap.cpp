#include "FrameTap.h"

#include <utility>

#include "AVUtilHlpr.h"
#include "FFMpegException.h"

FrameTap::FrameTap(size_t capacity) : queue_(capacity) {}

void FrameTap::Offer(int stream, const AVFrame* frame) {
    TFramePtr reference(ff::av_frame_clone(frame));
    if (!reference) throw FFMpegException("not enough memory to hand a frame to a tap");
    queue_.Push({stream, std::move(reference)});
}

void FrameTap::End() { queue_.Push({}); }

void FrameTap::Work() {
    Offered next;
    while (queue_.Pop(next)) {
        if (!next.frame) {
            Finish();
            return;
        }
        Receive(next.stream, *next.frame);
    }
}

void FrameTap::Close() { queue_.Close(); }
