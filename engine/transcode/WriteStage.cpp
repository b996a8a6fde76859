#include "WriteStage.h"

#include <utility>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"

namespace {

// Packets waiting to be written: coded packets are small, and the muxer
// keeps its own interleaving queue behind these. The stage wakes for a
// batch of them rather than for every one.
constexpr size_t kPacketsWaiting = 64;
constexpr size_t kPacketsPerWaking = 16;

}  // namespace

WriteStage::WriteStage(AVFormatContext* output) : output_(output), packets_(kPacketsWaiting, 1, kPacketsPerWaking) {}

bool WriteStage::Submit(AVPacket* packet) {
    if (Failure() < 0) return false;
    // A reference of its own: the packet may point into data the run frees
    // once this returns.
    TPacketPtr owned(ff::av_packet_alloc());
    if (!owned || ff::av_packet_ref(owned.get(), packet) < 0) return false;
    ff::av_packet_unref(packet);
    if (!packets_.Push(std::move(owned))) return false;
    ++submitted_;
    return true;
}

void WriteStage::Drain() {
    packets_.Flush();
    std::unique_lock<std::mutex> lock(mutex_);
    written_one_.wait(lock, [&] { return written_ == submitted_ || Failure() < 0; });
}

void WriteStage::Work() {
    TPacketPtr packet;
    while (packets_.Pop(packet)) {
        // After a failure the rest is only taken off the queue, so that the
        // run never waits for room.
        if (Failure() == 0)
            if (const int result = ff::av_interleaved_write_frame(output_, packet.get()); result < 0)
                failure_.store(result);
        packet.reset();
        std::lock_guard<std::mutex> lock(mutex_);
        ++written_;
        written_one_.notify_all();
    }
}
