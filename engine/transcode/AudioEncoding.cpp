// Decoded audio to the audio encoder: converted to the encoder's sample rate,
// channels and sample format, gathered in the stream's FIFO and encoded in
// frames of the encoder's size; the last, shorter frame goes at the flush.

#include <algorithm>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "PacketHolder.h"
#include "SwResampleHlpr.h"

namespace {

AVChannelLayout FrameLayout(const AVFrame* frame) {
    AVChannelLayout layout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        ff::av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
    else
        ff::av_channel_layout_copy(&layout, &frame->ch_layout);
    return layout;
}

TFramePtr AllocateSamples(const AVCodecContext* enc, int samples) {
    TFramePtr frame(ff::av_frame_alloc());
    if (!frame) throw FFMpegException("av_malloc fail");
    frame->nb_samples = samples;
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    if (ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 ||
        ff::av_frame_get_buffer(frame.get(), 0) < 0)
        throw FFMpegException("av_malloc fail");
    return frame;
}

}  // namespace

void TCustomFFmpeg::EncodeAudio(OutputStreamState& ost, InputStreamState& /*ist*/, AVFrame* frame) {
    AVCodecContext* enc = ost.encoder;
    if (frame && !ost.resample) {
        AVChannelLayout in_layout = FrameLayout(frame);
        const int result = ff::swr_alloc_set_opts2(&ost.resample, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                                   &in_layout, static_cast<AVSampleFormat>(frame->format),
                                                   frame->sample_rate, 0, nullptr);
        ff::av_channel_layout_uninit(&in_layout);
        if (result < 0 || ff::swr_init(ost.resample) < 0)
            throw FFMpegException(FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                             frame->ch_layout.nb_channels, frame->sample_rate,
                                             enc->ch_layout.nb_channels, enc->sample_rate));
    }
    if (ost.resample) {
        const int in_samples = frame ? frame->nb_samples : 0;
        const int capacity = ff::swr_get_out_samples(ost.resample, in_samples);
        if (capacity > 0) {
            TFramePtr converted = AllocateSamples(enc, capacity);
            const int produced =
                ff::swr_convert(ost.resample, converted->data, capacity,
                                frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, in_samples);
            if (produced < 0) throw FFMpegException("Audio resampling failed");
            if (produced > 0 &&
                ff::av_audio_fifo_write(ost.fifo, reinterpret_cast<void**>(converted->data), produced) < produced)
                throw FFMpegException("av_malloc fail");
        }
    }

    const int frame_size = enc->frame_size;
    while (true) {
        const int available = ff::av_audio_fifo_size(ost.fifo);
        const int wanted = frame_size > 0 ? frame_size : available;
        if (available <= 0 || (available < wanted && frame)) break;
        const int samples = std::min(available, wanted);
        TFramePtr out = AllocateSamples(enc, samples);
        ff::av_audio_fifo_read(ost.fifo, reinterpret_cast<void**>(out->data), samples);
        out->pts = ost.sync_opts;
        ost.sync_opts += samples;
        ost.frame_number++;
        if (ff::avcodec_send_frame(enc, out.get()) < 0) throw FFMpegException("Audio encoding failed");
        DrainEncoder(ost);
    }
    if (!frame && ff::avcodec_send_frame(enc, nullptr) >= 0) DrainEncoder(ost);
}
