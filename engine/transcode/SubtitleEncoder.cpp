// A decoded subtitle becomes one packet, or two for DVB subtitles: the second
// one takes the subtitle off the screen again.

#include <cstring>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "LibraryHandles.h"
#include "RunTables.h"

namespace {
constexpr size_t kSubtitleBufferSize = 65536;
}

void TCustomFFmpeg::EncodeSubtitle(OutputStreamState& ost, InputStreamState& ist, const AVSubtitle* sub,
                                   int64_t pts) {
    if (pts == AV_NOPTS_VALUE) {
        if (exit_on_error) throw FFMpegException("Subtitle packets must have a pts");
        Log(0, "Subtitle packets must have a pts");
        return;
    }
    if (run.subtitle_out.empty()) run.subtitle_out.resize(kSubtitleBufferSize);
    AVCodecContext* encoder = ost.encoder;
    const bool dvb = encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const int packet_count = dvb ? 2 : 1;
    const AVRational milliseconds{1, 1000};
    for (int i = 0; i < packet_count; ++i) {
        const int size = ff::avcodec_encode_subtitle(encoder, run.subtitle_out.data(),
                                                     static_cast<int>(run.subtitle_out.size()), sub);
        if (size < 0) throw FFMpegException("Subtitle encoding failed");
        TPacketPtr pkt(ff::av_packet_alloc());
        if (!pkt || ff::av_new_packet(pkt.get(), size) < 0) throw FFMpegException("av_malloc fail");
        std::memcpy(pkt->data, run.subtitle_out.data(), static_cast<size_t>(size));
        pkt->pts = ff::av_rescale_q(pts, ist.st->time_base, ost.st->time_base);
        if (dvb) {
            const int64_t shown = i == 0 ? sub->start_display_time : sub->end_display_time;
            pkt->pts += ff::av_rescale_q(shown, milliseconds, ost.st->time_base);
        } else if (sub->end_display_time > sub->start_display_time) {
            pkt->duration = ff::av_rescale_q(sub->end_display_time - sub->start_display_time, milliseconds,
                                             ost.st->time_base);
        }
        pkt->dts = pkt->pts;
        pkt->flags |= AV_PKT_FLAG_KEY;
        WritePacket(ost, pkt.get());
    }
}
