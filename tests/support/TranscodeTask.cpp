#include "TranscodeTask.h"

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

// The log level is the process's: it goes back to the default so that no
// test leaks its level into the next.
TranscodeTask::~TranscodeTask() {
    engine.CleanUp();
    engine.SetVerbose(1);
}

void TranscodeTask::SetUp(const std::string& input, const TOptionList& outputOptions, const std::string& output,
                          const TOptionList& inputOptions) {
    for (const auto& [name, value] : inputOptions) engine.SetOption(name, value);
    engine.OpenInputFile(input);
    for (const auto& [name, value] : outputOptions) engine.SetOption(name, value);
    engine.OpenOutputFile(output);
}

std::string TranscodeTask::RunError() {
    try {
        Run();
    } catch (const FFMpegException& error) {
        return error.what();
    }
    return "";
}

bool TranscodeTask::Logged(const std::string& text) const {
    for (const std::string& line : log)
        if (line.find(text) != std::string::npos) return true;
    return false;
}
