#include "RunTexts.h"

#include <algorithm>
#include <cstdio>

namespace RunTexts {

std::string ProgressStatus(int32_t currentMs, int32_t totalMs) {
    if (totalMs <= 0) return DurationText(currentMs / 1000);
    const int64_t percent = static_cast<int64_t>(currentMs) * 100 / totalMs;
    return std::to_string(percent) + "% Completed";
}

std::string ProgressLine(int32_t frameNumber, int32_t currentMs, int32_t fps) {
    // A file without video has no frames to count, and the speed is known
    // only after the first second.
    std::string line = frameNumber >= 0 ? "Current Frame=" + std::to_string(frameNumber) + " " : "";
    line += "Time=" + std::to_string(currentMs / 1000);
    if (fps > 0) line += " FPS=" + std::to_string(fps);
    return line;
}

std::string ProgressBarLine(const std::string& name, int32_t frameNumber, int32_t fps, int32_t currentMs,
                            int32_t totalMs, int64_t secondsLeft) {
    constexpr int kBarWidth = 24;
    std::string line = name + " ";
    if (totalMs > 0) {
        const int64_t percent = std::min<int64_t>(100, static_cast<int64_t>(currentMs) * 100 / totalMs);
        const int filled = static_cast<int>(percent * kBarWidth / 100);
        line += "[" + std::string(static_cast<size_t>(filled), '#') +
                std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] " + std::to_string(percent) + "%";
    }
    line += " frame=" + std::to_string(frameNumber) + " fps=" + std::to_string(fps) +
            " time=" + DurationText(currentMs / 1000);
    line += " ETA " + (secondsLeft < 0 ? std::string("--:--:--") : DurationText(secondsLeft));
    return line;
}

std::string ResultLine(const std::string& input, const std::string& output, const std::string& status) {
    return input + (output.empty() ? "" : " -> " + output) + ": " + status;
}

std::string DurationText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds % 3600 / 60), static_cast<long long>(seconds % 60));
    return text;
}

TUserMessage NotSupported(const std::string& inputPath) {
    return {"Convertion of file \"" + inputPath + "\" is not supported.", "Error", TMessageIcon::Information};
}

TUserMessage CannotConvert(const std::string& lastErrorMessage) {
    return {"Cannot convert: " + lastErrorMessage, "Error", TMessageIcon::Information};
}

TUserMessage TaskFailed(const std::string& inputPath, const std::string& message) {
    return {"File \"" + inputPath + "\" could not be converted: " + message, kApplicationTitle,
            TMessageIcon::Warning};
}

TUserMessage NothingToConvert() {
    return {"Please select files to be converted.", "Information", TMessageIcon::Information};
}

TUserMessage RunFinished(int completed, int total) {
    if (completed == total) return {"File conversion process finished.", "Information", TMessageIcon::Information};
    return {"File conversion process finished: " + std::to_string(completed) + " of " + std::to_string(total) +
                " files converted.",
            "Information", TMessageIcon::Information};
}

TUserMessage WithFailedFiles(TUserMessage ending, const std::vector<TFailedFile>& failed) {
    if (failed.empty()) return ending;
    std::string text = ending.text.empty() ? "" : ending.text + "\n\n";
    text += failed.size() == 1 ? "This file could not be converted:" : "These files could not be converted:";
    for (const TFailedFile& file : failed) text += "\n" + file.inputPath + ": " + file.reason;
    return {text, kApplicationTitle, TMessageIcon::Warning};
}

}  // namespace RunTexts
