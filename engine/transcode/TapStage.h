#pragma once
// The run's side of a frame tap: the tap's queue and its thread.

#include <memory>

#include "FrameTap.h"
#include "LibraryHandles.h"
#include "Stage.h"
#include "StageQueue.h"

class TapStage : public Stage {
public:
    explicit TapStage(std::unique_ptr<FrameTap> tap);

    // Called from the run's thread: queues a reference to the frame.
    void Offer(int stream, const AVFrame* frame);
    // Called from the run's thread when the run has decoded everything:
    // the tap finishes once it has received what was offered.
    void End();

    void Work() override;
    void Close() override;
    const char* Name() const override { return "tovrela tap"; }

private:
    struct Offered {
        int stream = -1;
        TFramePtr frame;  // none: the end
    };
    std::unique_ptr<FrameTap> tap_;
    StageQueue<Offered> queue_;
};
