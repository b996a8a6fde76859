#pragma once
// The log of one conversion run, file by file: what was tried, what the
// engine said while converting it, and how it ended, each line with its
// time; what the libraries said only for a file that failed, where it may
// tell why (a file that converts well can fill pages with a decoder's
// complaints). A person reads it in the window, and it is written beside
// the outputs when a file failed.

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "ComponentEvents.h"

class TRunLog {
public:
    using TClock = std::chrono::system_clock;

    // Starts the log of a new run over the given files.
    void Begin(const std::vector<std::string>& inputPaths, TClock::time_point now = TClock::now());
    void FileStarted(size_t file, const std::string& outputPath, TClock::time_point now = TClock::now());
    void FileLine(size_t file, TLogLevel level, const std::string& text, TClock::time_point now = TClock::now());
    void FileEnded(size_t file, const std::string& status, bool failed, TClock::time_point now = TClock::now());

    bool Empty() const { return files_.empty(); }
    // The whole log, the files in list order; lines end in "\n".
    std::string Text() const;
    // Writes Text() to `path`, replacing the file; the system's reason
    // when it cannot (a full disk), else empty.
    std::string WriteTo(const std::string& path) const;

private:
    struct Line {
        std::string text;
        bool fromLibrary = false;
    };
    struct File {
        std::string inputPath;
        std::vector<Line> lines;
        bool failed = false;
    };
    void Add(size_t file, TClock::time_point now, const std::string& text, bool fromLibrary = false);

    std::string begun_;
    std::vector<File> files_;
};
