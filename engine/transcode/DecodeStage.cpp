#include "DecodeStage.h"

#include <algorithm>
#include <utility>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFMpegException.h"

namespace {

// Decoded pictures held between the stage and the run: a few, since each SD
// picture takes half a megabyte and an HD one three.
constexpr size_t kPicturesHeld = 8;

}  // namespace

DecodeStage::DecodeStage(AVCodecContext* decoder, size_t lag)
    : LaggedStage(lag, kPicturesHeld), decoder_(decoder) {}

bool DecodeStage::Submit(const AVPacket* packet) {
    TPacketPtr reference;
    if (packet) {
        reference.reset(ff::av_packet_alloc());
        if (!reference || ff::av_packet_ref(reference.get(), packet) < 0)
            throw FFMpegException("not enough memory to hand a packet to its decoder");
    }
    return LaggedStage::Submit(std::move(reference), !packet);
}

size_t DecodeStage::Weight(const DecodedPacket& outcome) const {
    return std::max<size_t>(outcome.pictures.size(), 1);
}

// The same steps as decoding on the run's thread: one packet in, every
// picture it completes out.
DecodedPacket DecodeStage::Process(TPacketPtr packet) {
    DecodedPacket outcome;
    outcome.end_of_stream = !packet;
    outcome.send_result = ff::avcodec_send_packet(decoder_, packet.get());
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
