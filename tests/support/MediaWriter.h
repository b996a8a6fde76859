#pragma once

#include <string>

#include "TestMedia.h"

// Encodes the clip's content with its encoders and muxer into `path`.
// Throws std::runtime_error naming the clip and the step that failed.
void WriteTestClip(const TestClip& clip, const std::string& path);
