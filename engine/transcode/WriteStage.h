#pragma once
// Writing an output file on a thread of its own: the run hands over every
// packet of the file in the order it would have written it, so the muxer
// interleaves and writes the same file. A write that fails ends the writing;
// the run learns of it at its next packet or when it waits for the file.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

#include "LibraryHandles.h"
#include "Stage.h"
#include "StageQueue.h"

class WriteStage : public Stage {
public:
    // The output's header must be written and the file must stay open until
    // the stage has been joined; only the stage's thread writes to it
    // meanwhile.
    explicit WriteStage(AVFormatContext* output);

    // Called from the run's thread: takes over the packet's data, leaving the
    // packet blank. False when a write has failed (see Failure) or the stage
    // is closed; raises an error when no memory is left.
    bool Submit(AVPacket* packet);
    // Waits until every packet handed over has been written (or dropped,
    // after a failure); until the next Submit the run may then look at the
    // file.
    void Drain();
    // The library's result of the write that failed, or 0.
    int Failure() const { return failure_.load(); }

    void Work() override;
    void Close() override { packets_.Close(); }
    const char* Name() const override { return "tovrela write"; }

private:
    AVFormatContext* output_;
    StageQueue<TPacketPtr> packets_;
    std::atomic<int> failure_{0};
    size_t marks_sent_ = 0;  // touched by the run's thread only
    std::mutex mutex_;
    std::condition_variable mark_passed_;
    size_t marks_passed_ = 0;
};
