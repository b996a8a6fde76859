#pragma once
// An engine prepared for a task, a scratch folder for outputs and helpers to
// open the generated clips.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FFmpeg.h"
#include "TestMedia.h"

class SetupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BindTestLibraries(); }

    void SetUp() override {
        engine.SetLogHandler(&Collect, &logged);
        engine.Initialize();
        std::string pattern = (std::filesystem::temp_directory_path() / "tovrela-setup-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        scratch = pattern;
    }

    void TearDown() override {
        engine.CleanUp();
        engine.SetVerbose(1);
        std::error_code error;
        std::filesystem::remove_all(scratch, error);
    }

    static void Collect(void* user_data, TCustomFFmpeg*, int, const std::string& text) {
        static_cast<std::vector<std::string>*>(user_data)->push_back(text);
    }

    bool Logged(const std::string& text) const {
        return std::find(logged.begin(), logged.end(), text) != logged.end();
    }

    void OpenClip(const std::string& name) {
        ASSERT_TRUE(engine.OpenInputFile(TestMediaPath(name))) << engine.last_error;
    }

    std::string ScratchFile(const std::string& name) const { return (scratch / name).string(); }

    static std::string ReadFile(const std::string& path) {
        std::ifstream stream(path, std::ios::binary);
        std::ostringstream text;
        text << stream.rdbuf();
        return text.str();
    }

    static void WriteFile(const std::string& path, const std::string& contents) {
        std::ofstream(path, std::ios::binary) << contents;
    }

    std::vector<std::string> logged;
    TCustomFFmpeg engine;
    std::filesystem::path scratch;
};
