#include "PathHelpers.h"

#include <cmath>

#include "AVUtilHlpr.h"
#include "FFMpegException.h"

bool AbsorbClockJump(OutputStreamState& ost, double difference_seconds, float threshold_seconds) {
    if (std::fabs(difference_seconds) <= static_cast<double>(threshold_seconds)) return false;
    ost.sync_shift += std::llrint(difference_seconds * 1000000);
    return true;
}

AVFrame* RunFrame(AVFrame*& frame) {
    if (!frame) frame = ff::av_frame_alloc();
    if (!frame) throw FFMpegException("av_malloc fail");
    return frame;
}
