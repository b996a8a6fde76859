// The main loop: reads the input that keeps all outputs advancing together,
// corrects its timestamps, hands each packet on, and stops at the limits or
// at a stop request. The end of the run flushes, writes the trailers and
// closes the codecs, also after a stop request, so that the outputs are
// complete and playable.

#include <cmath>
#include <cstdlib>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "PosterStream.h"
#include "ReadStage.h"
#include "RunTables.h"
#include "SystemReason.h"
#include "TapStage.h"

double TCustomFFmpeg::OutputTime(const OutputStreamState& ost) const {
    if (ost.encoding_needed && ost.encoder && ost.encoder->codec_type == AVMEDIA_TYPE_VIDEO)
        return static_cast<double>(ost.sync_opts) * av_q2d(ost.encoder->time_base);
    return static_cast<double>(ost.written_end) * av_q2d(ost.st->time_base);
}

void TCustomFFmpeg::RunMainLoop() {
    run.read_packet = ff::av_packet_alloc();
    run.decoded_frame = ff::av_frame_alloc();
    if (!run.read_packet || !run.decoded_frame) throw FFMpegException("av_mallocz fail");
    AVPacket* pkt = run.read_packet;

    while (!stop_requested.load(std::memory_order_relaxed)) {
        int file_index = -1;
        double ipts_min = 1e100;
        double opts_min = 1e100;
        for (const OutputStreamState* ost : run.ost_table) {
            const InputStreamState* ist = run.ist_table[ost->source_index];
            // A stream whose source has passed the length takes nothing more.
            if (ist->pts - start_time >= recording_time) continue;
            const double opts = OutputTime(*ost);
            const double ipts = static_cast<double>(ist->pts);
            if (!run.file_table[ist->file_index].eof_reached) {
                if (ipts < ipts_min) {
                    ipts_min = ipts;
                    if (input_sync) file_index = ist->file_index;
                }
                if (opts < opts_min) {
                    opts_min = opts;
                    if (!input_sync) file_index = ist->file_index;
                }
            }
            const int kind = ost->encoder->codec_type;
            if (kind >= 0 && kind < static_cast<int>(max_frames.size()) && ost->frame_number >= max_frames[kind]) {
                file_index = -1;
                break;
            }
        }
        if (file_index < 0) break;
        if (opts_min >= static_cast<double>(recording_time) / 1000000) break;
        if (limit_filesize != 0) {
            AVIOContext* pb = run.output_files[0]->pb;
            if (pb && ff::avio_seek(pb, 0, SEEK_CUR) > limit_filesize) break;
        }

        InputFileState& file = run.file_table[file_index];
        const int read = file.read_stage ? file.read_stage->Next(pkt)
                                         : ReadInputPacket(run.input_files[file_index], pkt,
                                                           PacketDump{packet_dump != 0, hex_dump != 0});
        if (read < 0) {
            file.eof_reached = 1;
            if (shortest) break;
            continue;
        }
        if (pkt->stream_index < file.stream_count) {
            const int ist_index = file.first_stream + pkt->stream_index;
            InputStreamState& ist = *run.ist_table[ist_index];
            if (!ist.discard) {
                CorrectTimestamps(file_index, ist, pkt);
                try {
                    ProcessInputPacket(ist, pkt);
                } catch (const FFMpegDecodeError& error) {
                    ReportDecodeError(error);
                    ff::av_packet_unref(pkt);
                    continue;
                }
            }
        }
        ff::av_packet_unref(pkt);

        const int64_t now = ff::av_gettime_relative();
        if (now - last_report_time > progress_interval_us) {
            last_report_time = now;
            ReportProgress(false);
        }
    }
}

void TCustomFFmpeg::ReportDecodeError(const FFMpegDecodeError& error) {
    if (exit_on_error) throw error;
    if (verbose >= 0) Log(error.what());
}

// Moves the packet onto the run's clock: the file's offset, the stream's
// scale, and a correction when the timestamps jump (a cut or a wrap in the
// source) unless the input's timestamps are to be kept.
void TCustomFFmpeg::CorrectTimestamps(int file_index, InputStreamState& ist, AVPacket* pkt) {
    const AVRational time_base = ist.st->time_base;
    int64_t& offset = input_ts_offsets[file_index];
    const int64_t shift = ff::av_rescale_q(offset, AV_TIME_BASE_Q, time_base);
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += shift;
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += shift;
    const double scale = pkt->stream_index < kMaxStreams ? input_ts_scales[file_index][pkt->stream_index] : 0;
    if (scale != 0) {
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llrint(static_cast<double>(pkt->pts) * scale);
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llrint(static_cast<double>(pkt->dts) * scale);
    }
    if (pkt->dts == AV_NOPTS_VALUE || ist.next_pts == AV_NOPTS_VALUE || copy_ts) return;
    const int64_t pkt_dts = ff::av_rescale_q(pkt->dts, time_base, AV_TIME_BASE_Q);
    const int64_t delta = pkt_dts - ist.next_pts;
    const double threshold = static_cast<double>(dts_delta_threshold) * 1000000;
    // Subtitles are sparse: a long pause before the next cue is no jump.
    const bool jumped_forward =
        static_cast<double>(delta) > threshold && ist.st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE;
    const bool jumped_back = static_cast<double>(delta) < -threshold || pkt_dts + 1 < ist.pts;
    if (!jumped_forward && !jumped_back) return;
    offset -= delta;
    if (verbose > 2 && log_handler)
        Log(FormatText("timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(delta),
                       static_cast<long long>(offset)));
    const int64_t correction = ff::av_rescale_q(delta, AV_TIME_BASE_Q, time_base);
    pkt->dts -= correction;
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= correction;
}

void TCustomFFmpeg::FinishRun() {
    for (size_t i = 0; i < run.ist_table.size(); ++i)
        if (run.ist_table[i]->decoding_needed) ProcessInputPacket(*run.ist_table[i], nullptr);
    for (size_t file = 0; file < run.write_stages.size(); ++file) WaitForWriting(file);
    for (const TranscodeRun::TapLink& link : run.taps) link.tap->End();
    StopStages();
    for (OutputStreamState* ost : run.ost_table) FlushBitstreamFilters(*ost);
    // One reading of the stop request decides both how the files are
    // finished and how the task ends: a stop arriving meanwhile must not
    // leave a whole file under its final name reported as stopped.
    const bool stopped = stop_requested.load();
    if (NothingWritten())
        DiscardOutputs(stopped);
    else
        CompleteOutputs(stopped);
    for (OutputStreamState* ost : run.ost_table)
        if (ost->encoding_needed) CloseEncoder(*ost);
    for (InputStreamState* ist : run.ist_table)
        if (ist->decoding_needed) CloseDecoder(*ist);
    finished_normally = !stopped;
    ReleaseRunTables(run);
}

bool TCustomFFmpeg::NothingWritten() const {
    if (run.ost_table.empty()) return false;
    for (const OutputStreamState* ost : run.ost_table)
        if (ost->packets_written > 0) return false;
    return true;
}

// The files are closed and given their final names now, so that they are
// complete when the run returns; a file that could not be completed keeps the
// temporary name, which clean-up removes.
void TCustomFFmpeg::CompleteOutputs(bool stopped) {
    // Closing flushes the last of the trailer, so its failure is the trailer's.
    auto refuseTrailer = [this](size_t file, int failure) {
        if (failure < 0)
            throw FFMpegWriteError(run.output_files[file]->url,
                                   FormatText("Could not write trailer for output file #%d", static_cast<int>(file)),
                                   SystemReason(failure));
    };
    // A run whose own pictures gave no poster (its video copied) takes it
    // from the input.
    if (run.poster && run.poster->jpeg.empty()) *run.poster = GrabPosterShot(input_contexts[0]->url, poster_width);
    for (size_t file = 0; run.poster && file < run.output_files.size(); ++file)
        if (const int written = WritePosterPacket(run.output_files[file], run.poster_streams[file], *run.poster);
            written < 0)
            throw FFMpegWriteError(run.output_files[file]->url,
                                   FormatText("Could not write the poster of output file #%d", static_cast<int>(file)),
                                   SystemReason(written));
    for (size_t file = 0; file < run.output_files.size(); ++file)
        refuseTrailer(file, ff::av_write_trailer(run.output_files[file]));
    ReportProgress(true);
    using TFinish = TPartialOutput::TFinish;
    const TFinish finish = !replace_existing_outputs ? TFinish::KeepExisting
                           : stopped                 ? TFinish::KeepExistingStopped
                                                     : TFinish::Replace;
    for (size_t file = 0; file < run.output_files.size(); ++file) {
        AVFormatContext* output = run.output_files[file];
        if (output->oformat->flags & AVFMT_NOFILE) continue;
        refuseTrailer(file, ff::avio_closep(&output->pb));
        if (!output_partials[file]) continue;
        if (const int failure = output_partials[file]->Commit(finish))
            throw FFMpegWriteError(output->url, FormatText("Could not write '%s'", output->url),
                                   SystemReasonOfErrno(failure));
        written_outputs[file] = output_partials[file]->WrittenPath();
        output_partials[file].reset();
    }
}

// An output that got not a single picture or sound would otherwise end as a
// valid-looking file that plays nothing. Its temporary file is removed and
// whatever lies under the final name stays untouched. Unless the run was
// stopped before anything was written, that is a failure.
void TCustomFFmpeg::DiscardOutputs(bool stopped) {
    for (size_t file = 0; file < run.output_files.size(); ++file) {
        AVFormatContext* output = run.output_files[file];
        if (output->oformat->flags & AVFMT_NOFILE) continue;
        ff::avio_closep(&output->pb);
        output_partials[file].reset();
    }
    if (stopped) return;
    const InputStreamState& source = *run.ist_table[run.ost_table.front()->source_index];
    throw FFMpegException(FormatText("%s: nothing could be decoded, no output was written",
                                     run.input_files[source.file_index]->url));
}
