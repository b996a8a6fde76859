#pragma once
// A stage that receives the run's decoded pictures or sound: a thumbnail
// grabber, a contact sheet. It is one class: it says which input streams it
// wants, and gets a reference to each frame of them on a queue of its own,
// worked on its own thread, in the order the run decodes them. The run
// offers each frame as it hands it out, before processing it for the
// outputs, and changes nothing for the tap; a tap that falls behind holds
// the run back only while its queue is full. Whoever sets a task up adds
// the tap to the engine (AddFrameTap) before the run.

#include <cstddef>

extern "C" {
#include <libavformat/avformat.h>
}

#include "LibraryHandles.h"
#include "Stage.h"
#include "StageQueue.h"

class FrameTap : public Stage {
public:
    explicit FrameTap(size_t capacity = 8);

    // Asked once per input stream the run decodes, as the run starts.
    virtual bool Wants(const AVStream& stream) const = 0;

    // Called from the run's thread: queues a reference to the frame of the
    // run's input stream `stream` (its index over all inputs).
    void Offer(int stream, const AVFrame* frame);
    // Called from the run's thread when the run has decoded everything:
    // the tap finishes once it has received what was offered.
    void End();

    void Work() override;
    void Close() override;
    const char* Name() const override { return "tovrela tap"; }

protected:
    // On the tap's thread, for each frame offered, in order.
    virtual void Receive(int stream, const AVFrame& frame) = 0;
    // On the tap's thread after the last frame of a run that ended; not
    // called when the run failed or was torn down early.
    virtual void Finish() {}

private:
    struct Offered {
        int stream = -1;
        TFramePtr frame;  // none: the end
    };
    StageQueue<Offered> queue_;
};
