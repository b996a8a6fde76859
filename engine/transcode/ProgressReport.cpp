// The progress report: frames, frame rate, quantiser, size, time and bit
// rate of the outputs, handed to the progress callback or logged as a line,
// and at the end the size summary.

#include <algorithm>
#include <cmath>

#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "RunTables.h"

namespace {

constexpr double kLambdaPerQuantiser = FF_QP2LAMBDA;
// An output time no stream has reached yet.
constexpr double kNoTime = 1e10;

double Psnr(double error) { return -10.0 * std::log10(error); }

}  // namespace

void TCustomFFmpeg::ReportProgress(bool last_report) {
    TProgressValues values;
    int64_t total_size = 0;
    if (!run.write_stages.empty()) WaitForWriting(0);
    if (!run.output_files.empty() && run.output_files[0]->pb) {
        AVIOContext* pb = run.output_files[0]->pb;
        total_size = ff::avio_size(pb);
        if (total_size < 0) total_size = ff::avio_seek(pb, 0, SEEK_CUR);
        if (total_size < 0) total_size = 0;
    }
    std::string line;
    double t1 = kNoTime;
    bool video_seen = false;
    for (const OutputStreamState* ost : run.ost_table) {
        const AVCodecContext* enc = ost->encoder;
        const float quality = ost->stream_copy ? -1.0f : static_cast<float>(ost->coded_quality / kLambdaPerQuantiser);
        if (enc && enc->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (video_seen) {
                line += FormatText("q=%2.1f ", quality);
            } else {
                video_seen = true;
                values.frame_number = ost->frame_number;
                // Nothing to tell before the first picture is out of the
                // encoder (which may work some pictures behind on a thread
                // of its own).
                if (values.frame_number < 1 || (!ost->stream_copy && ost->coded_packets < 1)) return;
                const double elapsed = static_cast<double>(ff::av_gettime_relative() - run_start_time) / 1000000;
                values.fps = elapsed > 1 ? static_cast<int32_t>(values.frame_number / elapsed + 0.5) : 0;
                values.quality = quality;
                line += FormatText("frame=%5d fps=%3d q=%3.1f ", values.frame_number, values.fps, quality);
                if (last_report) line += "L";
                if (qp_hist) line += QualityHistogramText(quality);
                if (!ost->stream_copy && (enc->flags & AV_CODEC_FLAG_PSNR))
                    line += PsnrText(*ost, last_report, values.frame_number);
            }
        }
        const double time = static_cast<double>(ost->written_end) * av_q2d(ost->st->time_base);
        if (time > 0 && time < t1) t1 = time;
    }
    // Before any stream has written anything the time is 0, not the
    // placeholder that no stream reaches.
    const bool timed = t1 < kNoTime;
    // A stream that starts writing late would otherwise pull the time back
    // below what was already reported.
    if (timed) t1 = run.reported_time = std::max(t1, run.reported_time);
    if (t1 < 0.01) t1 = 0.01;
    const double bitrate = static_cast<double>(total_size) * 8 / t1 / 1000;

    if (progress_handler || verbose > 0 || last_report) {
        line += FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", static_cast<double>(total_size) / 1024,
                           timed ? t1 : 0.0, bitrate);
        if (verbose > 1) line += FormatText(" dup=%d drop=%d", frames_duplicated, frames_dropped);
        progress_line = line;
        if (progress_handler) {
            values.current_duration_ms = timed ? static_cast<int32_t>(std::trunc(t1 * 1000)) : 0;
            values.bit_rate_kbits = static_cast<float>(bitrate);
            values.current_size = total_size;
            values.total_duration_ms = static_cast<int32_t>(total_duration_ms);
            progress_handler(progress_user_data, this, values);
        } else if (verbose >= 0 && log_handler) {
            Log(line);
        }
    }

    if (last_report && verbose >= 0 && log_handler) {
        const double raw = static_cast<double>(video_size + audio_size + extra_size);
        const double overhead = raw > 0 ? (static_cast<double>(total_size) - raw) * 100 / raw : 0;
        Log(FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                       static_cast<double>(video_size) / 1024, static_cast<double>(audio_size) / 1024,
                       static_cast<double>(extra_size) / 1024, overhead));
    }
}

// "qphist": how often each quantiser was used, one hexadecimal digit per
// quantiser (the base-2 logarithm of its count).
std::string TCustomFFmpeg::QualityHistogramText(float quality) {
    const long quantiser = std::lrint(quality);
    if (quantiser >= 0 && quantiser < static_cast<long>(run.qp_histogram.size())) ++run.qp_histogram[quantiser];
    std::string text;
    for (int j = 0; j < 32; ++j)
        text += FormatText("%X", static_cast<int>(std::lrint(std::log2(run.qp_histogram[j] + 1))));
    return text;
}

// Peak signal-to-noise ratio per plane and overall: of the last frame during
// the run, of the whole stream at the end.
std::string TCustomFFmpeg::PsnrText(const OutputStreamState& ost, bool last_report, int frame_number) const {
    const AVCodecContext* enc = ost.encoder;
    std::string text = "PSNR=";
    double error_sum = 0;
    double scale_sum = 0;
    for (int plane = 0; plane < 3; ++plane) {
        const double error = static_cast<double>(last_report ? enc->error[plane] : ost.coded_error[plane]);
        double scale = enc->width * enc->height * 255.0 * 255.0;
        if (last_report) scale *= frame_number;
        if (plane > 0) scale /= 4;
        error_sum += error;
        scale_sum += scale;
        text += FormatText("%c:%2.2f ", "YUV"[plane], Psnr(error / scale));
    }
    text += FormatText("*:%2.2f ", Psnr(error_sum / scale_sum));
    return text;
}
