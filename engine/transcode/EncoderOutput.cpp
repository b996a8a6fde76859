// What an encoder gives back: packets moved into the stream's time base,
// counted, their two-pass statistics kept, and written.

#include "AVCodecHlpr.h"
#include "FFmpeg.h"
#include "LibraryHandles.h"
#include "MyUtilHlpr.h"

void TCustomFFmpeg::DrainEncoder(OutputStreamState& ost) {
    AVCodecContext* enc = ost.encoder;
    TPacketPtr pkt(ff::av_packet_alloc());
    if (!pkt) throw FFMpegException("av_malloc fail");
    int result;
    while ((result = ff::avcodec_receive_packet(enc, pkt.get())) >= 0) {
        if (enc->codec_type == AVMEDIA_TYPE_VIDEO)
            video_size += pkt->size;
        else
            audio_size += pkt->size;
        if (ost.logfile && enc->stats_out) ff::my_fprintf(ost.logfile, "%s", enc->stats_out);
        NoteCodedPacket(ost, pkt.get());
        // A picture lasts one tick of the encoder's clock; without it the
        // muxer gives the last picture no time and players never show it.
        if (pkt->duration <= 0 && enc->codec_type == AVMEDIA_TYPE_VIDEO) pkt->duration = 1;
        ff::av_packet_rescale_ts(pkt.get(), enc->time_base, ost.st->time_base);
        pkt->time_base = ost.st->time_base;
        WritePacket(ost, pkt.get());
        ff::av_packet_unref(pkt.get());
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
        throw FFMpegException(ost.encoder->codec_type == AVMEDIA_TYPE_VIDEO ? "Video encoding failed"
                                                                            : "Audio encoding failed");
}
