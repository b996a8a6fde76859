#include "EncodeStage.h"

#include <utility>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFMpegException.h"

bool EncodedFrame::Failed() const {
    return send_result < 0 || (receive_result != AVERROR(EAGAIN) && receive_result != AVERROR_EOF);
}

// Each frame waiting holds one picture, so the inputs bound the pictures in
// flight; the outcomes are packets, small beside them.
EncodeStage::EncodeStage(AVCodecContext* encoder, size_t lag) : LaggedStage(lag, lag + 1), encoder_(encoder) {}

bool EncodeStage::Submit(const AVFrame* frame) {
    TFramePtr reference;
    if (frame) {
        reference.reset(ff::av_frame_clone(frame));
        if (!reference) throw FFMpegException("not enough memory to hand a frame to its encoder");
    }
    return LaggedStage::Submit(std::move(reference), !frame);
}

// The same steps as coding on the run's thread: one frame in, every packet
// it completes out.
EncodedFrame EncodeStage::Process(TFramePtr frame) {
    EncodedFrame outcome;
    outcome.send_result = ff::avcodec_send_frame(encoder_, frame.get());
    if (outcome.send_result < 0) return outcome;
    for (;;) {
        TPacketPtr packet(ff::av_packet_alloc());
        if (!packet) {
            outcome.receive_result = AVERROR(ENOMEM);
            return outcome;
        }
        outcome.receive_result = ff::avcodec_receive_packet(encoder_, packet.get());
        if (outcome.receive_result < 0) return outcome;
        outcome.packets.push_back(std::move(packet));
    }
}
