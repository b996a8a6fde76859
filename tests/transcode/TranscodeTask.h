#pragma once
// One conversion task set up the way the component sets tasks up: options
// before the input, the input, options for the output, the output; then
// Transcode. Keeps the engine's log lines and a scratch folder per test.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "FFmpeg.h"

using TOptionList = std::vector<std::pair<std::string, std::string>>;

class TranscodeTask {
public:
    TranscodeTask();
    ~TranscodeTask();

    // False with the engine's last_error when the input or output cannot be
    // set up; option errors are raised.
    bool SetUp(const std::string& input, const TOptionList& outputOptions, const std::string& output,
               const TOptionList& inputOptions = {});
    void Run() { engine.Transcode(); }
    // Whether a log line containing the text was written.
    bool Logged(const std::string& text) const;

    TCustomFFmpeg engine;
    std::vector<std::string> log;
};

// A folder of its own for the running test, emptied when the test first asks.
std::filesystem::path ScratchFolder();
