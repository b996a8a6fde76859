#pragma once
// An encoder, of any codec, working on a thread of its own: the run's thread
// prepares the next pictures or sound while the previous ones are coded. It
// gives the packets the encoder would give on the run's thread, a fixed
// number of frames later, so the muxer gets them in the same order.

#include <cstddef>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "LaggedStage.h"
#include "LibraryHandles.h"

// What coding one frame (or draining the encoder) gave.
struct EncodedFrame {
    int send_result = 0;     // of handing the frame to the encoder
    int receive_result = 0;  // of the last attempt to take a packet
    std::vector<TPacketPtr> packets;

    bool Failed() const;
};

class EncodeStage : public LaggedStage<TFramePtr, EncodedFrame> {
public:
    // The encoder must be open and stay so until the stage has been joined;
    // only the stage's thread codes with it meanwhile.
    EncodeStage(AVCodecContext* encoder, size_t lag);

    // Hands in a new reference to the frame, or the end (nullptr). False
    // once the stage is closed; raises an error when no memory is left for
    // the reference.
    bool Submit(const AVFrame* frame);

    const char* Name() const override { return "tovrela encode"; }

protected:
    EncodedFrame Process(TFramePtr frame) override;

private:
    AVCodecContext* encoder_;
};
