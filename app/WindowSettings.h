#pragma once
// The output settings the window keeps between sessions, and how they are
// stored in the section "Options" of the settings file.

#include <cstdint>
#include <string>

struct TWindowSettings {
    std::string OutputPath;  // always ends in "/" once read
    int32_t Profile = 3;
    int32_t Resolution = 2;
    int32_t Channels = 1;
    std::string VideoQuality = "512";
    std::string AudioQuality = "80";
    int32_t VideoFrameRate = 10;
    // 44100 Hz: a list with no rate selected could not convert anything.
    int32_t AudioSampleRate = 4;
    bool Overwrite = true;
    bool ShutdownAfterCompleted = false;
    bool KeepShape = true;
};

// The stored settings; anything absent or unreadable keeps its default, and a
// missing or unreadable file gives the defaults throughout.
TWindowSettings ReadWindowSettings(const std::string& path);
// Writes the eleven keys; throws std::runtime_error "Unable to write to <path>".
void WriteWindowSettings(const std::string& path, const TWindowSettings& settings);
