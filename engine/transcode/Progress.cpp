// The progress line: how much has been written and how far the outputs have
// come, logged during the run and once more at its end.

#include "AVFormatHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"

void TCustomFFmpeg::ReportProgress(bool last_report) {
    int64_t total_size = 0;
    if (!run.output_files.empty() && run.output_files[0]->pb) {
        AVIOContext* pb = run.output_files[0]->pb;
        total_size = ff::avio_size(pb);
        if (total_size < 0) total_size = ff::avio_seek(pb, 0, SEEK_CUR);
    }
    double t1 = 1e10;
    for (const OutputStreamState* ost : run.ost_table) {
        const double time = static_cast<double>(ost->written_end) * av_q2d(ost->st->time_base);
        if (time > 0 && time < t1) t1 = time;
    }
    if (t1 < 0.01 || t1 == 1e10) t1 = 0.01;
    const double bitrate = static_cast<double>(total_size) * 8 / t1 / 1000;
    if ((verbose > 0 || last_report) && verbose >= 0)
        Log(FormatText("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", static_cast<double>(total_size) / 1024, t1,
                       bitrate));
}
