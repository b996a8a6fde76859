// What an encoder gives back: packets moved into the stream's time base,
// counted, their two-pass statistics kept, and written.

#include "AVCodecHlpr.h"
#include "EncodeStage.h"
#include "FFmpeg.h"
#include "LibraryHandles.h"
#include "MyUtilHlpr.h"
#include "PathHelpers.h"
#include "RunTables.h"

namespace {

const char* EncodingFailure(const AVCodecContext* enc) {
    return enc->codec_type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed" : "Audio encoding failed";
}

}  // namespace

void TCustomFFmpeg::Encode(OutputStreamState& ost, const AVFrame* frame) {
    if (!ost.encode_stage) {
        if (ff::avcodec_send_frame(ost.encoder, frame) < 0) throw FFMpegException(EncodingFailure(ost.encoder));
        DrainEncoder(ost);
        return;
    }
    RequireAccepted(ost.encode_stage->Submit(frame), *ost.encode_stage);
    EncodedFrame done;
    while (ost.encode_stage->TakeDue(done)) {
        for (const TPacketPtr& packet : done.packets) WriteEncodedPacket(ost, packet.get());
        if (done.Failed()) throw FFMpegException(EncodingFailure(ost.encoder));
    }
}

void TCustomFFmpeg::DrainEncoder(OutputStreamState& ost) {
    TPacketPtr pkt(ff::av_packet_alloc());
    if (!pkt) throw FFMpegException("av_malloc fail");
    int result;
    while ((result = ff::avcodec_receive_packet(ost.encoder, pkt.get())) >= 0) {
        WriteEncodedPacket(ost, pkt.get());
        ff::av_packet_unref(pkt.get());
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) throw FFMpegException(EncodingFailure(ost.encoder));
}

void TCustomFFmpeg::WriteEncodedPacket(OutputStreamState& ost, AVPacket* pkt) {
    const AVCodecContext* enc = ost.encoder;
    if (enc->codec_type == AVMEDIA_TYPE_VIDEO)
        video_size += pkt->size;
    else
        audio_size += pkt->size;
    if (ost.logfile && enc->stats_out) ff::my_fprintf(ost.logfile, "%s", enc->stats_out);
    ++ost.coded_packets;
    NoteCodedPacket(ost, pkt);
    // A picture lasts one tick of the encoder's clock; without it the
    // muxer gives the last picture no time and players never show it.
    if (pkt->duration <= 0 && enc->codec_type == AVMEDIA_TYPE_VIDEO) pkt->duration = 1;
    ff::av_packet_rescale_ts(pkt, enc->time_base, ost.st->time_base);
    pkt->time_base = ost.st->time_base;
    WritePacket(ost, pkt);
}
