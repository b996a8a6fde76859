#pragma once
// The output profiles a person picks from: each sets the video and audio bit
// rates and the channels together. The window lists the labels in this order,
// and the command line's --profile takes a row's index.

#include <cstdint>
#include <span>

struct TOutputProfile {
    const char* Label;  // as the window lists it
    int32_t VideoBitrateKbps;
    int32_t AudioBitrateKbps;
    int32_t Channels;  // 1 mono, 2 stereo
};

std::span<const TOutputProfile> OutputProfiles();
