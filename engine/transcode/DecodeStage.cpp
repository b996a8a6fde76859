#include "DecodeStage.h"

#include <utility>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"

DecodeStage::DecodeStage(AVCodecContext* decoder, size_t lag)
    : decoder_(decoder), lag_(lag), worker_([this] { Work(); }) {}

DecodeStage::~DecodeStage() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

bool DecodeStage::Submit(const AVPacket* packet) {
    TPacketPtr reference;
    if (packet) {
        reference.reset(ff::av_packet_alloc());
        if (!reference || ff::av_packet_ref(reference.get(), packet) < 0) return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.push_back(std::move(reference));
    }
    ++submitted_;
    if (!packet) ended_ = true;
    changed_.notify_all();
    return true;
}

bool DecodeStage::TakeDue(DecodedPacket& outcome) {
    if (taken_ == submitted_ || (!ended_ && submitted_ - taken_ <= lag_)) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !done_.empty(); });
    outcome = std::move(done_.front());
    done_.pop_front();
    ++taken_;
    return true;
}

void DecodeStage::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || !waiting_.empty(); });
        if (quit_) return;
        TPacketPtr packet = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        DecodedPacket outcome = Decode(packet.get());
        packet.reset();
        lock.lock();
        done_.push_back(std::move(outcome));
        changed_.notify_all();
    }
}

// The same steps as decoding on the run's thread: one packet in, every
// picture it completes out.
DecodedPacket DecodeStage::Decode(const AVPacket* packet) {
    DecodedPacket outcome;
    outcome.end_of_stream = !packet;
    outcome.send_result = ff::avcodec_send_packet(decoder_, packet);
    if (outcome.send_result < 0 && outcome.send_result != AVERROR_EOF) return outcome;
    for (;;) {
        DecodedPicture picture{TFramePtr(ff::av_frame_alloc())};
        if (!picture.frame) {
            outcome.receive_result = AVERROR(ENOMEM);
            return outcome;
        }
        outcome.receive_result = ff::avcodec_receive_frame(decoder_, picture.frame.get());
        if (outcome.receive_result < 0) return outcome;
        picture.decoder_frame_rate = decoder_->framerate;
        outcome.pictures.push_back(std::move(picture));
    }
}
