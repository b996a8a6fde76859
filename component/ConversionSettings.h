#pragma once
// The output settings of a conversion, as the window's controls and the
// command line give them.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Devices.h"
#include "InputDecisions.h"

struct TConversionSettings {
    // Every field the settings table has a row for starts at that row's
    // default; the table is the one place defaults are written.
    TConversionSettings();

    std::string OutputFolder;  // a "/" is added when missing; empty: the current folder
    int32_t VideoBitrateKbps = 0;
    int32_t AudioBitrateKbps = 0;
    int32_t Channels = 0;    // 1 mono, 2 stereo
    std::string FrameSize;
    std::string FrameRate;   // as listed: "Auto", "23.97", "29.97" or a plain number
    int32_t AudioSampleRate = 0;
    bool Overwrite = false;
    bool KeepShape = false;  // fit the picture at its own shape instead of stretching it
    size_t Device = kDefaultDeviceIndex;  // the row of the device table the files are made for
    TModelVideoLimit Model;  // where the iPod the files go to plays less than the row
    bool MusicVideo = false;  // mark outputs as music videos instead of movies or TV shows
    TInputChoices Inputs;     // what is wanted of each input's tracks
    // The input already plays on the device: its streams go into the
    // device's container unchanged, with its tags and chapters, and the
    // rates and picture settings are not used.
    bool CopyStreams = false;
};
