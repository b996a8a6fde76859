#pragma once
// The output settings the window keeps between sessions, and how they are
// stored in the section "Options" of the settings file.

#include <array>
#include <cstdint>
#include <string>

// One item of the Video Size list and the number Options.ini stores for it.
struct TVideoSizeItem {
    const char* Text;
    int32_t StoredIndex;
};
// The Video Size list in the order it shows. A size added later takes the
// next stored number, wherever it shows, so that a stored number keeps
// meaning the size it meant.
inline constexpr std::array<TVideoSizeItem, 9> kVideoSizeItems = {{{"160x120", 0},
                                                                   {"320x180", 1},
                                                                   {"320x240", 2},
                                                                   {"480x480", 3},
                                                                   {"640x480", 8},
                                                                   {"640x272", 4},
                                                                   {"640x360", 5},
                                                                   {"720x306", 6},
                                                                   {"720x320", 7}}};

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
    int32_t Device = 0;  // the row of the device list
    // The folder of the iPod the files go to, empty for none; chosen again
    // whenever that iPod is connected.
    std::string Ipod;
    bool KeepCopy = true;  // files put on the iPod stay in the output folder too
    // The window's size when it was last closed (its size before it was
    // maximised, when it was), and whether it was maximised.
    int32_t WindowWidth = 655;
    int32_t WindowHeight = 448;
    bool WindowMaximized = false;
};

// The stored settings; anything absent or unreadable keeps its default, and a
// missing or unreadable file gives the defaults throughout.
TWindowSettings ReadWindowSettings(const std::string& path);
// Writes the seventeen keys; throws std::runtime_error "Unable to write to <path>".
void WriteWindowSettings(const std::string& path, const TWindowSettings& settings);
