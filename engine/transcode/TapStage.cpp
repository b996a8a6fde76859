#include "TapStage.h"

#include <utility>

#include "AVUtilHlpr.h"
#include "FFMpegException.h"

TapStage::TapStage(std::unique_ptr<FrameTap> tap) : tap_(std::move(tap)), queue_(tap_->Capacity()) {}

void TapStage::Offer(int stream, const AVFrame* frame) {
    TFramePtr reference(ff::av_frame_clone(frame));
    if (!reference) throw FFMpegException("not enough memory to hand a frame to a tap");
    queue_.Push({stream, std::move(reference)});
}

void TapStage::End() { queue_.Push({}); }

void TapStage::Work() {
    Offered next;
    while (queue_.Pop(next)) {
        if (!next.frame) {
            tap_->Finish();
            return;
        }
        tap_->Receive(next.stream, *next.frame);
    }
}

void TapStage::Close() { queue_.Close(); }
