#pragma once
// The tables of one transcoding run: what the run knows about each input file,
// each input stream and each output stream. `Transcode` builds them, the main
// loop and the video, audio and subtitle paths work on them, and
// `ReleaseRunTables` frees them on every way out of the run.

#include <cstdint>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
}

#include "AudioProcessor.h"
#include "AudioSync.h"
#include "OptionState.h"
#include "PicturePreparer.h"
#include "PictureTurn.h"
#include "Stage.h"
#include "VideoProcessor.h"

// The stages are reached through pointers only: a change to one rebuilds the
// files that build or feed it, not every user of the run's tables.
class AudioProcessStage;
class DecodeStage;
class EncodeStage;
class ReadStage;
class TapStage;
class VideoProcessStage;
class WriteStage;
struct TPosterShot;

struct OutputStreamState;

struct InputFileState {
    int eof_reached = 0;
    int first_stream = 0;  // index of the file's first entry in the input stream table
    int stream_count = 0;
    // Reads the file on a thread of its own, owned by the run's stages;
    // while it runs only it reads from the file.
    ReadStage* read_stage = nullptr;
};

struct InputStreamState {
    int file_index = 0;
    int stream_index = 0;   // within the file
    AVStream* st = nullptr; // owned by the input file
    int discard = 1;        // 1 while no output stream takes this stream as its source
    int decoding_needed = 0;
    AVCodecContext* decoder = nullptr;  // kept by the input set-up, opened by the run
    // Decodes on a thread of its own, owned by the run's stages; while it
    // runs only it touches the decoder.
    DecodeStage* decode_stage = nullptr;
    // The decoder's frame rate as of the last decoded picture.
    AVRational decoder_frame_rate{0, 1};

    // Reading at the native rate ("re").
    bool rate_emulation = false;
    int64_t emulation_start = 0;  // microseconds
    int64_t emulation_origin = AV_NOPTS_VALUE;  // microseconds: the first frame's time

    int64_t next_pts = AV_NOPTS_VALUE;  // microseconds: time of the next decoded frame
    int64_t pts = 0;                    // microseconds: time of the current frame
    int is_start = 1;
    float quality = 0;  // of the last decoded picture

    // The filter graph's ends, while a "vfilters" graph is in use.
    AVFilterContext* input_video_filter = nullptr;
    AVFilterContext* output_video_filter = nullptr;
    AVFilterGraph* filter_graph = nullptr;
    // The output stream on whose processing stage this stream's pictures
    // are deinterlaced and hooked; none when the run's thread does it.
    OutputStreamState* preparing_output = nullptr;
};

struct OutputStreamState {
    int file_index = 0;
    int index = 0;         // within the file
    int source_index = 0;  // into the input stream table
    AVStream* st = nullptr;          // owned by the output file
    AVCodecContext* encoder = nullptr;  // the stream's own codec context
    // Codes on a thread of its own, owned by the run's stages; while it runs
    // only it codes with the encoder.
    EncodeStage* encode_stage = nullptr;
    bool stream_copy = false;
    int encoding_needed = 0;
    int frame_number = 0;  // frames (packets) written
    InputStreamState* sync_ist = nullptr;
    // Video: position in encoder time-base units (frames); audio: samples given
    // to the encoder.
    int64_t sync_opts = 0;
    // End of the last packet written, in the stream's time base; where the
    // stream stands in the output.
    int64_t written_end = 0;
    // Decoding time of the last copied packet, in the stream's time base.
    int64_t last_copied_dts = AV_NOPTS_VALUE;
    // Taken off every copied packet of a stream that starts too late for
    // its container to hold the gap.
    int64_t copy_offset = 0;
    int64_t packets_written = 0;

    // Picture conversion: the bands and the shape, known at set-up; the
    // processor is built with them and the encoder's picture once the
    // encoder is open, and may work on a stage of its own.
    VideoProcessSettings video_settings;
    std::unique_ptr<VideoProcessor> video_processor;
    VideoProcessStage* process_stage = nullptr;

    // Audio conversion: whether the sound always goes through a resampler,
    // known at set-up; the processor is built once the encoder is open, and
    // may work on a stage of its own.
    bool audio_resample = false;
    std::unique_ptr<AudioProcessor> audio_processor;
    AudioProcessStage* audio_stage = nullptr;

    std::FILE* logfile = nullptr;  // two-pass statistics being written

    // ---- Video and audio paths --------------------------------------------
    // What the encoder said about the last frame it coded (its quality, in
    // lambda units, picture type and squared errors per plane).
    int coded_quality = 0;
    int coded_pict_type = 0;
    int64_t coded_packets = 0;  // what the encoder has given back so far
    uint64_t coded_error[4] = {0, 0, 0, 0};
    // Microseconds taken off the sync source's clock after a jump too large
    // to fill with copies of pictures (the audio processor keeps its own).
    int64_t sync_shift = 0;
    // The encoder has been told that no more input comes.
    bool flushed = false;
    // The last picture sent, repeated to fill a gap before the next one.
    AVFrame* last_picture = nullptr;
};

// Everything one call of Transcode builds; owned by the engine for the length
// of the run.
struct TranscodeRun {
    std::vector<AVFormatContext*> output_files;
    std::vector<AVFormatContext*> input_files;
    std::vector<InputFileState> file_table;
    std::vector<InputStreamState*> ist_table;
    std::vector<OutputStreamState*> ost_table;
    // Decoded data handed from decoding to the output paths, per task.
    AVFrame* decoded_frame = nullptr;
    AVPacket* read_packet = nullptr;
    std::vector<uint8_t> subtitle_out;  // encoded subtitle, 65536 bytes once used

    // ---- Video and audio paths, progress --------------------------------
    AVFrame* filtered_frame = nullptr;  // a picture taken from a filter graph
    AVFrame* encoder_frame = nullptr;   // a picture as handed to an encoder
    std::FILE* vstats = nullptr;  // per-frame video statistics ("vstats")
    std::array<int, 52> qp_histogram{};  // "qphist"
    double reported_time = 0;  // seconds; the progress time never goes back

    // Deinterlacing and the frame hooks, for every decoded picture.
    std::unique_ptr<PicturePreparer> picture_preparer;
    // The pieces of the work on threads of their own; joined before any
    // codec they work with is closed.
    StageSet stages;
    // The taps of the run, each with the input streams it wants (by index
    // into the input stream table); joined with the other stages.
    struct TapLink {
        TapStage* tap = nullptr;
        std::vector<bool> streams;
    };
    std::vector<TapLink> taps;
    // Per output file, while the files are written on threads of their own
    // (empty otherwise); while they run only they write to the files.
    std::vector<WriteStage*> write_stages;
    // The cover art: its stream in each output (-1: none) and its picture,
    // which the run's poster tap takes; none when no output keeps one.
    std::vector<int> poster_streams;
    std::shared_ptr<TPosterShot> poster;
};

// Frees the tables in the order they were built; safe on a partly built run
// and on one already released.
void ReleaseRunTables(TranscodeRun& run);
