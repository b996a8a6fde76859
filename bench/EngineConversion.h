#pragma once
// What the quality benchmarks share: their generated clips, written once,
// and one conversion on the engine, on the calling thread.

#include <filesystem>
#include <string>

#include "TaskOptions.h"
#include "TestMedia.h"

// The clip's file in the folder, written unless it is there already.
std::string PrepareClip(const TestClip& clip, const std::filesystem::path& folder);
// Converts the input into options.FileName; throws std::runtime_error with
// the engine's message when the conversion cannot be set up.
void ConvertWithEngine(const std::string& input, const TOutputOptions& options);
