#include "AudioSync.h"

#include <algorithm>
#include <cmath>

TAudioCorrection DecideAudioCorrection(double drift, bool at_start, double threshold, int sync_method, int out_rate,
                                       int in_rate, int in_channels, int block_samples) {
    TAudioCorrection correction;
    if (std::fabs(drift) <= kAudioDriftTolerance) return correction;
    if (at_start || std::fabs(drift) > threshold) {
        const auto in_drift = static_cast<int64_t>(std::trunc(drift * in_rate / out_rate));
        if (in_drift < 0) {
            correction.kind = TAudioCorrection::Discard;
            correction.samples = static_cast<int>(std::min<int64_t>(-in_drift, block_samples));
            correction.clears_start = true;
            return correction;
        }
        correction.kind = TAudioCorrection::Silence;
        const int64_t cap = kLargestSilencedBlock / (2 * std::max(in_channels, 1));
        if (in_drift + block_samples <= cap) {
            correction.samples = static_cast<int>(in_drift);
            correction.clears_start = true;
        } else {
            // The rest follows in front of the next blocks. A block that
            // fills the cap by itself still gets silence of its own, up to
            // the cap, so that the silence owed is never negative and always
            // gets smaller.
            const int64_t room = cap - block_samples;
            correction.samples = static_cast<int>(room > 0 ? room : std::min(in_drift, cap));
        }
        return correction;
    }
    if (sync_method > 1) {
        correction.kind = TAudioCorrection::Compensate;
        correction.samples = static_cast<int>(std::clamp<double>(std::trunc(drift), -sync_method, sync_method));
    }
    return correction;
}

int64_t AudioGapToFill(TAudioGapWatch& watch, double gap, int rate, int block_samples) {
    if (gap <= kAudioGapToleranceSeconds * rate) {
        watch = {};
        return 0;
    }
    if (gap >= kLargeAudioGapSeconds * rate) {
        watch = {};
        return std::llrint(gap);
    }
    watch.smallest_gap = watch.ahead_samples == 0 ? gap : std::min(watch.smallest_gap, gap);
    watch.ahead_samples += block_samples;
    if (watch.ahead_samples < kLastingAudioGapSeconds * rate) return 0;
    // Only what the clock never gave back is missing sound.
    const int64_t fill = std::llrint(watch.smallest_gap);
    watch = {};
    return fill;
}
