#pragma once
// What each device plays, applied to what a file holds (read back from it)
// and to the settings of a conversion before it starts. Each limit a file
// breaks is one short reason, e.g. "too wide for iPod: 720 > 640".

#include <cstdint>
#include <string>
#include <vector>

#include "Devices.h"
#include "JobBuilder.h"
#include "MediaFacts.h"

// The reasons the file would not play on the device (on the model of it
// that `model` describes, where that plays less), in a fixed order; empty
// when it plays.
std::vector<std::string> DeviceLimitBreaks(const TDevice& device, const TMediaFacts& facts,
                                           const TModelVideoLimit& model = {});
// "Completed", or "Completed (reason; reason)" for a file that will not play.
std::string CompletedStatus(const std::vector<std::string>& breaks);

// The largest file an iPod holds: its FAT file system holds none of 4 GiB or
// more, and its database keeps a track's size in 32 bits.
inline constexpr uint64_t kIpodLargestFile = 0xFFFFFFFFu;

// How fast a file goes onto an iPod, for the time a sync's plan says: an
// iPod with a hard disk takes about 10 MB a second over USB 2.0 (flash
// models more), which bounds a copy (a remux reads and writes at disk speed)
// and the copy of a converted file.
inline constexpr double kIpodWriteBytesPerSecond = 10e6;
// What each file of a sync costs beyond its conversion and its bytes:
// reading it, its poster, and the database read and written under the
// iPod's lock; measured by bench/sync_estimate_benchmark.
inline constexpr double kIpodFileSeconds = 0.55;

// The settings a conversion for the chosen device runs with: what the
// device (or the settings' model of it) cannot play brought within its
// limits, each change said in words,
// or the reason the conversion cannot be made at all.
struct TDevicePlan {
    TConversionSettings Settings;
    std::vector<std::string> Changes;
    std::string Refusal;  // empty when the conversion can run
    // The codec level the video is written at: the lowest that carries the
    // settings' picture size and rate.
    TDeviceLevel Level;
};
// Needs bound libraries, to tell whether they have the device's encoders.
// Without video (a list of sound files) the picture's settings are left
// as they are: nothing is said of them.
TDevicePlan PlanForDevice(const TConversionSettings& settings, bool withVideo = true);
// The frame rate that "Auto" stands for with an input of `rate` (numerator,
// denominator) pictures a second: empty when the device plays the input's
// own rate or it is unknown; else the input's rate divided by the smallest
// whole number that brings it within the device's, so that pictures are
// dropped evenly (50 gives 25, 59.94 gives 29.97), as "NUM/DEN".
std::string AutoFrameRateFor(const TDevice& device, std::pair<int, int> rate);
