#include "RunTables.h"

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "MyUtilHlpr.h"

namespace {

void ReleaseOutputStream(OutputStreamState* ost) {
    if (ost->logfile) ff::my_fclose(ost->logfile);
    if (ost->last_picture) ff::av_frame_free(&ost->last_picture);
    delete ost;
}

}  // namespace

void ReleaseRunTables(TranscodeRun& run) {
    run.file_table.clear();
    for (InputStreamState* ist : run.ist_table) {
        if (ist->filter_graph) ff::avfilter_graph_free(&ist->filter_graph);
        delete ist;
    }
    run.ist_table.clear();
    for (OutputStreamState* ost : run.ost_table) ReleaseOutputStream(ost);
    run.ost_table.clear();
    if (run.decoded_frame) ff::av_frame_free(&run.decoded_frame);
    if (run.read_packet) ff::av_packet_free(&run.read_packet);
    if (run.filtered_frame) ff::av_frame_free(&run.filtered_frame);
    if (run.encoder_frame) ff::av_frame_free(&run.encoder_frame);
    run.picture_preparer.reset();
    if (run.vstats) ff::my_fclose(run.vstats);
    run.vstats = nullptr;
    run.qp_histogram.fill(0);
    run.reported_time = 0;
    run.subtitle_out.clear();
    run.subtitle_out.shrink_to_fit();
    run.poster_streams.clear();
    run.poster.reset();
    run.output_files.clear();
    run.input_files.clear();
}
