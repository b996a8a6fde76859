#include "WriteStage.h"

#include <utility>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "FFMpegException.h"

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
    if (!owned || ff::av_packet_ref(owned.get(), packet) < 0)
        throw FFMpegException("not enough memory to hand a packet to its writer");
    ff::av_packet_unref(packet);
    return packets_.Push(std::move(owned));
}

// A mark in the queue, passed once everything handed over before it has been
// written, so that writing a packet costs no more than taking it off the
// queue.
void WriteStage::Drain() {
    if (!packets_.Push(TPacketPtr())) return;
    packets_.Flush();
    ++marks_sent_;
    std::unique_lock<std::mutex> lock(mutex_);
    mark_passed_.wait(lock, [&] { return marks_passed_ == marks_sent_; });
}

void WriteStage::Work() {
    TPacketPtr packet;
    while (packets_.Pop(packet)) {
        if (!packet) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++marks_passed_;
            mark_passed_.notify_all();
            continue;
        }
        // After a failure the rest is only taken off the queue, so that the
        // run never waits for room.
        if (Failure() == 0)
            if (const int result = ff::av_interleaved_write_frame(output_, packet.get()); result < 0)
                failure_.store(result);
        packet.reset();
    }
}
