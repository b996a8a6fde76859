#include "VideoRate.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryHandles.h"

namespace {

struct SentPacket {
    int64_t timeUs;
    int64_t endUs;
    int64_t bytes;
};

std::vector<SentPacket> VideoPackets(const std::string& path) {
    AVFormatContext* opened = nullptr;
    if (ff::avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + path);
    TInputContextPtr input(opened);
    // An MPEG program stream names its streams only once they are read.
    if (ff::avformat_find_stream_info(input.get(), nullptr) < 0)
        throw std::runtime_error("cannot read the streams of " + path);
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i)
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) index = static_cast<int>(i);
    if (index < 0) throw std::runtime_error("no video in " + path);
    const AVRational timeBase = input->streams[index]->time_base;
    std::vector<SentPacket> packets;
    TPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && packet->dts != AV_NOPTS_VALUE)
            packets.push_back({ff::av_rescale_q(packet->dts, timeBase, AVRational{1, 1000000}),
                               ff::av_rescale_q(packet->dts + packet->duration, timeBase, AVRational{1, 1000000}),
                               packet->size});
        ff::av_packet_unref(packet.get());
    }
    return packets;
}

}  // namespace

VideoRate MeasureVideoRate(const std::string& path) {
    const std::vector<SentPacket> packets = VideoPackets(path);
    VideoRate rate;
    if (packets.empty()) return rate;
    const int64_t span = packets.back().endUs - packets.front().timeUs;
    int64_t total = 0;
    for (const SentPacket& packet : packets) total += packet.bytes;
    if (span > 0) rate.averageBitRate = static_cast<double>(total) * 8e6 / static_cast<double>(span);
    // Every one-second window that starts at a packet.
    size_t next = 0;
    int64_t inWindow = 0;
    for (const SentPacket& first : packets) {
        while (next < packets.size() && packets[next].timeUs < first.timeUs + 1000000) inWindow += packets[next++].bytes;
        rate.peakBitRate = std::max(rate.peakBitRate, static_cast<double>(inWindow) * 8);
        inWindow -= first.bytes;
    }
    return rate;
}
