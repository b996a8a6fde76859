#pragma once
// Owning holders for the packets and frames a run works with.

#include <memory>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"

struct PacketDeleter {
    void operator()(AVPacket* packet) const { ff::av_packet_free(&packet); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { ff::av_frame_free(&frame); }
};

using TPacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using TFramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
