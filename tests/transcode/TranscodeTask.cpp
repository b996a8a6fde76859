#include "TranscodeTask.h"

#include <gtest/gtest.h>

#include "TestMedia.h"

namespace {

void KeepLine(void* user_data, TCustomFFmpeg*, int, const std::string& text) {
    static_cast<std::vector<std::string>*>(user_data)->push_back(text);
}

}  // namespace

TranscodeTask::TranscodeTask() {
    BindTestLibraries();
    engine.Initialize();
    engine.SetLogHandler(KeepLine, &log);
    engine.SetVerbose(0);
}

TranscodeTask::~TranscodeTask() { engine.CleanUp(); }

bool TranscodeTask::SetUp(const std::string& input, const TOptionList& outputOptions, const std::string& output,
                          const TOptionList& inputOptions) {
    for (const auto& [name, value] : inputOptions) engine.SetOption(name, value);
    if (!engine.OpenInputFile(input)) return false;
    for (const auto& [name, value] : outputOptions) engine.SetOption(name, value);
    return engine.OpenOutputFile(output);
}

bool TranscodeTask::Logged(const std::string& text) const {
    for (const std::string& line : log)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::filesystem::path ScratchFolder() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tovrela-transcode" / name;
    static std::filesystem::path current;
    if (folder != current) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        current = folder;
    }
    return folder;
}
