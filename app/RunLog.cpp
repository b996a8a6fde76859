#include "RunLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

std::string ClockText(TRunLog::TClock::time_point when, const char* format) {
    const std::time_t seconds = TRunLog::TClock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

// The libraries' lines come prefixed with the object that wrote them:
// "[h264 @ 0000ABCD] ".
bool FromLibrary(const std::string& text) {
    const size_t at = text.find(" @ ");
    return !text.empty() && text[0] == '[' && at != std::string::npos && text.find("] ", at) != std::string::npos;
}

}  // namespace

void TRunLog::Begin(const std::vector<std::string>& inputPaths, TClock::time_point now) {
    begun_ = ClockText(now, "%Y-%m-%d %H:%M:%S");
    files_.clear();
    for (const std::string& path : inputPaths) files_.push_back({path, {}});
}

void TRunLog::Add(size_t file, TClock::time_point now, const std::string& text, bool fromLibrary) {
    if (file < files_.size()) files_[file].lines.push_back({ClockText(now, "%H:%M:%S") + "  " + text, fromLibrary});
}

void TRunLog::FileStarted(size_t file, const std::string& outputPath, TClock::time_point now) {
    Add(file, now, "Converting into " + outputPath);
}

void TRunLog::FileLine(size_t file, TLogLevel level, const std::string& text, TClock::time_point now) {
    // Lines meant for a terminal may end in a carriage return.
    const size_t end = text.find_last_not_of(" \r\n\t");
    if (end == std::string::npos) return;
    Add(file, now, (level <= llError ? "Error: " : "") + text.substr(0, end + 1), FromLibrary(text));
}

void TRunLog::FileEnded(size_t file, const std::string& status, bool failed, TClock::time_point now) {
    if (file < files_.size()) files_[file].failed = failed;
    Add(file, now, "Ended: " + status);
}

std::string TRunLog::Text() const {
    if (files_.empty()) return "No conversion has run yet.\n";
    std::string text = "Conversion run of " + begun_ + "\n";
    for (const File& file : files_) {
        text += "\n" + file.inputPath + "\n";
        if (file.lines.empty()) text += "  (not started)\n";
        for (const Line& line : file.lines)
            if (file.failed || !line.fromLibrary) text += "  " + line.text + "\n";
    }
    return text;
}

std::string TRunLog::WriteTo(const std::string& path) const {
    const std::string text = Text();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return std::strerror(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
    const int error = errno;
    if (std::fclose(out) != 0 || !written) return std::strerror(written ? errno : error);
    return {};
}
