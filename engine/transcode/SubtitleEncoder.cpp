// A decoded subtitle becomes one packet, or two for DVB subtitles: the second
// one takes the subtitle off the screen again. A cue the encoder cannot take
// is left out; the film goes on.

#include <cstring>
#include <string>
#include <vector>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "LibraryHandles.h"
#include "RunTables.h"

namespace {
constexpr size_t kSubtitleBufferSize = 65536;

// The dialogue without ASS/SSA override blocks ("{\an8\i1}"): a device's
// text track shows plain text, and the encoder would otherwise pass tags it
// does not know on as words.
std::string WithoutStyling(const char* dialogue) {
    std::string text;
    int depth = 0;
    for (const char* c = dialogue; *c; ++c) {
        if (*c == '{') ++depth;
        else if (*c == '}' && depth > 0) --depth;
        else if (depth == 0) text += *c;
    }
    return text;
}

// The cue's text rects as plain dialogue, in `texts` and `rects` that the
// returned cue points into.
AVSubtitle PlainCue(const AVSubtitle* sub, std::vector<std::string>& texts, std::vector<AVSubtitleRect>& rects,
                    std::vector<AVSubtitleRect*>& pointers) {
    AVSubtitle plain = *sub;
    texts.resize(sub->num_rects);
    rects.resize(sub->num_rects);
    pointers.resize(sub->num_rects);
    for (unsigned n = 0; n < sub->num_rects; ++n) {
        rects[n] = *sub->rects[n];
        if (rects[n].ass) {
            texts[n] = WithoutStyling(rects[n].ass);
            rects[n].ass = texts[n].data();
        }
        pointers[n] = &rects[n];
    }
    plain.rects = pointers.data();
    return plain;
}

}  // namespace

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
    std::vector<std::string> texts;
    std::vector<AVSubtitleRect> rects;
    std::vector<AVSubtitleRect*> pointers;
    const AVSubtitle plain = PlainCue(sub, texts, rects, pointers);
    if (encoder->codec_id == AV_CODEC_ID_MOV_TEXT) sub = &plain;
    for (int i = 0; i < packet_count; ++i) {
        const int size = ff::avcodec_encode_subtitle(encoder, run.subtitle_out.data(),
                                                     static_cast<int>(run.subtitle_out.size()), sub);
        if (size < 0) {
            if (exit_on_error) throw FFMpegException("Subtitle encoding failed");
            Log(0, FormatText("Subtitle encoding failed on stream #%d.%d: the cue is left out", ost.file_index, ost.index));
            return;
        }
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
