#include "OutputProfiles.h"

namespace {

constexpr TOutputProfile kOutputProfiles[] = {
    {"Lowest Queality,    Video:128kbps, Audio:32kbps, 1 channels, Mono", 128, 32, 1},
    {"Lower Quality,      Video:256kbps, Audio:48kbps, 1 channels, Mono  ", 256, 48, 1},
    {"Low Quality,        Video:384kbps, Audio:64kbps, 1 channels, Mono", 384, 64, 1},
    {"Normal Quality,     Video:512kbps, Audio:80kbps, 2 channels, Stereo", 512, 80, 2},
    {"Meduim Quality,     Video:640kbps, Audio:96kbps, 2 channels, Stereo", 640, 96, 2},
    {"Preferable Quality, Video:768kbps, Audio:112kbps, 2 channels, Stereo", 768, 112, 2},
    {"High Quality,       Video:900kbps, Audio:128kbps, 2 channels, Stereo", 900, 128, 2},
    {"Superb Quality,     Video:1500kbps,Audio:160kbps, 2 channels, Stereo", 1500, 160, 2},
};

}  // namespace

std::span<const TOutputProfile> OutputProfiles() { return kOutputProfiles; }
