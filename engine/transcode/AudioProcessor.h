#pragma once
// Decoded sound on its way to the encoder: kept in step with its sync
// source's clock (samples discarded, silence inserted, or the resampler
// asked to stretch), then converted and cut into the encoder's frames by its
// AudioConverter. It knows only the plain values it was built with and the
// state it keeps, so that it can work on a thread of its own
// (AudioProcessStage) as well as on the run's.

#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "AudioConverter.h"
#include "AudioSync.h"
#include "LibraryHandles.h"

struct AudioProcessSettings {
    int sync_method = 0;                 // "async"
    float drift_threshold_seconds = 0;   // "adrift_threshold"
    float clock_jump_seconds = 0;        // differences larger than this are jumps, not drift
    int64_t start_time_us = 0;           // "ss"
    int verbose = 0;
    bool exit_on_error = false;
    bool always_resample = false;
    std::string input_name;  // for the message about a damaged rate
    int file_index = 0;      // the output stream, for the log
    int stream_index = 0;
};

// What one block of sound (or the end) gave.
struct AudioBlockOutcome {
    struct EncoderFrame {
        TFramePtr frame;  // its pts the samples before it
        int samples = 0;  // real samples in it; the rest pads a last frame
    };
    std::vector<EncoderFrame> frames;
    std::vector<std::pair<int, std::string>> log;  // level and line
    // Ends the run, once the lines logged before it have been written.
    std::exception_ptr failure;
};

class AudioProcessor {
public:
    AudioProcessor(const AVCodecContext* encoder, const AudioProcessSettings& settings);

    // The block, decoded when the sync source's clock stood at `clock_us`,
    // or the end (nullptr). `at_start` is the source stream's: true until a
    // correction has been made at its start. When the sound cannot be
    // converted and the run is to end, the outcome holds the failure.
    void Process(const AVFrame* block, int64_t clock_us, int& at_start, AudioBlockOutcome& outcome);

private:
    void ProcessBlock(const AVFrame* block, int64_t clock_us, int& at_start, AudioBlockOutcome& outcome);
    // Whether anything of the block is left; `block` may be replaced by one
    // held in `corrected`.
    bool CorrectDrift(const AVFrame*& block, int64_t clock_us, int& at_start, TFramePtr& corrected,
                      AudioBlockOutcome& outcome);
    void Convert(const AVFrame* block, AudioBlockOutcome& outcome);
    void CutFrames(bool flushing, AudioBlockOutcome& outcome);
    void Note(AudioBlockOutcome& outcome, int level, std::string line) const;

    const AudioProcessSettings settings_;
    const int rate_;  // the encoder's
    AudioConverter converter_;
    int64_t given_ = 0;       // samples handed to the encoder
    int64_t clock_shift_ = 0;  // microseconds taken off the clock after jumps
    TAudioGapWatch gap_;
};
