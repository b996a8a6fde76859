#include "DecodeOnly.h"

#include <stdexcept>
#include <vector>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryHandles.h"

namespace {

TCodecContextPtr OpenDecoder(const AVStream* stream, const std::string& path) {
    const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) throw std::runtime_error(path + ": no decoder for stream " + std::to_string(stream->index));
    TCodecContextPtr decoder(ff::avcodec_alloc_context3(codec));
    if (!decoder || ff::avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
        throw std::runtime_error(path + ": cannot allocate a decoder");
    decoder->pkt_timebase = stream->time_base;
    decoder->thread_count = 0;  // the library's choice: one thread per core
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (ff::avcodec_open2(decoder.get(), codec, nullptr) < 0)
        throw std::runtime_error(path + ": cannot open the decoder of stream " + std::to_string(stream->index));
    return decoder;
}

void Drain(AVCodecContext* decoder, AVFrame* frame) {
    while (ff::avcodec_receive_frame(decoder, frame) >= 0) ff::av_frame_unref(frame);
}

}  // namespace

void DecodeWholeFile(const std::string& path) {
    AVFormatContext* opened = nullptr;
    if (ff::avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error(path + ": cannot open");
    TInputContextPtr input(opened);
    if (ff::avformat_find_stream_info(input.get(), nullptr) < 0)
        throw std::runtime_error(path + ": cannot read the stream information");
    std::vector<TCodecContextPtr> decoders(input->nb_streams);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVMediaType kind = input->streams[i]->codecpar->codec_type;
        if (kind == AVMEDIA_TYPE_VIDEO || kind == AVMEDIA_TYPE_AUDIO)
            decoders[i] = OpenDecoder(input->streams[i], path);
    }
    TPacketPtr packet(ff::av_packet_alloc());
    TFramePtr frame(ff::av_frame_alloc());
    if (!packet || !frame) throw std::runtime_error(path + ": out of memory");
    while (ff::av_read_frame(input.get(), packet.get()) >= 0) {
        AVCodecContext* decoder = decoders[packet->stream_index].get();
        if (decoder && ff::avcodec_send_packet(decoder, packet.get()) >= 0) Drain(decoder, frame.get());
        ff::av_packet_unref(packet.get());
    }
    for (TCodecContextPtr& decoder : decoders) {
        if (!decoder) continue;
        ff::avcodec_send_packet(decoder.get(), nullptr);
        Drain(decoder.get(), frame.get());
    }
}
