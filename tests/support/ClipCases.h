#pragma once
// Tests run once for each generated clip: each case is named and printed
// after the clip's file.

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "TestMedia.h"

// The text as a test name: letters and digits kept, anything else '_'.
inline std::string TestNameOf(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

inline std::string ClipCaseName(const testing::TestParamInfo<TestClip>& info) {
    return TestNameOf(info.param.fileName);
}

inline void PrintTo(const TestClip& clip, std::ostream* stream) { *stream << clip.fileName; }
