// One packet of an input stream: decoded (or passed on as it is for copied
// streams), the stream's clock kept, and every output stream fed whose source
// it is. Without a packet, the stream's decoder and its encoders are drained.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "DecodeStage.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "LibraryHandles.h"
#include "PathHelpers.h"
#include "RunTables.h"
#include "TapStage.h"

namespace {

// How long one video frame lasts, in microseconds: the packet's own duration
// when the container gives one, else one frame of the stream's rate.
int64_t VideoFrameDuration(const InputStreamState& ist, int64_t duration) {
    if (duration > 0) return ff::av_rescale_q(duration, ist.st->time_base, AV_TIME_BASE_Q);
    AVRational rate = ist.st->avg_frame_rate;
    if (ist.decoder_frame_rate.num > 0 && ist.decoder_frame_rate.den > 0) rate = ist.decoder_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = ist.st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) return 0;
    return ff::av_rescale(1000000, rate.den, rate.num);
}

// AVI counts one tick of a stream's clock per packet and fills a late start
// with empty packets, up to this many.
constexpr int64_t kMostAviFillerPackets = 60000;

// Whether a copied stream whose first packet has this time would need more
// filler than AVI allows. Streams with a block size count bytes, not packets.
bool StartsTooLateForAvi(const AVFormatContext* output, const AVStream* stream, int64_t dts) {
    return std::strcmp(output->oformat->name, "avi") == 0 && stream->codecpar->block_align == 0 &&
           dts > kMostAviFillerPackets;
}

FFMpegDecodeError DecodeFailure(const InputStreamState& ist) {
    return FFMpegDecodeError(FormatText("Error while decoding stream #%d.%d", ist.file_index, ist.stream_index));
}

int16_t ScaleSample(int16_t sample, int volume) {
    const int scaled = (sample * volume + 128) >> 8;
    return static_cast<int16_t>(std::clamp(scaled, -32768, 32767));
}

}  // namespace

void TCustomFFmpeg::ProcessInputPacket(InputStreamState& ist, const AVPacket* pkt) {
    if (ist.next_pts == AV_NOPTS_VALUE) ist.next_pts = ist.pts;
    if (pkt && pkt->dts != AV_NOPTS_VALUE)
        ist.next_pts = ist.pts = ff::av_rescale_q(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q);
    const int64_t packet_time = ist.pts;

    if (ist.decoding_needed && pkt) {
        DecodePacket(ist, pkt);
    } else if (ist.decoding_needed) {
        // A decoder that fails while giving up its last pictures still leaves
        // the encoders theirs to give up.
        try {
            DecodePacket(ist, nullptr);
        } catch (const FFMpegDecodeError& error) {
            ReportDecodeError(error);
        }
    } else if (pkt) {
        ist.pts = ist.next_pts;
        const AVCodecParameters* par = ist.st->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
            ist.next_pts += ff::av_rescale(1000000, par->frame_size, par->sample_rate);
        else if (par->codec_type == AVMEDIA_TYPE_VIDEO)
            ist.next_pts += VideoFrameDuration(ist, pkt->duration);
        else if (pkt->duration > 0)
            ist.next_pts += ff::av_rescale_q(pkt->duration, ist.st->time_base, AV_TIME_BASE_Q);
        EmulateRate(ist);
    }

    if (!pkt && ist.filter_graph) FlushVideoFilters(ist);
    for (OutputStreamState* ost : run.ost_table) {
        if (run.ist_table[ost->source_index] != &ist) continue;
        if (pkt && !ost->encoding_needed && WithinRecording(packet_time))
            CopyPacket(*ost, ist, pkt, packet_time);
        if (!pkt && ost->encoding_needed) {
            if (ost->encoder->codec_type == AVMEDIA_TYPE_VIDEO) EncodeVideoFrame(*ost, ist, nullptr);
            if (ost->encoder->codec_type == AVMEDIA_TYPE_AUDIO) EncodeAudio(*ost, ist, nullptr);
        }
    }
}

void TCustomFFmpeg::DecodePacket(InputStreamState& ist, const AVPacket* pkt) {
    AVCodecContext* dec = ist.decoder;
    if (dec->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        if (!pkt) return;
        AVSubtitle sub{};
        int got = 0;
        if (ff::avcodec_decode_subtitle2(dec, &sub, &got, const_cast<AVPacket*>(pkt)) < 0) throw DecodeFailure(ist);
        if (!got) return;
        ist.pts = ist.next_pts;
        try {
            EmulateRate(ist);
            if (WithinRecording(ist.pts)) HandOutSubtitle(ist, &sub, pkt->pts);
        } catch (...) {
            ff::avsubtitle_free(&sub);
            throw;
        }
        ff::avsubtitle_free(&sub);
        return;
    }
    if (dec->codec_type != AVMEDIA_TYPE_AUDIO && dec->codec_type != AVMEDIA_TYPE_VIDEO) throw DecodeFailure(ist);

    if (ist.decode_stage) return DecodeOnStage(ist, pkt);
    int result = ff::avcodec_send_packet(dec, pkt);
    if (result < 0 && result != AVERROR_EOF) throw DecodeFailure(ist);
    AVFrame* frame = run.decoded_frame;
    int frames = 0;
    while ((result = ff::avcodec_receive_frame(dec, frame)) >= 0) {
        ist.decoder_frame_rate = dec->framerate;
        TakeDecodedFrame(ist, frame, ++frames, pkt != nullptr);
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) throw DecodeFailure(ist);
}

// Hands the packet to the stream's decoding thread and takes what decoding
// the packets now due gave, in their order.
void TCustomFFmpeg::DecodeOnStage(InputStreamState& ist, const AVPacket* pkt) {
    RequireAccepted(ist.decode_stage->Submit(pkt), *ist.decode_stage);
    bool decoded = true;
    DecodedPacket done;
    while (ist.decode_stage->TakeDue(done)) {
        const bool failed = done.send_result < 0 && done.send_result != AVERROR_EOF;
        int frames = 0;
        for (DecodedPicture& picture : done.pictures) {
            ist.decoder_frame_rate = picture.decoder_frame_rate;
            TakeDecodedFrame(ist, picture.frame.get(), ++frames, !done.end_of_stream);
        }
        if (failed || (done.receive_result != AVERROR(EAGAIN) && done.receive_result != AVERROR_EOF)) decoded = false;
    }
    if (!decoded) throw DecodeFailure(ist);
}

// One decoded frame: the stream's clock moved to it, then handed on.
void TCustomFFmpeg::TakeDecodedFrame(InputStreamState& ist, AVFrame* frame, int index_in_packet, bool from_packet) {
    if (index_in_packet == 2 && from_packet && verbose > 0)
        Log(0, FormatText("Multiple frames in a packet from stream %d", ist.stream_index));
    ist.pts = ist.next_pts;
    // The decoder knows best when its frame begins: it accounts for its
    // own delay, for reordered pictures and for the priming samples it
    // skips, which the packet's time does not.
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
        ist.pts = ist.next_pts = ff::av_rescale_q(frame->best_effort_timestamp, ist.st->time_base, AV_TIME_BASE_Q);
    if (ist.decoder->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (frame->sample_rate > 0) ist.next_pts += ff::av_rescale(1000000, frame->nb_samples, frame->sample_rate);
    } else {
        ist.next_pts += VideoFrameDuration(ist, frame->pkt_duration);
        ist.quality = static_cast<float>(frame->quality);
    }
    HandOutFrame(ist, frame);
    ff::av_frame_unref(frame);
}

void TCustomFFmpeg::HandOutFrame(InputStreamState& ist, AVFrame* frame) {
    const int stream = run.file_table[ist.file_index].first_stream + ist.stream_index;
    bool tapped = false;
    for (const TranscodeRun::TapLink& link : run.taps) {
        if (!link.streams[static_cast<size_t>(stream)]) continue;
        link.tap->Offer(stream, frame);
        tapped = true;
    }
    // The run changes frames in place (the volume, deinterlacing, the
    // hooks): while a tap holds the decoded frame, the run works on a copy.
    if (tapped && ff::av_frame_make_writable(frame) < 0)
        throw FFMpegException("not enough memory to copy a frame a tap holds");
    if (frame->nb_samples > 0 && audio_volume != 256) ApplyVolume(frame);
    const bool video = ist.decoder->codec_type == AVMEDIA_TYPE_VIDEO;
    if (video && !ist.preparing_output) PreprocessVideoFrame(ist, frame);
    EmulateRate(ist);
    if (!WithinRecording(ist.pts)) {
        if (video && ist.preparing_output) PrepareOnStage(*ist.preparing_output, ist, frame);
        return;
    }
    if (video && ist.filter_graph)
        FilterVideoFrame(ist, frame);
    else
        EncodeForOutputs(ist, frame);
}

void TCustomFFmpeg::EncodeForOutputs(InputStreamState& ist, AVFrame* frame) {
    for (OutputStreamState* ost : run.ost_table) {
        if (run.ist_table[ost->source_index] != &ist || !ost->encoding_needed) continue;
        switch (ost->encoder->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                EncodeVideoFrame(*ost, ist, frame);
                break;
            case AVMEDIA_TYPE_AUDIO:
                EncodeAudio(*ost, ist, frame);
                break;
            default:
                throw FFMpegException("invalid codec_type");
        }
    }
}

void TCustomFFmpeg::HandOutSubtitle(InputStreamState& ist, const AVSubtitle* sub, int64_t pts) {
    for (OutputStreamState* ost : run.ost_table)
        if (run.ist_table[ost->source_index] == &ist && ost->encoding_needed) EncodeSubtitle(*ost, ist, sub, pts);
}

// Every stream is cut at the same two points, whatever order the container
// interleaves them in: a stream read ahead of the others (sound in a program
// stream, say) would otherwise run on past the length.
bool TCustomFFmpeg::WithinRecording(int64_t time) const {
    return (start_time == 0 || time >= start_time) && time - start_time < recording_time;
}

// "vol": 256 leaves the samples as they are; integer samples are clipped.
void TCustomFFmpeg::ApplyVolume(AVFrame* frame) const {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = ff::av_sample_fmt_is_planar(format);
    const int planes = planar ? frame->ch_layout.nb_channels : 1;
    const int count = planar ? frame->nb_samples : frame->nb_samples * frame->ch_layout.nb_channels;
    for (int plane = 0; plane < planes; ++plane) {
        if (format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P) {
            auto* samples = reinterpret_cast<int16_t*>(frame->extended_data[plane]);
            for (int i = 0; i < count; ++i) samples[i] = ScaleSample(samples[i], audio_volume);
        } else if (format == AV_SAMPLE_FMT_FLT || format == AV_SAMPLE_FMT_FLTP) {
            auto* samples = reinterpret_cast<float*>(frame->extended_data[plane]);
            for (int i = 0; i < count; ++i) samples[i] = samples[i] * static_cast<float>(audio_volume) / 256.0f;
        }
    }
}

// "re": a live source is read no faster than it plays.
void TCustomFFmpeg::EmulateRate(InputStreamState& ist) {
    if (!ist.rate_emulation) return;
    if (ist.emulation_origin == AV_NOPTS_VALUE) ist.emulation_origin = ist.pts;
    const int64_t target = ist.pts - ist.emulation_origin;
    const int64_t elapsed = ff::av_gettime_relative() - ist.emulation_start;
    if (target - elapsed > 50000) ff::av_usleep(static_cast<unsigned>(target - elapsed));
}

// A copied packet is written as read, its timestamps moved into the output
// stream's time base and back by the start time, so that a copy from the
// middle of a file starts at zero as an encoded one does; an output starts
// with a key frame.
void TCustomFFmpeg::CopyPacket(OutputStreamState& ost, InputStreamState& ist, const AVPacket* pkt,
                               int64_t packet_time) {
    if (ost.frame_number == 0 && !(pkt->flags & AV_PKT_FLAG_KEY)) return;
    const AVMediaType type = ost.encoder->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO) audio_size += pkt->size;
    if (type == AVMEDIA_TYPE_VIDEO) {
        video_size += pkt->size;
        ost.sync_opts++;
    }
    TPacketPtr opkt(ff::av_packet_clone(pkt));
    if (!opkt) throw FFMpegException("av_malloc fail");
    const AVRational in = ist.st->time_base;
    const AVRational out = ost.st->time_base;
    opkt->dts = pkt->dts != AV_NOPTS_VALUE ? ff::av_rescale_q(pkt->dts, in, out)
                                           : ff::av_rescale_q(packet_time, AV_TIME_BASE_Q, out);
    // Some containers (MPEG program streams) leave the presentation time of
    // a few packets out, and some muxers (Matroska) cannot store a packet
    // without one: such a packet is shown when it is decoded.
    opkt->pts = pkt->pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pkt->pts, in, out) : opkt->dts;
    const int64_t start = ff::av_rescale_q(start_time, AV_TIME_BASE_Q, out);
    opkt->dts -= start;
    opkt->pts -= start;
    const AVFormatContext* output = run.output_files[ost.file_index];
    if (ost.last_copied_dts == AV_NOPTS_VALUE && StartsTooLateForAvi(output, ost.st, opkt->dts)) {
        ost.copy_offset = opkt->dts;
        if (verbose >= 0)
            Log(FormatText("Stream #%d.%d starts %.1f s after the others; an AVI file cannot hold such a gap, "
                           "so the stream is moved to the start",
                           ist.file_index, ist.stream_index, static_cast<double>(opkt->dts) * av_q2d(out)));
    }
    opkt->dts -= ost.copy_offset;
    opkt->pts -= ost.copy_offset;
    // A coarser output clock can put two packets on one tick, which most
    // muxers refuse (AVI counts one tick per packet): the later one moves on.
    const bool strict = !(output->oformat->flags & AVFMT_TS_NONSTRICT);
    if (strict && ost.last_copied_dts != AV_NOPTS_VALUE && opkt->dts <= ost.last_copied_dts) {
        opkt->dts = ost.last_copied_dts + 1;
        opkt->pts = std::max(opkt->pts, opkt->dts);
    }
    ost.last_copied_dts = opkt->dts;
    opkt->duration = ff::av_rescale_q(pkt->duration, in, out);
    opkt->time_base = out;
    WritePacket(ost, opkt.get());
    ost.frame_number++;
}
