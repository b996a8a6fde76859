// What the encoders say about each frame they code (quality, picture type,
// squared errors), kept for the progress report, and the per-frame video
// statistics file ("vstats").

#include <algorithm>
#include <cmath>

#include "AVCodecHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "MyUtilHlpr.h"
#include "RunTables.h"

namespace {

// Quality values are lambdas; this many make one quantiser step.
constexpr double kLambdaPerQuantiser = FF_QP2LAMBDA;

double Psnr(double error) { return -10.0 * std::log10(error); }

// Side data is stored little-endian.
uint64_t ReadLittleEndian(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

}  // namespace

void TCustomFFmpeg::NoteCodedPacket(OutputStreamState& ost, const AVPacket* pkt) {
    size_t size = 0;
    const uint8_t* stats = ff::av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &size);
    if (stats && size >= 6) {
        ost.coded_quality = static_cast<int>(ReadLittleEndian(stats, 4));
        ost.coded_pict_type = stats[4];
        const int errors = stats[5];
        for (int i = 0; i < 4; ++i)
            ost.coded_error[i] = i < errors && size >= 8 + 8 * static_cast<size_t>(i + 1) ? ReadLittleEndian(stats + 8 + 8 * i, 8) : 0;
    }
    if (vstats_file && ost.encoder->codec_type == AVMEDIA_TYPE_VIDEO && pkt->size > 0)
        WriteVideoStats(ost, pkt->size);
}

void TCustomFFmpeg::WriteVideoStats(OutputStreamState& ost, int frame_size) {
    if (!run.vstats) {
        run.vstats = ff::my_fopen(vstats_file.get(), "w");
        if (!run.vstats) throw FFMpegException(std::string("fopen fail: ") + vstats_file.get());
    }
    const AVCodecContext* enc = ost.encoder;
    if (enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
    std::string line = FormatText("frame= %5d q= %2.1f ", ost.frame_number, ost.coded_quality / kLambdaPerQuantiser);
    if (enc->flags & AV_CODEC_FLAG_PSNR)
        line += FormatText("PSNR= %6.2f ", Psnr(static_cast<double>(ost.coded_error[0]) /
                                                (enc->width * enc->height * 255.0 * 255.0)));
    line += FormatText("f_size= %6d ", frame_size);
    const double tb = av_q2d(enc->time_base);
    const double time = std::max(static_cast<double>(ost.sync_opts) * tb, 0.01);
    const double bitrate = frame_size * 8 / tb / 1000;
    const double average = static_cast<double>(video_size) * 8 / time / 1000;
    line += FormatText("s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                       static_cast<double>(video_size) / 1024, time, bitrate, average);
    line += FormatText("type= %c\n", ff::av_get_picture_type_char(static_cast<AVPictureType>(ost.coded_pict_type)));
    ff::my_fprintf(run.vstats, "%s", line.c_str());
}
