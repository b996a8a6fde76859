#pragma once
// The settings the window keeps between sessions, and how they are stored
// in the section "Options" of the settings file: the rows of the settings
// table under their keys, and the window's own (the iPod, its size).

#include <cstdint>
#include <string>

#include "SettingsTable.h"

struct TWindowSettings {
    // A value for every row of the settings table; the output folder always
    // ends in "/" once read.
    TSettingValues Values = DefaultSettingValues(true);
    // The folder of the iPod the files go to, empty for none; chosen again
    // whenever that iPod is connected.
    std::string Ipod;
    bool KeepCopy = true;  // files put on the iPod stay in the output folder too
    // The window's size when it was last closed (its size before it was
    // maximised, when it was), and whether it was maximised; none when the
    // file has no size.
    int32_t WindowWidth = -1;
    int32_t WindowHeight = -1;
    bool WindowMaximized = false;
};

// The stored settings; anything absent or unreadable keeps its default, and a
// missing or unreadable file gives the defaults throughout.
TWindowSettings ReadWindowSettings(const std::string& path);
// Writes every key; throws std::runtime_error "Unable to write to <path>".
void WriteWindowSettings(const std::string& path, const TWindowSettings& settings);
