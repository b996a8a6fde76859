#include "PathHelpers.h"

#include <cmath>

#include "AVUtilHlpr.h"
#include "FFMpegException.h"
#include "FormatText.h"
#include "Stage.h"

bool AbsorbClockJump(int64_t& sync_shift, double difference_seconds, float threshold_seconds) {
    if (std::fabs(difference_seconds) <= static_cast<double>(threshold_seconds)) return false;
    sync_shift += std::llrint(difference_seconds * 1000000);
    return true;
}

namespace {

constexpr int kLowestSampleRate = 1000;

}  // namespace

void RefuseImplausibleSampleRate(int sample_rate, const char* file_name) {
    if (sample_rate > 0 && sample_rate < kLowestSampleRate)
        throw FFMpegException(
            FormatText("%s: sound at %d Hz cannot be converted, the file is damaged", file_name, sample_rate));
}

void RequireAccepted(bool accepted, const Stage& stage) {
    if (!accepted) throw FFMpegException(FormatText("the %s stage was closed before its work ended", stage.Name()));
}

AVFrame* RunFrame(AVFrame*& frame) {
    if (!frame) frame = ff::av_frame_alloc();
    if (!frame) throw FFMpegException("av_malloc fail");
    return frame;
}
