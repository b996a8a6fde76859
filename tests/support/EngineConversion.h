#pragma once
// Generated clips written once into a folder, and one conversion on the
// engine, on the calling thread: what tests and the quality benchmarks share.

#include <filesystem>
#include <string>

#include "TaskOptions.h"
#include "TestMedia.h"

// The clip's file in the folder, written unless it is there already.
std::string PrepareClip(const TestClip& clip, const std::filesystem::path& folder);
// Converts the input into options.FileName; throws the engine's exception when
// the conversion cannot be set up.
void ConvertWithEngine(const std::string& input, const TOutputOptions& options);
