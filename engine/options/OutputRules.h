#pragma once
// Rules of output set-up that depend only on their arguments.

#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

// False when the filter text names a filter that changes the picture size
// (crop, rotate, scale, transpose), compared without regard to case.
bool FiltersKeepFrameSize(const std::string& text);

// Reads rate-control overrides "start,end,q/start,end,q/...": q > 0 forces
// that quantiser, q <= 0 scales the quality by -q/100. False when a start or
// end frame is not followed by a comma.
bool ParseRcOverride(const std::string& text, std::vector<RcOverride>& overrides);

// The entry of an encoder's list (ended by a zero denominator) nearest to the
// requested rate, the earlier one on equal distance; none for an empty list.
std::optional<AVRational> NearestSupportedRate(AVRational requested, const AVRational* supported);
