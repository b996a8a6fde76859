#include "Remux.h"

#include <memory>
#include <stdexcept>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryHandles.h"

namespace {

void Require(bool ok, const std::string& step, const std::string& file) {
    if (!ok) throw std::runtime_error(step + " failed for " + file);
}

TInputContextPtr OpenAnalysed(const std::string& source) {
    AVFormatContext* opened = nullptr;
    Require(ff::avformat_open_input(&opened, source.c_str(), nullptr, nullptr) >= 0, "opening", source);
    TInputContextPtr in(opened);
    Require(ff::avformat_find_stream_info(in.get(), nullptr) >= 0, "analysing", source);
    return in;
}

}  // namespace

void WriteCopyWithJump(const std::string& source, const std::string& target, int64_t fromUs, int64_t shiftUs,
                       int onlyStream) {
    const TInputContextPtr in = OpenAnalysed(source);
    AVFormatContext* created = nullptr;
    Require(ff::avformat_alloc_output_context2(&created, nullptr, nullptr, target.c_str()) >= 0, "creating", target);
    const TOutputContextPtr out(created);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* stream = ff::avformat_new_stream(out.get(), nullptr);
        Require(stream && ff::avcodec_parameters_copy(stream->codecpar, in->streams[i]->codecpar) >= 0,
                "adding a stream", target);
        stream->codecpar->codec_tag = 0;
        stream->time_base = in->streams[i]->time_base;
    }
    Require(ff::avio_open(&out->pb, target.c_str(), AVIO_FLAG_WRITE) >= 0, "opening", target);
    Require(ff::avformat_write_header(out.get(), nullptr) >= 0, "writing the header of", target);
    const TPacketPtr pkt(ff::av_packet_alloc());
    Require(pkt != nullptr, "allocating a packet for", target);
    while (ff::av_read_frame(in.get(), pkt.get()) >= 0) {
        const AVRational from = in->streams[pkt->stream_index]->time_base;
        const AVRational to = out->streams[pkt->stream_index]->time_base;
        ff::av_packet_rescale_ts(pkt.get(), from, to);
        const bool moves = onlyStream < 0 || pkt->stream_index == onlyStream;
        if (moves && ff::av_rescale_q(pkt->dts, to, AV_TIME_BASE_Q) >= fromUs) {
            const int64_t shift = ff::av_rescale_q(shiftUs, AV_TIME_BASE_Q, to);
            pkt->dts += shift;
            pkt->pts += shift;
        }
        Require(ff::av_interleaved_write_frame(out.get(), pkt.get()) >= 0, "writing a packet to", target);
    }
    Require(ff::av_write_trailer(out.get()) >= 0, "writing the trailer of", target);
}

void WriteByteClockedAudio(const std::string& source, const std::string& target) {
    const TInputContextPtr in = OpenAnalysed(source);
    int audio = -1;
    for (unsigned i = 0; i < in->nb_streams; ++i)
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) audio = static_cast<int>(i);
    Require(audio >= 0, "finding the audio of", source);
    AVFormatContext* created = nullptr;
    Require(ff::avformat_alloc_output_context2(&created, nullptr, "avi", target.c_str()) >= 0, "creating", target);
    const TOutputContextPtr out(created);
    AVStream* stream = ff::avformat_new_stream(out.get(), nullptr);
    Require(stream && ff::avcodec_parameters_copy(stream->codecpar, in->streams[audio]->codecpar) >= 0,
            "adding a stream", target);
    // Without a frame size the muxer counts bytes; one byte per block.
    stream->codecpar->codec_tag = 0;
    stream->codecpar->frame_size = 0;
    stream->codecpar->block_align = 1;
    Require(ff::avio_open(&out->pb, target.c_str(), AVIO_FLAG_WRITE) >= 0, "opening", target);
    Require(ff::avformat_write_header(out.get(), nullptr) >= 0, "writing the header of", target);
    const AVRational perByte{1, static_cast<int>(stream->codecpar->bit_rate / 8)};
    const TPacketPtr pkt(ff::av_packet_alloc());
    Require(pkt != nullptr, "allocating a packet for", target);
    int64_t bytes = 0;
    while (ff::av_read_frame(in.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == audio) {
            pkt->stream_index = 0;
            pkt->pts = pkt->dts = ff::av_rescale_q(bytes, perByte, stream->time_base);
            pkt->duration = 0;
            bytes += pkt->size;
            Require(ff::av_interleaved_write_frame(out.get(), pkt.get()) >= 0, "writing a packet to", target);
        }
        ff::av_packet_unref(pkt.get());
    }
    Require(ff::av_write_trailer(out.get()) >= 0, "writing the trailer of", target);
}
