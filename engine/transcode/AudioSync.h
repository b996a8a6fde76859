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
