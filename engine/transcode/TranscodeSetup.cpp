// Transcode: builds the run tables, maps the streams, prepares and opens the
// codecs, copies metadata and writes the headers, then runs the main loop.
// Whatever way the run ends, its tables are released and its codecs closed.

#include <algorithm>
#include <limits>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "ChapterCopy.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "LocalFile.h"
#include "PosterStream.h"
#include "RunTables.h"
#include "SystemReason.h"
#include "TextConversion.h"

void TCustomFFmpeg::Transcode() {
    finished_normally = false;
    // A run needs an input and an output that were both set up; a set-up that
    // failed leaves none to convert.
    if (output_count == 0) throw FFMpegException("Must supply at least one output file");
    if (input_count == 0) throw FFMpegException("Must supply at least one input file");
    written_outputs.assign(static_cast<size_t>(output_count), std::string());
    video_size = audio_size = extra_size = 0;
    frames_duplicated = frames_dropped = 0;
    try {
        BuildInputTables();
        ChooseSources();
        DeriveCodecParameters();
        for (size_t file = 0; file < run.output_files.size(); ++file)
            ff::av_dump_format(run.output_files[file], static_cast<int>(file), run.output_files[file]->url, 1);
        LogStreamMapping();
        // Decoders first: a text subtitle encoder takes its styles from the
        // decoder that feeds it.
        OpenDecoders();
        OpenEncoders();
        for (InputStreamState* ist : run.ist_table) {
            ist->pts = 0;
            ist->next_pts = AV_NOPTS_VALUE;
            ist->is_start = 1;
        }
        CopyMetaDataMaps();
        CopyInputChapters();
        InitBitstreamFilters();
        WriteHeaders();
        LogSdp();
        BuildStages();
        run_start_time = last_report_time = ff::av_gettime_relative();
        RunMainLoop();
        FinishRun();
    } catch (...) {
        StopStages();
        CloseOpenedCodecs();
        ReleaseRunTables(run);
        throw;
    }
}

void TCustomFFmpeg::LogStreamMapping() {
    if (verbose < 0 || !log_handler) return;
    Log("Stream mapping:");
    for (const OutputStreamState* ost : run.ost_table) {
        const InputStreamState* ist = run.ist_table[ost->source_index];
        Log(FormatText("  Stream #%d.%d -> #%d.%d", ist->file_index, ist->stream_index, ost->file_index, ost->index));
        if (ost->sync_ist != ist)
            Log(FormatText(" [sync #%d.%d]", ost->sync_ist->file_index, ost->sync_ist->stream_index));
    }
}

void TCustomFFmpeg::CopyMetaDataMaps() {
    static const char* const kKeys[] = {"title", "author", "artist", "copyright", "comment",
                                        "album", "date",   "track",  "genre"};
    const int outputs = static_cast<int>(run.output_files.size());
    const int inputs = static_cast<int>(run.input_files.size());
    for (int i = 0; i < meta_data_map_count; ++i) {
        const TMetaDataMap& map = meta_data_maps[i];
        if (map.out_file < 0 || map.out_file >= outputs)
            throw FFMpegException(FormatText("Invalid output file index %d map_meta_data(%d,%d)", map.out_file,
                                             map.out_file, map.in_file));
        if (map.in_file < 0 || map.in_file >= inputs)
            throw FFMpegException(FormatText("Invalid input file index %d map_meta_data(%d,%d)", map.in_file,
                                             map.out_file, map.in_file));
        AVFormatContext* out = run.output_files[map.out_file];
        const AVFormatContext* in = run.input_files[map.in_file];
        for (const char* key : kKeys) {
            const AVDictionaryEntry* entry = ff::av_dict_get(in->metadata, key, nullptr, 0);
            if (entry) ff::av_dict_set(&out->metadata, key, entry->value, 0);
        }
    }
}

// Every output gets the first input's chapters, so that a film keeps its
// chapter menu; a container without chapters leaves them out itself.
void TCustomFFmpeg::CopyInputChapters() {
    if (run.input_files.empty()) return;
    const AVFormatContext* input = run.input_files[0];
    const int64_t offset = input_ts_offsets[0];
    int64_t end = -1;
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        end = input->duration + (input->start_time != AV_NOPTS_VALUE ? input->start_time : 0) + offset;
    if (recording_time != std::numeric_limits<int64_t>::max()) end = end < 0 ? recording_time : std::min(end, recording_time);
    for (AVFormatContext* output : run.output_files) CopyChapters(input, output, offset, end);
}

// The output files are written under a temporary name from now on; the final
// name changes only when the run has finished the file.
void TCustomFFmpeg::WriteHeaders() {
    for (size_t file = 0; file < run.output_files.size(); ++file) {
        AVFormatContext* output = run.output_files[file];
        if (!(output->oformat->flags & AVFMT_NOFILE) && !output->pb) OpenTemporaryOutput(static_cast<int>(file));
        const AVStream* source = PosterSource(run.input_files[0]);
        run.poster_streams.push_back(source ? AddPosterStream(output, *source, poster_width) : -1);
        if (run.poster_streams.back() >= 0 && !run.poster) run.poster = std::make_shared<TPosterShot>();
        if (const int written = ff::avformat_write_header(output, nullptr); written < 0) {
            const std::string failure = FormatText(
                "Could not write header for output file #%d (incorrect codec parameters ?)", static_cast<int>(file));
            // A full disk or missing rights are the file's fault, not the parameters'.
            if (const std::string reason = SystemReason(written); !reason.empty())
                throw FFMpegWriteError(output->url, failure, reason);
            throw FFMpegException(failure);
        }
    }
}

void TCustomFFmpeg::OpenTemporaryOutput(int file) {
    AVFormatContext* output = output_contexts[file].get();
    auto partial = std::make_unique<TPartialOutput>();
    if (const int failure = partial->Create(output->url, this))
        throw FFMpegWriteError(output->url, FormatText("Could not open '%s'", output->url),
                               SystemReasonOfErrno(failure));
    const std::string url = LocalFileUrl(partial->Path());
    if (const int opened = ff::avio_open(&output->pb, url.c_str(), AVIO_FLAG_WRITE); opened < 0)
        throw FFMpegWriteError(output->url, FormatText("Could not open '%s'", output->url), SystemReason(opened));
    output_partials[file] = std::move(partial);
}

void TCustomFFmpeg::LogSdp() {
    for (AVFormatContext* output : run.output_files)
        if (std::string(output->oformat->name) != "rtp") return;
    if (!log_handler) return;
    char sdp[2048];
    if (ff::av_sdp_create(run.output_files.data(), static_cast<int>(run.output_files.size()), sdp, sizeof sdp) < 0)
        return;
    Log("SDP: " + TrimText(sdp));
}
