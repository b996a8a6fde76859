#pragma once
// What an iPod's track database says of itself in its headers, read without
// libgpod, to tell whether libgpod read all of it.

#include <cstdint>
#include <optional>
#include <string>

// The number of tracks the track database's own headers give; none when the
// file cannot be read or is not laid out as expected.
std::optional<uint32_t> TrackCountInHeaders(const std::string& itunesDbPath);
