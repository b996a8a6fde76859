#pragma once
// One conversion task set up the way the component sets tasks up: options
// before the input, the input, options for the output, the output; then
// Transcode. Keeps the engine's log lines.

#include <string>
#include <utility>
#include <vector>

#include "FFmpeg.h"
#include "TestFiles.h"

using TOptionList = std::vector<std::pair<std::string, std::string>>;

class TranscodeTask {
public:
    TranscodeTask();
    ~TranscodeTask();

    // Raises the engine's error when an option, the input or the output
    // cannot be set up.
    void SetUp(const std::string& input, const TOptionList& outputOptions, const std::string& output,
               const TOptionList& inputOptions = {});
    void Run() { engine.Transcode(); }
    // Runs the task; the message of the error that ends it, empty when it
    // succeeds.
    std::string RunError();
    // Whether a log line containing the text was written.
    bool Logged(const std::string& text) const;

    TCustomFFmpeg engine;
    std::vector<std::string> log;
};
