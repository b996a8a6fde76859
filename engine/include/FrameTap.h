#pragma once
// A stage that receives the run's decoded pictures or sound: a thumbnail
// grabber, a contact sheet, a poster. It is one class: it says which input
// streams it wants, and gets each frame of them on a queue of its own,
// worked on its own thread, in the order the run decodes them. The run
// offers each frame as it hands it out, before processing it for the
// outputs, and changes nothing for the tap; a tap that falls behind holds
// the run back only while its queue is full. Whoever sets a task up adds
// the tap to the engine (AddFrameTap) before the run; the run owns it from
// then on and lets it go when the run ends.

#include <cstddef>

extern "C" {
#include <libavformat/avformat.h>
}

class TapStage;

class FrameTap {
public:
    // `capacity`: the frames the tap may fall behind the run.
    explicit FrameTap(size_t capacity = 8) : capacity_(capacity) {}
    virtual ~FrameTap() = default;
    FrameTap(const FrameTap&) = delete;
    FrameTap& operator=(const FrameTap&) = delete;

    // Asked once per input stream the run decodes, as the run starts.
    virtual bool Wants(const AVStream& stream) const = 0;
    size_t Capacity() const { return capacity_; }

protected:
    // On the tap's thread, for each frame offered, in order; `stream` is the
    // run's input stream (its index over all inputs). The frame is the
    // tap's to read until Receive returns.
    virtual void Receive(int stream, const AVFrame& frame) = 0;
    // On the tap's thread after the last frame of a run that ended; not
    // called when the run failed or was torn down early.
    virtual void Finish() {}

private:
    friend class TapStage;
    size_t capacity_;
};
