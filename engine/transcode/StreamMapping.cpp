// The run tables of the inputs and outputs, and the choice of each output
// stream's source: by explicit maps, by program, or automatically.

#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "RunTables.h"

void TCustomFFmpeg::BuildInputTables() {
    for (int file = 0; file < input_count; ++file) run.input_files.push_back(input_contexts[file].get());
    for (int file = 0; file < output_count; ++file) run.output_files.push_back(output_contexts[file].get());

    int first_stream = 0;
    for (int file = 0; file < input_count; ++file) {
        AVFormatContext* input = run.input_files[file];
        const int stream_count = static_cast<int>(input->nb_streams);
        run.file_table.push_back(InputFileState{0, first_stream, stream_count});
        first_stream += stream_count;
        for (int index = 0; index < stream_count; ++index) {
            auto* ist = new InputStreamState;
            run.ist_table.push_back(ist);
            ist->file_index = file;
            ist->stream_index = index;
            ist->st = input->streams[index];
            if (index < static_cast<int>(input_decoders[file].size()))
                ist->decoder = input_decoders[file][index].get();
            ist->rate_emulation = input_rate_emulation[file] != 0;
            if (ist->rate_emulation) ist->emulation_start = ff::av_gettime_relative();
        }
    }
}

void TCustomFFmpeg::ChooseSources() {
    int ost_count = 0;
    for (AVFormatContext* output : run.output_files) {
        if (output->nb_streams == 0) throw FFMpegException("Output file does not contain any stream");
        ost_count += static_cast<int>(output->nb_streams);
    }
    if (stream_map_count > 0 && stream_map_count != ost_count)
        throw FFMpegException("Number of stream maps must match number of output streams");

    const int input_files = static_cast<int>(run.input_files.size());
    auto valid = [&](int file, int stream) {
        return file >= 0 && file < input_files && stream >= 0 && stream < run.file_table[file].stream_count;
    };
    for (int i = 0; i < stream_map_count; ++i) {
        const TStreamMap& map = stream_maps[i];
        if (!valid(map.file_index, map.stream_index))
            throw FFMpegException(FormatText("Could not find input stream #%d.%d", map.file_index, map.stream_index));
        if (!valid(map.sync_file_index, map.sync_stream_index))
            throw FFMpegException(
                FormatText("Could not find sync stream #%d.%d", map.sync_file_index, map.sync_stream_index));
    }

    for (int file = 0; file < static_cast<int>(run.output_files.size()); ++file) {
        AVFormatContext* output = run.output_files[file];
        for (int index = 0; index < static_cast<int>(output->nb_streams); ++index) {
            auto* ost = new OutputStreamState;
            run.ost_table.push_back(ost);
            ost->file_index = file;
            ost->index = index;
            ost->st = output->streams[index];
            TOutputStreamSetup& setup = output_streams[file][index];
            ost->encoder = setup.encoder.get();
            ost->stream_copy = setup.stream_copy;
        }
    }

    auto dump_output = [&](const OutputStreamState& ost) {
        AVFormatContext* output = run.output_files[ost.file_index];
        ff::av_dump_format(output, ost.file_index, output->url, 1);
    };
    for (int n = 0; n < ost_count; ++n) {
        OutputStreamState& ost = *run.ost_table[n];
        const AVMediaType type = ost.encoder->codec_type;
        int source = -1;
        if (stream_map_count > 0) {
            const TStreamMap& map = stream_maps[n];
            source = run.file_table[map.file_index].first_stream + map.stream_index;
            if (run.ist_table[source]->st->codecpar->codec_type != type) {
                dump_output(ost);
                throw FFMpegException(FormatText("Codec type mismatch for mapping #%d.%d -> #%d.%d", map.file_index,
                                                 map.stream_index, ost.file_index, ost.index));
            }
            ost.sync_ist = run.ist_table[run.file_table[map.sync_file_index].first_stream + map.sync_stream_index];
        } else {
            if (program_id != 0) {
                source = FindProgramStream(program_id, type);
            } else if (const int chosen = ChosenSourceStream(type);
                       chosen >= 0 && !run.file_table.empty() && chosen < run.file_table[0].stream_count &&
                       run.ist_table[chosen]->st->codecpar->codec_type == type) {
                // The track chosen for the person (by language or by the
                // source's default or forced flag).
                source = chosen;
            } else {
                // A cover picture is only ever taken when a map names it.
                auto candidate = [&](int i) {
                    const AVStream* st = run.ist_table[i]->st;
                    return st->codecpar->codec_type == type && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
                };
                for (int i = 0; i < static_cast<int>(run.ist_table.size()) && source < 0; ++i)
                    if (run.ist_table[i]->discard && candidate(i)) source = i;
                // Every stream of that kind is taken already: the last one
                // feeds this output as well.
                if (source < 0)
                    for (int i = static_cast<int>(run.ist_table.size()) - 1; i >= 0 && source < 0; --i)
                        if (candidate(i)) source = i;
            }
            if (source < 0) {
                dump_output(ost);
                throw FFMpegException(FormatText("Could not find input stream matching output stream #%d.%d",
                                                 ost.file_index, ost.index));
            }
        }
        ost.source_index = source;
        run.ist_table[source]->discard = 0;
        if (!ost.sync_ist) ost.sync_ist = run.ist_table[source];
    }
}

int TCustomFFmpeg::ChosenSourceStream(AVMediaType type) const {
    if (type == AVMEDIA_TYPE_AUDIO) return audio_source_stream;
    if (type == AVMEDIA_TYPE_SUBTITLE) return subtitle_source_stream;
    return -1;
}

int TCustomFFmpeg::FindProgramStream(int program, AVMediaType type) const {
    for (size_t file = 0; file < run.input_files.size(); ++file) {
        const AVFormatContext* input = run.input_files[file];
        for (unsigned p = 0; p < input->nb_programs; ++p) {
            const AVProgram* candidate = input->programs[p];
            if (candidate->id != program) continue;
            for (unsigned s = 0; s < candidate->nb_stream_indexes; ++s) {
                const int index = run.file_table[file].first_stream + static_cast<int>(candidate->stream_index[s]);
                const InputStreamState* ist = run.ist_table[index];
                if (ist->discard && ist->st->codecpar->codec_type == type) return index;
            }
        }
    }
    return -1;
}
