#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FFmpeg.h"
#include "LibraryBinding.h"
#include "OptionStateDescription.h"

// An engine prepared for a task on the system libraries, whose log lines are
// collected.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(BindLibraries("", true)) << BindErrorText();
        engine.SetLogHandler(&Collect, &logged);
        engine.Initialize();
    }

    static void Collect(void* user_data, TCustomFFmpeg*, int, const std::string& text) {
        static_cast<std::vector<std::string>*>(user_data)->push_back(text);
    }

    // Options that change process-wide library settings put them back.
    void TearDown() override { engine.SetVerbose(1); }

    std::vector<std::string> logged;
    TCustomFFmpeg engine;
};
