// The one place where a run's stages are built and joined: which pieces of
// the work get a thread of their own. Each stage is lent the library object
// it works on and given plain values; none holds on to the engine.
//
// Reading and writing change nothing the loop looks at: each input is read
// in order, whatever stretch ahead of the loop, and each output gets its
// packets in the order the loop hands them over, while the loop keeps its
// own count of where each stream stands. Only the size limit looks at the
// written file, after every packet: with it, processing pictures and writing
// stay on the loop's thread too.
//
// A stage whose work only comes back later may change what the loop sees
// when it decides what to read next and where to end: decoding moves the
// stream's clock, coding and processing sound move where a sound stream
// stands in the output. Those run on threads only when the run ends with its
// inputs and has one input, so that it ends at the same picture; sound is
// processed on a thread when its stream feeds no other output, whose
// corrections at the start it would share. Processing pictures changes
// nothing the loop looks at, since each picture's place in the output is
// decided when it is handed out, so it has its own thread in every run that
// may use threads and has no size limit; so do deinterlacing and the frame
// hooks, on that same thread, where one output's stage can take them for the
// whole run. The hooks are lent the task's hook state for the run, and are
// given the task only to pass it to their handlers.

#include <memory>

#include "AudioProcessStage.h"
#include "DecodeStage.h"
#include "EncodeStage.h"
#include "FFmpeg.h"
#include "PosterTap.h"
#include "ReadStage.h"
#include "RunTables.h"
#include "TapStage.h"
#include "VideoProcessStage.h"
#include "WriteStage.h"

namespace {

// Packets a decoder and frames an encoder may run ahead of the run's thread:
// enough to keep them busy while the run prepares the next picture, few
// enough to hold only a handful of pictures.
constexpr size_t kDecodeStageLag = 4;
constexpr size_t kEncodeStageLag = 4;
// Pictures the video processor may run ahead: making one takes a fraction
// of decoding or coding one, so a few absorb the unevenness.
constexpr size_t kProcessStageLag = 3;
// Blocks of sound the audio processor may run ahead: it is quick, a few
// keep it from waking for every block.
constexpr size_t kAudioStageLag = 4;

}  // namespace

bool TCustomFFmpeg::StagesAllowed() const { return decoder_threads != 1 && !StopsAtALimit(); }

// The size limit looks at the first file after every packet read, so with
// it each picture must be coded and written by the time the loop reads on.
bool TCustomFFmpeg::OutputMayLag() const { return decoder_threads != 1 && limit_filesize == 0; }

void TCustomFFmpeg::BuildStages() {
    run.picture_preparer = std::make_unique<PicturePreparer>(
        PictureHookLinks{video_hooks, frame_hooks, vhook_active, custom_hook_active, this}, deinterlace != 0);
    OutputStreamState* preparing = PreparingOutput();
    for (OutputStreamState* ost : run.ost_table) {
        if (ost->encoding_needed && ost->encoder->codec_type == AVMEDIA_TYPE_AUDIO)
            ost->audio_processor = std::make_unique<AudioProcessor>(ost->encoder, AudioSettings(*ost));
        if (!ost->encoding_needed || ost->encoder->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        VideoProcessSettings settings = ost->video_settings;
        settings.pad_colour = PadColour{padcolor_y, padcolor_u, padcolor_v};
        settings.scaler_flags = sws_flags;
        settings.width = ost->encoder->width;
        settings.height = ost->encoder->height;
        settings.pixel_format = ost->encoder->pix_fmt;
        ost->video_processor = std::make_unique<VideoProcessor>(settings);
        if (OutputMayLag())
            ost->process_stage = &run.stages.Add<VideoProcessStage>(
                *ost->video_processor, ost == preparing ? run.picture_preparer.get() : nullptr, kProcessStageLag);
    }
    if (preparing) run.ist_table[preparing->source_index]->preparing_output = preparing;
    if (run.poster)
        AddFrameTap(std::make_unique<PosterTap>(*PosterSource(run.input_files[0]), run.input_files[0]->duration,
                                                poster_width, run.poster));
    for (std::unique_ptr<FrameTap>& tap : frame_taps) {
        std::vector<bool> streams;
        for (const InputStreamState* ist : run.ist_table)
            streams.push_back(ist->decoding_needed && tap->Wants(*ist->st));
        run.taps.push_back({&run.stages.Add<TapStage>(std::move(tap)), std::move(streams)});
    }
    frame_taps.clear();
    if (decoder_threads == 1) return;
    for (size_t file = 0; file < run.input_files.size(); ++file)
        run.file_table[file].read_stage =
            &run.stages.Add<ReadStage>(run.input_files[file], PacketDump{packet_dump != 0, hex_dump != 0});
    if (OutputMayLag())
        for (AVFormatContext* output : run.output_files) run.write_stages.push_back(&run.stages.Add<WriteStage>(output));
    if (!StagesAllowed()) return;
    for (InputStreamState* ist : run.ist_table) {
        const AVMediaType kind = ist->decoder ? ist->decoder->codec_type : AVMEDIA_TYPE_UNKNOWN;
        if (ist->decoding_needed && (kind == AVMEDIA_TYPE_VIDEO || kind == AVMEDIA_TYPE_AUDIO))
            ist->decode_stage = &run.stages.Add<DecodeStage>(ist->decoder, kDecodeStageLag);
    }
    if (run.input_files.size() != 1) return;
    for (OutputStreamState* ost : run.ost_table)
        if (ost->audio_processor && OnlyEncodedOutputOf(*ost))
            ost->audio_stage = &run.stages.Add<AudioProcessStage>(*ost->audio_processor, kAudioStageLag);
    for (OutputStreamState* ost : run.ost_table) {
        const AVMediaType kind = ost->encoder->codec_type;
        // Two-pass statistics are read from the encoder packet by packet.
        if (ost->encoding_needed && !ost->logfile && (kind == AVMEDIA_TYPE_VIDEO || kind == AVMEDIA_TYPE_AUDIO))
            ost->encode_stage = &run.stages.Add<EncodeStage>(ost->encoder, kEncodeStageLag);
    }
}

// The output stream whose processing stage deinterlaces and hooks the
// pictures: the only encoded output of the only decoded video stream, fed
// without a filter graph, since the hooks share one state, see every
// picture once and come before any filter. None when the pictures pass
// unchanged: then the run's thread only counts them.
OutputStreamState* TCustomFFmpeg::PreparingOutput() const {
    if (!OutputMayLag() || !run.picture_preparer->ChangesPictures()) return nullptr;
    const InputStreamState* source = nullptr;
    for (const InputStreamState* ist : run.ist_table) {
        if (!ist->decoding_needed || !ist->decoder || ist->decoder->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (source) return nullptr;
        source = ist;
    }
    if (!source || source->filter_graph) return nullptr;
    OutputStreamState* found = nullptr;
    for (OutputStreamState* ost : run.ost_table) {
        if (run.ist_table[ost->source_index] != source || !ost->encoding_needed) continue;
        if (found) return nullptr;
        found = ost;
    }
    return found;
}

AudioProcessSettings TCustomFFmpeg::AudioSettings(const OutputStreamState& ost) const {
    AudioProcessSettings settings;
    settings.sync_method = audio_sync_method;
    settings.drift_threshold_seconds = audio_drift_threshold;
    settings.clock_jump_seconds = dts_delta_threshold;
    settings.start_time_us = start_time;
    settings.verbose = verbose;
    settings.exit_on_error = exit_on_error != 0;
    settings.always_resample = ost.audio_resample;
    settings.input_name = run.input_files[run.ist_table[ost.source_index]->file_index]->url;
    settings.file_index = ost.file_index;
    settings.stream_index = ost.index;
    return settings;
}

// Whether no other encoded output takes the stream's source: its sound
// corrections at the start then concern this output alone.
bool TCustomFFmpeg::OnlyEncodedOutputOf(const OutputStreamState& ost) const {
    for (const OutputStreamState* other : run.ost_table)
        if (other != &ost && other->source_index == ost.source_index && other->encoding_needed) return false;
    return true;
}

void TCustomFFmpeg::StopStages() {
    run.stages.JoinAll();
    run.taps.clear();
    for (InputFileState& file : run.file_table) file.read_stage = nullptr;
    run.write_stages.clear();
    for (InputStreamState* ist : run.ist_table) {
        ist->decode_stage = nullptr;
        ist->preparing_output = nullptr;
    }
    for (OutputStreamState* ost : run.ost_table) {
        ost->encode_stage = nullptr;
        ost->process_stage = nullptr;
        ost->audio_stage = nullptr;
    }
}
