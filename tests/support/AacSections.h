#pragma once
// What the AAC encoder chose for each block of a file's first audio stream,
// read from the coded bits: the code books of the first channel's sections.
// Enough to tell whether a file uses perceptual noise substitution, which
// some players turn into crackle.

#include <string>

struct AacSectionCount {
    int blocks = 0;             // raw data blocks read
    int blocksWithNoise = 0;    // of them, those whose first channel has a noise section
};

// Requires bound libraries; throws std::runtime_error when the file cannot
// be read, holds no AAC audio, or a block does not parse as AAC-LC.
AacSectionCount CountAacNoiseSections(const std::string& path);
