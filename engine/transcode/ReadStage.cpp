#include "ReadStage.h"

#include <cerrno>
#include <utility>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"

namespace {

// What may be read ahead, in units of 4 KiB of packet data plus one per
// packet: a few hundred small packets, or a megabyte of large ones, enough
// that the run never waits for the disk. Once it has filled that, the stage
// sleeps until the run has taken half, rather than waking for every packet.
constexpr size_t kReadAheadUnits = 256;
constexpr size_t kRefillUnits = kReadAheadUnits / 2;
constexpr size_t kBytesPerUnit = 4096;

}  // namespace

int ReadInputPacket(AVFormatContext* input, AVPacket* packet, PacketDump dump) {
    const int result = ff::av_read_frame(input, packet);
    if (result >= 0 && dump.packets)
        ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet, dump.bytes, input->streams[packet->stream_index]);
    return result;
}

ReadStage::ReadStage(AVFormatContext* input, PacketDump dump)
    : input_(input), dump_(dump), packets_(kReadAheadUnits, kRefillUnits) {}

int ReadStage::Next(AVPacket* packet) {
    Read read;
    if (!packets_.Pop(read)) return AVERROR_EOF;
    if (read.result >= 0 && ff::av_packet_ref(packet, read.packet.get()) < 0) return AVERROR(ENOMEM);
    return read.result;
}

void ReadStage::Work() {
    for (;;) {
        Read read{0, TPacketPtr(ff::av_packet_alloc())};
        read.result = read.packet ? ReadInputPacket(input_, read.packet.get(), dump_) : AVERROR(ENOMEM);
        const bool ended = read.result < 0;
        const size_t weight = 1 + (ended ? 0 : static_cast<size_t>(read.packet->size) / kBytesPerUnit);
        if (!packets_.Push(std::move(read), weight) || ended) return;
    }
}
