#pragma once
// The transcoding engine of one conversion task: its option state, the
// operations that fill it (named options, typed setters, inputs, outputs,
// presets) and the option-holding contexts that carry library options the
// option table does not know.

#include <array>
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "FFMpegException.h"
#include "FrameHook.h"
#include "LibraryHandles.h"
#include "OptionState.h"
#include "FrameTap.h"
#include "VideoHooks.h"

class TCustomFFmpeg;
// The run's own tables (RunTables.h), which only the transcoding core reads.
struct AudioBlockOutcome;
struct AudioProcessSettings;
struct InputStreamState;
struct OutputStreamState;
struct TranscodeRun;
struct VideoPictureJob;

// The television norm a target preset is applied for; film takes the NTSC
// picture sizes at its own frame rate.
enum class TTargetNorm { Pal, Ntsc, Film };

// Receives the engine's log lines: level -1 quiet, 0 error, 1 information,
// 2 debug, 3 everything.
using TLogHandler = void (*)(void* user_data, TCustomFFmpeg* sender, int level,
                             const std::string& text);

// The decoder threads an engine starts with: TOVRELA_DECODER_THREADS when it
// holds a count from 0 to 64 (1 converts the way a single-threaded build
// did, the benchmark's baseline), else 0.
int32_t DefaultDecoderThreads();

class TCustomFFmpeg : public TOptionState {
public:
    TCustomFFmpeg();
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // ---- Engine life and option core ----------------------------------

    // Prepares the engine for a new task: clean-up, defaults, and fresh
    // option-holding contexts. Does nothing while the libraries are unbound.
    void Initialize();
    // Releases everything the task opened: the option-holding contexts, the
    // outputs (removing output files left empty), the inputs and the option
    // buffers.
    void CleanUp();
    // Every option to its default; the working fields to their start values.
    void ResetOptions();

    // Applies one option of the option table by name; names the table does
    // not know go to SetGenericOption. Raises FFMpegException or, for a value
    // that is not a number where one is needed, ConversionError.
    void SetOption(const std::string& name, const std::string& value);
    // Applies lines of the form name=value in order; the first error stops it.
    void ApplyOptionText(const std::string& text);
    // Hands an option to the generic contexts; true when one accepted it.
    bool SetGenericOption(const std::string& name, const std::string& value);
    bool SetGenericOptionInt(const std::string& name, int32_t value);

    // Typed setters; each stores only under its own condition.
    void SetVerbose(int32_t level);
    void SetAudioVolume(int32_t volume);          // >= 0
    void SetAudioSyncMethod(int32_t method);
    void SetVideoSyncMethod(int32_t method);
    void SetMuxMaxDelay(float seconds);           // > 0
    void SetMuxPreload(float seconds);            // > 0
    void SetTitle(const std::string& text);       // non-empty
    void SetAuthor(const std::string& text);
    void SetCopyright(const std::string& text);
    void SetComment(const std::string& text);
    void SetGenre(const std::string& text);
    void SetAlbum(const std::string& text);
    void SetTrack(int32_t track);                 // > 0
    void SetYear(int32_t year);                   // > 0
    void SetStartTime(int64_t microseconds);      // > 0
    void SetProgramId(int32_t id);                // >= 0
    void SetRecordingTimeMs(int64_t milliseconds);  // > 0

    void SetLogHandler(TLogHandler handler, void* user_data);
    // Passes a line to the log handler, when one is set.
    void Log(int level, const std::string& text);
    void Log(const std::string& text) { Log(1, text); }

    // ---- Option value handlers ----------------------------------------

    void SetInputFormat(const std::string& name);
    void SetOutputFormat(const std::string& name);
    void SetFrameRate(const std::string& text);
    void SetFrameSize(const std::string& text);
    void SetAspectRatio(const std::string& text);
    void SetBitrate(const std::string& name, const std::string& value);
    void SetCropTop(int32_t pixels);
    void SetCropBottom(int32_t pixels);
    void SetCropLeft(int32_t pixels);
    void SetCropRight(int32_t pixels);
    void SetPadTop(int32_t pixels);
    void SetPadBottom(int32_t pixels);
    void SetPadLeft(int32_t pixels);
    void SetPadRight(int32_t pixels);
    void SetPadColor(int32_t rgb);  // red in bits 0-7, green 8-15, blue 16-23
    void SetVideoQScale(float qscale);
    void SetAudioSampleRate(int32_t rate);
    void SetAudioChannels(int32_t channels);
    void SetVideoCodec(const std::string& name);
    void SetAudioCodec(const std::string& name);
    void SetVideoTag(const std::string& tag);
    void SetAudioTag(const std::string& tag);
    void SetVideoFilters(const std::string& text);

    // ---- Inputs, outputs and presets ----------------------------------

    // Raise FFMpegException when the file cannot be opened or created.
    void OpenInputFile(const std::string& fileName);
    void OpenOutputFile(const std::string& fileName);
    void SetTarget(const std::string& text);
    void SetTargetWithNorm(const std::string& target, const std::string& norm,
                           const std::string& fallbackNorm);
    void AddNewVideo();
    void AddNewAudio();
    void AddNewSubtitle();

    // ---- Engine fields --------------------------------------------------

    int64_t total_duration_ms = -1;  // task duration; -1 = unknown

    // Option holders for what the option table does not know, one codec
    // context per media kind (video, audio, data, subtitle, attachment).
    std::array<TCodecContextPtr, kMediaKindCount> codec_option_contexts;
    TFormatContextPtr format_option_context;
    TScalerContextPtr scaler_option_context;

    // ---- Transcoding core (engine/transcode) ----------------------------

    // Converts the opened inputs into the created outputs: maps the streams,
    // opens the codecs, writes the headers, runs the main loop, flushes and
    // writes the trailers. Raises FFMpegException on a fatal error; a stop
    // request ends the run early with finished, valid outputs.
    void Transcode();
    // Closes every codec a failed run left open.
    void CloseOpenedCodecs();
    // A stage that receives the next run's decoded frames (see FrameTap);
    // the run takes it over and joins it with its other stages.
    void AddFrameTap(std::unique_ptr<FrameTap> tap) { frame_taps.push_back(std::move(tap)); }

    // Set from another thread to end the run; read once per pass of the loop.
    std::atomic<bool> stop_requested{false};
    bool finished_normally = false;
    // Whether a finished output may replace a file that holds its name by
    // then; when not, it takes the next free "(n)" name. A stopped output
    // never replaces a file: it goes beside it as "NAME (stopped).EXT".
    bool replace_existing_outputs = true;
    // The names the outputs of the last run were finished under, in output
    // order; empty for an output that was not finished.
    std::vector<std::string> written_outputs;
    int64_t progress_interval_us = 500000;
    // Threads each decoder of a run decodes with; 0 lets the library take
    // one per core. With any count but 1, video is decoded on a thread of
    // its own beside the run's. The output is the same whatever the count.
    int32_t decoder_threads = DefaultDecoderThreads();
    // Set by the component while a custom frame hook is attached: such a hook
    // needs decoded pictures, which a copied video stream never has.
    bool custom_hook_active = false;

    // ---- Progress callback (conversion component) -----------------------
    // The values of one progress report, in the units the component's
    // progress event passes on.
    struct TProgressValues {
        int32_t frame_number = -1;         // frames encoded in the first video output, -1 without one
        int32_t fps = -1;                  // frames per second since the start, -1 without video
        int32_t current_duration_ms = 0;   // output written so far
        float quality = -1.0f;             // video quantiser, -1 when copying or without video
        float bit_rate_kbits = 0;          // output so far, kilobits per second
        int64_t current_size = 0;          // bytes written so far
        int32_t total_duration_ms = -1;    // the task's duration, -1 when unknown
    };
    using TProgressHandler = void (*)(void* user_data, TCustomFFmpeg* sender, const TProgressValues& values);
    // Called by the progress report, when set, at most once per progress interval.
    TProgressHandler progress_handler = nullptr;
    void* progress_user_data = nullptr;
    // ---- End of progress callback ---------------------------------------

    // ---- Frame hooks (engine/transcode/VideoHooks.cpp) ------------------
    // At most one of the two hooks is attached: attaching one detaches the
    // other. Both stay until CleanUp, or until the custom hook stops.
    void SetBeforeHook(TBeforeHookHandler handler, void* user_data);
    void SetCustomHook(TCustomHookHandler handler, void* user_data);
    // The spans in which the frame hooks act when no before-hook decides;
    // kept by ascending end, the cursor on the first.
    void SetHookTimeRanges(std::vector<THookTimeRange> ranges);
    // Installed by "vhook" in installation order; released by CleanUp.
    FrameHookChain frame_hooks;
    // ---- End of frame hooks ---------------------------------------------

    // ---- Video and audio paths (engine/transcode) -----------------------
    // Pictures repeated and pictures left out to keep the video at its frame
    // rate, over the last run.
    int32_t frames_duplicated = 0;
    int32_t frames_dropped = 0;
    // The text of the last progress report.
    std::string progress_line;

private:
    // ---- Option core (private) ----------------------------------------
    void CreateOptionContexts();
    void CloseOutputs();
    // The name of the option that took the value, empty when none did.
    std::string SetOnGenericContexts(const std::string& name, const std::string& value);
    bool KeepPrivateOption(const std::string& name, const std::string& value);

    // ---- Option value handlers (private) --------------------------------
    // Reached only by name, through the option table.
    friend struct TOptionTableRows;
    void AddOutputMetadata(const std::string& keyAndValue);  // "key=value"
    void SetFormat(const std::string& name);
    void SetPixelFormat(const std::string& name);
    void SetSampleFormat(const std::string& name);
    void SetTopFieldFirst(int32_t value);
    void SetMeThreshold(int32_t value);
    void SetVideoChannel(int32_t channel);
    void SetVideoStandard(const std::string& text);
    void SetRcOverride(const std::string& text);
    void SetSubtitleCodec(const std::string& name);
    void AddVideoHook(const std::string& text);
    void AddStreamMap(const std::string& text);
    void AddMetaDataMap(const std::string& text);
    void SetInputTsScale(const std::string& text);
    void SetRecordingTime(const std::string& text);
    void SetStartTimeText(const std::string& text);
    void SetInputTsOffset(const std::string& text);
    void SetRecordingTimestamp(const std::string& text);
    void SetPass(int32_t pass);
    void SetIntraMatrix(const std::string& text);
    void SetInterMatrix(const std::string& text);
    void SetVstats();
    void SetVstatsFile(const std::string& name);
    void AddBitstreamFilter(const std::string& name, const std::string& text);
    bool HasLogHandler() const { return log_handler != nullptr; }
    TLogHandler log_handler = nullptr;
    void* log_user_data = nullptr;

    // ---- Inputs, outputs and presets (private) ------------------------
    // Looks a codec up by name; an empty name gives AV_CODEC_ID_NONE. Raises
    // FFMpegException when no codec of that name and media kind exists.
    AVCodecID FindCodecId(const char* name, AVMediaType kind, bool encoder);
    // Copies the accepted generic options whose flags include all of `flags`
    // from an option-holding context onto a real one.
    void ApplyOptionNames(void* target, void* option_context, int flags);
    void ApplyPrivateOptions(void* target, TPrivateOptionOwner owner, int kind_flag);
    void ClearPendingInputOptions();
    void TakeOverStreamProperties(AVFormatContext* context, const std::string& fileName, int input_index);
    AVCodecContext* NewDecoderContext(const AVStream* stream);
    void CreateOutput(const std::string& fileName, int output_index);
    void DiscardFailedOutput(int output_index);
    void PrepareOutputFile(const std::string& fileName, int output_index);
    void CheckInputMediaTypes(bool& has_video, bool& has_audio, bool& has_subtitle) const;
    void AddOutputStreams(AVFormatContext* output, int output_index);
    void NewVideoStream(AVFormatContext* output, int output_index);
    void NewAudioStream(AVFormatContext* output, int output_index);
    void NewSubtitleStream(AVFormatContext* output, int output_index);
    void SetVideoEncoding(AVCodecContext* encoder);
    void SetAudioEncoding(AVCodecContext* encoder);
    AVStream* AttachStream(AVFormatContext* output, int output_index, TCodecContextPtr encoder,
                           bool stream_copy, TBitstreamFilterChain& pending_filters);
    void SetOutputMetadata(AVFormatContext* output);
    void SetMuxerOptions(AVFormatContext* output);
    TTargetNorm DecideNorm(const std::string& norm, const std::string& fallback);

    // ---- Frame hooks (private) -------------------------------------------
    void ReleaseVideoHooks();
    TVideoHookState video_hooks;

    // ---- Transcoding core (private, engine/transcode) -------------------
    // The taps added for the next run; the run takes them over.
    std::vector<std::unique_ptr<FrameTap>> frame_taps;
    // Set-up.
    void BuildInputTables();
    void ChooseSources();
    int FindProgramStream(int program_id, AVMediaType type) const;
    // The first input's stream chosen for outputs of the kind; -1: none.
    int ChosenSourceStream(AVMediaType type) const;
    void DeriveCodecParameters();
    void SetUpStreamCopy(OutputStreamState& ost, InputStreamState& ist);
    void SetUpEncoding(OutputStreamState& ost, InputStreamState& ist);
    void SetUpPictureShape(OutputStreamState& ost, const InputStreamState& ist);
    void SetUpSubtitleBurning(OutputStreamState& ost, const InputStreamState& ist);
    void SetUpPictureColours(OutputStreamState& ost, const InputStreamState& ist);
    void OpenPassLogFile(OutputStreamState& ost, int ost_number);
    void OpenEncoders();
    void OpenDecoders();
    void CopyMetaDataMaps();
    void CopyInputChapters();
    void InitBitstreamFilters();
    void WriteHeaders();
    void OpenTemporaryOutput(int file);
    void LogStreamMapping();
    void LogSdp();
    // Main loop.
    void RunMainLoop();
    void CorrectTimestamps(int file_index, InputStreamState& ist, AVPacket* pkt);
    // Raises FFMpegDecodeError when the stream's decoder refuses the packet.
    void ProcessInputPacket(InputStreamState& ist, const AVPacket* pkt);
    // Logs a refused packet, or ends the run with it under "xerror".
    void ReportDecodeError(const FFMpegDecodeError& error);
    void HandOutFrame(InputStreamState& ist, AVFrame* frame);
    void HandOutSubtitle(InputStreamState& ist, const AVSubtitle* sub, int64_t pts);
    void ApplyVolume(AVFrame* frame) const;
    // Whether a time on the run's clock lies between "ss" and "ss" + "t".
    bool WithinRecording(int64_t time) const;
    void DecodePacket(InputStreamState& ist, const AVPacket* pkt);
    void DecodeOnStage(InputStreamState& ist, const AVPacket* pkt);
    void TakeDecodedFrame(InputStreamState& ist, AVFrame* frame, int index_in_packet, bool from_packet);
    void CopyPacket(OutputStreamState& ost, InputStreamState& ist, const AVPacket* pkt, int64_t packet_time);
    void EmulateRate(InputStreamState& ist);
    void FinishRun();
    bool NothingWritten() const;
    // `stopped`: the run was asked to stop before its files were finished.
    void CompleteOutputs(bool stopped);
    void DiscardOutputs(bool stopped);
    void CloseEncoder(OutputStreamState& ost);
    void CloseDecoder(InputStreamState& ist);
    bool StopsAtALimit() const;
    // Stages (RunStages.cpp).
    bool StagesAllowed() const;
    bool OutputMayLag() const;
    void BuildStages();
    OutputStreamState* PreparingOutput() const;
    AudioProcessSettings AudioSettings(const OutputStreamState& ost) const;
    bool OnlyEncodedOutputOf(const OutputStreamState& ost) const;
    void StopStages();
    double OutputTime(const OutputStreamState& ost) const;
    // Encoding paths: each takes one decoded frame (none to flush) and writes
    // what the encoder gives back.
    void EncodeVideoFrame(OutputStreamState& ost, InputStreamState& ist, AVFrame* frame);
    void EncodeAudio(OutputStreamState& ost, InputStreamState& ist, AVFrame* frame);
    void EncodeSubtitle(OutputStreamState& ost, InputStreamState& ist, const AVSubtitle* sub, int64_t pts);
    // Codes a frame (none: the end) with the stream's encoder, on its stage
    // when it has one, and writes the packets that come back.
    void Encode(OutputStreamState& ost, const AVFrame* frame);
    void DrainEncoder(OutputStreamState& ost);
    void WriteEncodedPacket(OutputStreamState& ost, AVPacket* pkt);
    void ReportProgress(bool last_report);
    // Video path.
    int ConfigureVideoFilters(InputStreamState& ist, OutputStreamState& ost);
    void FilterVideoFrame(InputStreamState& ist, AVFrame* frame);
    void FlushVideoFilters(InputStreamState& ist);
    void TakeFilteredPictures(InputStreamState& ist);
    void EncodeForOutputs(InputStreamState& ist, AVFrame* frame);
    void PreprocessVideoFrame(InputStreamState& ist, AVFrame* frame);
    int VideoFrameCopies(OutputStreamState& ost, double sync_time);
    void ProcessOnStage(OutputStreamState& ost, VideoPictureJob job, bool last);
    void PrepareOnStage(OutputStreamState& ost, const InputStreamState& ist, const AVFrame* frame);
    void SendVideoPictures(OutputStreamState& ost, const VideoPictureJob& job);
    void SendVideoPicture(OutputStreamState& ost, const VideoPictureJob& job, AVFrame* picture, int64_t pts);
    void ReportPictureError(const char* message);
    // Audio path.
    void EncodeAudioFrames(OutputStreamState& ost, const AudioBlockOutcome& outcome);
    // Statistics of coded frames.
    void NoteCodedPacket(OutputStreamState& ost, const AVPacket* pkt);
    void WriteVideoStats(OutputStreamState& ost, int frame_size);
    std::string QualityHistogramText(float quality);
    std::string PsnrText(const OutputStreamState& ost, bool last_report, int frame_number) const;
    // Packet writing.
    void WritePacket(OutputStreamState& ost, AVPacket* pkt);
    void FilterAndWrite(OutputStreamState& ost, AVPacket* pkt, size_t filter_index);
    void WaitForWriting(size_t file);
    void RefuseFailedWrite(size_t file, int result) const;
    void FlushBitstreamFilters(OutputStreamState& ost);
    void ReportFilterFailure(const OutputStreamState& ost, const AVBSFContext* filter, int stream_index, int code);

    // The tables of the current run, built and released by Transcode.
    std::unique_ptr<TranscodeRun> run_tables;
    TranscodeRun& run;
    // Counted for the progress report and the final summary.
    int64_t video_size = 0;
    int64_t audio_size = 0;
    int64_t extra_size = 0;
    int64_t run_start_time = 0;
    int64_t last_report_time = 0;
    std::string filter_error;
    // Codecs opened by a run, newest first, so that a failed run can still
    // close them; closing releases the context its holder keeps.
    std::list<TCodecContextPtr*> opened_encoders;
    std::list<TCodecContextPtr*> opened_decoders;
};
