#pragma once
// A video decoder working on a thread of its own, so that the run's thread
// scales, encodes and writes the pictures already decoded while the next
// ones are being decoded. What comes out is what the decoder would give on
// the run's thread, only a fixed number of packets later: the outcome of a
// packet is taken once `lag` newer packets have been handed in (or the end
// of the stream), so the result never depends on how the threads happen to
// be scheduled.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

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

class DecodeStage {
public:
    // The decoder must be open and stay so until the stage is destroyed;
    // only the stage's thread touches it meanwhile.
    DecodeStage(AVCodecContext* decoder, size_t lag);
    // Ends the thread; packets not yet decoded are dropped.
    ~DecodeStage();
    DecodeStage(const DecodeStage&) = delete;
    DecodeStage& operator=(const DecodeStage&) = delete;

    // Hands in a new reference to the packet, or the end of the stream
    // (nullptr). False when no memory is left for the reference.
    bool Submit(const AVPacket* packet);
    // The outcome of the oldest packet not yet taken, when it is due;
    // waits for the decoder to finish it. False when none is due.
    bool TakeDue(DecodedPacket& outcome);

private:
    void Work();
    DecodedPacket Decode(const AVPacket* packet);

    AVCodecContext* decoder_;
    const size_t lag_;
    size_t submitted_ = 0;
    size_t taken_ = 0;
    bool ended_ = false;  // the end of the stream was handed in

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<TPacketPtr> waiting_;  // nullptr: the end of the stream
    std::deque<DecodedPacket> done_;
    bool quit_ = false;
    std::thread worker_;
};
