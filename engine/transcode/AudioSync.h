#pragma once
// How far an audio output may drift from its sync source's clock, and what
// is done about it with "async": samples discarded, silence inserted, or the
// resampler asked to stretch.

#include <cstdint>

// Drifts of this many samples or fewer are never corrected.
inline constexpr double kAudioDriftTolerance = 50;
// The largest block after silence insertion, in bytes of 16-bit samples.
inline constexpr int kLargestSilencedBlock = 131072;

struct TAudioCorrection {
    enum Kind { None, Discard, Silence, Compensate };
    Kind kind = None;
    // Discard and Silence: input samples per channel; Compensate: output
    // samples to add (negative: to take away) over one second.
    int samples = 0;
    bool clears_start = false;  // the stream is no longer at its start
};

// `drift`: output samples the output lags behind its clock (negative: ahead).
// `threshold`: the "adrift_threshold" in output samples. The block is
// `block_samples` input samples per channel at `in_rate` with `in_channels`.
TAudioCorrection DecideAudioCorrection(double drift, bool at_start, double threshold, int sync_method, int out_rate,
                                       int in_rate, int in_channels, int block_samples);

// Without "async", the sound follows its packet clock only across real gaps.
// The clock of some inputs wavers around the true time (audio timed by byte
// count, as variable-rate MP3 in AVI is, runs ahead by a few hundred
// milliseconds and falls back again); following each step would leave holes
// in the sound and put it ever later. A gap counts as real when it is large,
// or when the clock stays ahead for long; it is filled with silence.
inline constexpr double kAudioGapToleranceSeconds = 0.04;
inline constexpr double kLargeAudioGapSeconds = 0.5;
inline constexpr double kLastingAudioGapSeconds = 4.0;

struct TAudioGapWatch {
    double ahead_samples = 0;  // output samples given while the clock stayed ahead
    double smallest_gap = 0;   // the smallest lead of the clock in that time
};

// Output samples of silence to put before a block of `block_samples` output
// samples when the clock is `gap` output samples ahead of the sound.
int64_t AudioGapToFill(TAudioGapWatch& watch, double gap, int rate, int block_samples);
