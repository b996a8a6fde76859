// Decoded pictures to the video encoder: cropped and scaled to the encoder's
// size and pixel format when the set-up asked for it, numbered in the
// encoder's time base, encoded and written.

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "SwScaleHlpr.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

// The plane pointers of the picture with the top and left crop bands cut off.
void CroppedPlanes(const AVFrame* frame, int top, int left, uint8_t* planes[4]) {
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    const bool planar = desc && (desc->flags & AV_PIX_FMT_FLAG_PLANAR);
    for (int plane = 0; plane < 4; ++plane) {
        planes[plane] = frame->data[plane];
        if (!planes[plane] || !desc) continue;
        const bool chroma = plane == 1 || plane == 2;
        const int rows = chroma ? top >> desc->log2_chroma_h : top;
        const int columns = chroma ? left >> desc->log2_chroma_w : left;
        const int step = planar ? 1 : desc->comp[0].step;
        planes[plane] += static_cast<ptrdiff_t>(rows) * frame->linesize[plane] + columns * step;
    }
}

}  // namespace

void TCustomFFmpeg::EncodeVideoFrame(OutputStreamState& ost, InputStreamState& /*ist*/, AVFrame* frame) {
    AVCodecContext* enc = ost.encoder;
    if (frame) {
        AVFrame* picture = frame;
        if (ost.video_resample) {
            uint8_t* planes[4];
            CroppedPlanes(frame, ost.topBand, ost.leftBand, planes);
            // The encoder may still hold the previous picture.
            if (ff::av_frame_make_writable(ost.pict_tmp) < 0) throw FFMpegException("av_malloc fail");
            ff::sws_scale(ost.img_resample_ctx, planes, frame->linesize, 0, ost.resample_height, ost.pict_tmp->data,
                          ost.pict_tmp->linesize);
            picture = ost.pict_tmp;
        }
        // The decoder's picture types must not force the encoder's.
        picture->pict_type = AV_PICTURE_TYPE_NONE;
        picture->pts = ost.sync_opts++;
        ost.frame_number++;
        if (ff::avcodec_send_frame(enc, picture) < 0) throw FFMpegException("Video encoding failed");
    } else if (ff::avcodec_send_frame(enc, nullptr) < 0) {
        return;  // already drained
    }
    DrainEncoder(ost);
}
