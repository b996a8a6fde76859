#pragma once
// A decoder, of pictures or of sound, working on a thread of its own, so that
// the run's thread hands on what is already decoded while the next packets
// are being decoded. It gives what the decoder would give on the run's
// thread, a fixed number of packets later.

#include <cstddef>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "LaggedStage.h"
#include "LibraryHandles.h"

// What decoding one packet gave.
struct DecodedPicture {
    TFramePtr frame;
    AVRational decoder_frame_rate{0, 1};  // the decoder's view of the rate once it gave this picture
};

struct DecodedPacket {
    bool end_of_stream = false;  // the decoder was drained rather than given a packet
    int send_result = 0;     // of handing the packet to the decoder
    int receive_result = 0;  // of the last attempt to take a picture
    std::vector<DecodedPicture> pictures;
};

class DecodeStage : public LaggedStage<TPacketPtr, DecodedPacket> {
public:
    // The decoder must be open and stay so until the stage has been joined;
    // only the stage's thread touches it meanwhile.
    DecodeStage(AVCodecContext* decoder, size_t lag);

    // Hands in a new reference to the packet, or the end of the stream
    // (nullptr). False once the stage is closed; raises an error when no
    // memory is left for the reference.
    bool Submit(const AVPacket* packet);

    const char* Name() const override { return "tovrela decode"; }

protected:
    DecodedPacket Process(TPacketPtr packet) override;
    size_t Weight(const DecodedPacket& outcome) const override;

private:
    AVCodecContext* decoder_;
};
