#pragma once
// An engine prepared for a task on the system libraries, with its log lines
// collected and a scratch folder at hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ExpectEngineError.h"
#include "FFmpeg.h"
#include "TestFiles.h"
#include "TestMedia.h"

// The engine is the engine's own class, or a class built on it.
template <class Engine>
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_THROW(BindTestLibraries());
        engine.SetLogHandler(&Collect, &logged);
        engine.Initialize();
    }

    // What a task opened goes, and options that change process-wide library
    // settings put them back, so that no test leaks into the next.
    void TearDown() override {
        engine.CleanUp();
        engine.SetVerbose(1);
    }

    static void Collect(void* user_data, TCustomFFmpeg*, int, const std::string& text) {
        static_cast<std::vector<std::string>*>(user_data)->push_back(text);
    }

    // Whether exactly this line was logged.
    bool Logged(const std::string& text) const {
        return std::find(logged.begin(), logged.end(), text) != logged.end();
    }

    void OpenClip(const std::string& name) {
        ASSERT_NO_THROW(engine.OpenInputFile(TestMediaPath(name)));
    }

    std::vector<std::string> logged;
    Engine engine;
};

using EngineTest = EngineFixture<TCustomFFmpeg>;
