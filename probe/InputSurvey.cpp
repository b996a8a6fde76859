#include "InputSurvey.h"

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"

TInputSurvey SurveyInput(const AVFormatContext* context) {
    TInputSurvey survey;
    if (!context) return survey;
    for (unsigned n = 0; n < context->nb_streams; ++n) {
        const AVStream* stream = context->streams[n];
        const AVCodecParameters* par = stream->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && survey.Width == 0 &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            survey.Width = par->width;
            survey.Height = par->height;
            survey.Matrix = par->color_space;
            survey.Range = par->color_range;
            survey.Transfer = par->color_trc;
            survey.Primaries = par->color_primaries;
            const auto format = static_cast<AVPixelFormat>(par->format);
            survey.FullRangeFormat = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
                                     format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P;
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            TSoundTrack track;
            track.StreamIndex = static_cast<int>(n);
            if (const AVDictionaryEntry* language = ff::av_dict_get(stream->metadata, "language", nullptr, 0))
                track.Language = language->value;
            if (track.Language == "und") track.Language.clear();
            track.Default = (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
            track.Channels = par->ch_layout.nb_channels;
            track.Codec = ff::avcodec_get_name(par->codec_id);
            survey.SoundTracks.push_back(track);
        } else if (par->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            TSubtitleTrack track;
            track.StreamIndex = static_cast<int>(n);
            if (const AVDictionaryEntry* language = ff::av_dict_get(stream->metadata, "language", nullptr, 0))
                track.Language = language->value;
            if (track.Language == "und") track.Language.clear();
            track.Forced = (stream->disposition & AV_DISPOSITION_FORCED) != 0;
            track.Default = (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
            const AVCodecDescriptor* descriptor = ff::avcodec_descriptor_get(par->codec_id);
            track.Pictures = descriptor && (descriptor->props & AV_CODEC_PROP_BITMAP_SUB);
            track.Readable = descriptor && (descriptor->props & (AV_CODEC_PROP_BITMAP_SUB | AV_CODEC_PROP_TEXT_SUB)) &&
                             ff::avcodec_find_decoder(par->codec_id) != nullptr;
            track.Codec = ff::avcodec_get_name(par->codec_id);
            survey.SubtitleTracks.push_back(track);
        }
    }
    survey.Chapters = static_cast<int>(context->nb_chapters);
    return survey;
}
