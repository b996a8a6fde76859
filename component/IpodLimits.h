#pragma once
// The iPod's published limits for video files, checked on what a file holds
// (read back from it) or on what a conversion's settings will write. Each
// limit a file breaks is one short reason, e.g. "too wide for iPod: 720 > 640".

#include <cstdint>
#include <string>
#include <vector>

#include "JobBuilder.h"
#include "MediaFacts.h"

// The most video the iPod takes, in bits per second.
inline constexpr int32_t kIpodMaxVideoBitRate = 2500000;

// The reasons the file would not play, in a fixed order; empty when it plays.
std::vector<std::string> IpodLimitBreaks(const TMediaFacts& facts);
// What a conversion with these settings writes, as far as the settings tell
// it; what they leave to the input (an "Auto" frame rate) stays unknown.
TMediaFacts PlannedFacts(const TConversionSettings& settings);
// "Completed", or "Completed (reason; reason)" for a file that will not play.
std::string CompletedStatus(const std::vector<std::string>& breaks);
