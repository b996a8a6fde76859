// Each output stream's codec parameters: copied from its source for "copy"
// streams, or prepared for encoding (picture conversion, audio FIFO, two-pass
// statistics).

#include <cstring>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "MyUtilHlpr.h"
#include "PathHelpers.h"
#include "PictureGeometry.h"
#include "RunTables.h"
#include "ToneMapper.h"

namespace {

// The time base a copied stream's timestamps are counted in when the
// container's own is needlessly fine: one frame for video, one sample for audio.
AVRational CodecTimeBase(const AVStream* st) {
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0) return AVRational{1, par->sample_rate};
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0) return av_inv_q(st->avg_frame_rate);
        if (st->r_frame_rate.num > 0 && st->r_frame_rate.den > 0) return av_inv_q(st->r_frame_rate);
    }
    return st->time_base;
}

// Takes the input's codec tag unless the output format has its own tag for
// the codec and does not know the input's.
uint32_t CopiedCodecTag(const AVOutputFormat* format, const AVCodecParameters* in) {
    if (!format->codec_tag || ff::av_codec_get_id(format->codec_tag, in->codec_tag) > 0) return in->codec_tag;
    return ff::av_codec_get_tag(format->codec_tag, in->codec_id) == 0 ? in->codec_tag : 0;
}

}  // namespace

void TCustomFFmpeg::DeriveCodecParameters() {
    for (size_t n = 0; n < run.ost_table.size(); ++n) {
        OutputStreamState& ost = *run.ost_table[n];
        InputStreamState& ist = *run.ist_table[ost.source_index];
        if (!ff::av_dict_get(ost.st->metadata, "language", nullptr, 0)) {
            const AVDictionaryEntry* language = ff::av_dict_get(ist.st->metadata, "language", nullptr, 0);
            if (language) ff::av_dict_set(&ost.st->metadata, "language", std::string(language->value).substr(0, 3).c_str(), 0);
        }
        ost.st->disposition = ist.st->disposition;
        // Re-encoded, a cover picture becomes an ordinary stream; the flag
        // would make the muxer look for a picture codec it cannot store.
        if (!ost.stream_copy) ost.st->disposition &= ~AV_DISPOSITION_ATTACHED_PIC;
        if (ost.stream_copy)
            SetUpStreamCopy(ost, ist);
        else
            SetUpEncoding(ost, ist);
        if (ost.encoding_needed && (ost.encoder->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
            OpenPassLogFile(ost, static_cast<int>(n));
    }
}

void TCustomFFmpeg::SetUpStreamCopy(OutputStreamState& ost, InputStreamState& ist) {
    AVCodecParameters* par = ost.st->codecpar;
    const AVCodecParameters* in = ist.st->codecpar;
    const AVMediaType type = ost.encoder->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO && audio_volume != 256)
        throw FFMpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
    if (type == AVMEDIA_TYPE_VIDEO && custom_hook_active)
        throw FFMpegException("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    if (type == AVMEDIA_TYPE_VIDEO && vhook_active)
        throw FFMpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
    if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_SUBTITLE)
        throw FFMpegException("invalid codec_type of output stream");

    uint32_t tag = ost.encoder->codec_tag ? ost.encoder->codec_tag : par->codec_tag;
    const AVRational aspect = ost.st->sample_aspect_ratio;
    if (ff::avcodec_parameters_copy(par, in) < 0) throw FFMpegException("av_mallocz fail");
    if (!tag) tag = CopiedCodecTag(run.output_files[ost.file_index]->oformat, in);
    par->codec_tag = tag;

    const AVRational codec_time_base = CodecTimeBase(ist.st);
    ost.st->time_base = ist.st->time_base;
    if (av_q2d(ist.st->time_base) < av_q2d(codec_time_base) && av_q2d(ist.st->time_base) < 0.001)
        ost.st->time_base = codec_time_base;

    if (type == AVMEDIA_TYPE_AUDIO) {
        if ((par->block_align == 1 && par->codec_id == AV_CODEC_ID_MP3) || par->codec_id == AV_CODEC_ID_AC3)
            par->block_align = 0;
    } else if (type == AVMEDIA_TYPE_VIDEO && aspect.num) {
        // The aspect the options asked for wins over the source's.
        par->sample_aspect_ratio = aspect;
    }
}

void TCustomFFmpeg::SetUpEncoding(OutputStreamState& ost, InputStreamState& ist) {
    AVCodecContext* enc = ost.encoder;
    const AVCodecParameters* in = ist.st->codecpar;
    switch (enc->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
            RefuseImplausibleSampleRate(in->sample_rate, run.input_files[ist.file_index]->url);
            ost.audio_resample = enc->sample_rate != in->sample_rate || audio_sync_method > 1;
            break;
        case AVMEDIA_TYPE_VIDEO:
            // Only the bands are known here: the picture's format and size
            // are taken from each decoded picture, since stream analysis of a
            // damaged file may not have learnt them.
            ost.video_settings.crop_top = frame_croptop;
            ost.video_settings.crop_bottom = frame_cropbottom;
            ost.video_settings.crop_left = frame_cropleft;
            ost.video_settings.crop_right = frame_cropright;
            ost.video_settings.pads = PadBands{frame_padtop, frame_padbottom, frame_padleft, frame_padright};
            SetUpPictureShape(ost, ist);
            SetUpPictureColours(ost, ist);
            SetUpSubtitleBurning(ost, ist);
            if (int64_t flags = sws_flags; ff::av_opt_get_int(scaler_option_context.get(), "sws_flags", 0, &flags) >= 0)
                sws_flags = static_cast<int32_t>(flags);
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            // Subtitle encoders count their times in the source's units.
            if (enc->time_base.num <= 0 || enc->time_base.den <= 0) enc->time_base = ist.st->time_base;
            break;
        default:
            throw FFMpegException("invalid codec_type of output stream");
    }
    ost.encoding_needed = 1;
    ist.decoding_needed = 1;
    filter_error.clear();
    if (enc->codec_type == AVMEDIA_TYPE_VIDEO && vfilters_active && ConfigureVideoFilters(ist, ost) < 0)
        throw FFMpegException(filter_error.empty() ? std::string("Error opening filters!")
                                                   : "Error opening filters: " + filter_error);
}

// A filter graph gets the pictures as stored and shapes them itself; every
// other picture is turned the way its stream says it is shown.
void TCustomFFmpeg::SetUpPictureShape(OutputStreamState& ost, const InputStreamState& ist) {
    if (vfilters_active) return;
    const AVCodecParameters* in = ist.st->codecpar;
    VideoProcessSettings& shape = ost.video_settings;
    shape.keep_shape = keep_shape != 0;
    shape.source_aspect = ist.st->sample_aspect_ratio.num > 0 ? ist.st->sample_aspect_ratio : in->sample_aspect_ratio;
    shape.turn = PictureTurnOf(ist.st);
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(ost.encoder->pix_fmt);
    const bool turnable = IsPlanarEightBit(desc) && (!shape.turn.Swaps() || desc->log2_chroma_w == desc->log2_chroma_h);
    if (!shape.turn.Identity() && !turnable) {
        Log(0, FormatText("output stream #%d.%d: pictures of pixel format %s cannot be turned; they stay as stored",
                          ost.file_index, ost.index, desc ? desc->name : "none"));
        shape.turn = TPictureTurn{};
    }
    if (shape.keep_shape && !IsPlanarEightBit(desc)) {
        Log(0, FormatText("output stream #%d.%d: pictures of pixel format %s cannot be fitted; they are stretched",
                          ost.file_index, ost.index, desc ? desc->name : "none"));
        shape.keep_shape = false;
    }
}

// The pictures are made into the device's matrix at limited range, tone
// mapped first when they are HDR, and the stream says what they are now, so
// that a player that reads the description shows them as a player that
// does not.
void TCustomFFmpeg::SetUpPictureColours(OutputStreamState& ost, const InputStreamState& ist) {
    if (vfilters_active || output_colorspace == 0) return;
    const AVCodecParameters* in = ist.st->codecpar;
    VideoProcessSettings& colours = ost.video_settings;
    colours.colour_matrix = static_cast<AVColorSpace>(output_colorspace);
    colours.tone_map = tone_map != 0;
    AVCodecContext* enc = ost.encoder;
    enc->colorspace = colours.colour_matrix;
    enc->color_range = AVCOL_RANGE_MPEG;
    const bool mapped = colours.tone_map && IsHighDynamicRange(in->color_trc, in->color_primaries);
    enc->color_primaries = mapped ? AVCOL_PRI_BT709 : in->color_primaries;
    enc->color_trc = mapped ? AVCOL_TRC_BT709 : in->color_trc;
}

// The cues are read from the first input, where the stream is; pictures
// shaped by the person's own filters get none.
void TCustomFFmpeg::SetUpSubtitleBurning(OutputStreamState& ost, const InputStreamState& ist) {
    if (vfilters_active || burn_subtitle_stream < 0 || ist.file_index != 0 || run.input_files.empty()) return;
    const AVFormatContext* input = run.input_files[0];
    if (burn_subtitle_stream >= static_cast<int>(input->nb_streams)) return;
    const AVCodecParameters* par = input->streams[burn_subtitle_stream]->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_SUBTITLE) return;
    SubtitleBurnSettings& burn = ost.video_settings.subtitles;
    burn.file = input->url ? input->url : "";
    burn.stream = burn_subtitle_stream;
    burn.subtitle_number = 0;
    for (int n = 0; n < burn_subtitle_stream; ++n)
        if (input->streams[n]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) ++burn.subtitle_number;
    const AVCodecDescriptor* descriptor = ff::avcodec_descriptor_get(par->codec_id);
    burn.pictures = descriptor && (descriptor->props & AV_CODEC_PROP_BITMAP_SUB);
    burn.time_offset_us = input_ts_offsets[0];
}

void TCustomFFmpeg::OpenPassLogFile(OutputStreamState& ost, int ost_number) {
    std::string name = (passlogfile.empty() ? std::string("ffmpeg2pass") : passlogfile) + "-" +
                       std::to_string(ost_number) + ".log";
    if (name.size() > 1023) name.resize(1023);
    if (ost.encoder->flags & AV_CODEC_FLAG_PASS1) {
        ost.logfile = ff::my_fopen(name.c_str(), "w");
        if (!ost.logfile) throw FFMpegException("creat file fail: " + name);
        return;
    }
    std::FILE* file = ff::my_fopen(name.c_str(), "r");
    if (!file) throw FFMpegException("creat open fail: " + name);
    ff::my_fseek(file, 0, SEEK_END);
    const long size = ff::my_ftell(file);
    ff::my_fseek(file, 0, SEEK_SET);
    char* text = size >= 0 ? static_cast<char*>(ff::av_malloc(static_cast<size_t>(size) + 1)) : nullptr;
    if (!text) {
        ff::my_fclose(file);
        throw FFMpegException("Could not allocate log buffer");
    }
    const size_t read = ff::my_fread(text, 1, static_cast<size_t>(size), file);
    ff::my_fclose(file);
    text[read] = 0;
    ff::av_freep(&ost.encoder->stats_in);
    ost.encoder->stats_in = text;
}
