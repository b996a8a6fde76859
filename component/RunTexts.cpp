#include "RunTexts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>

#include "FFMpegException.h"

namespace RunTexts {

TUserMessage ErrorMessage(const std::exception& error) {
    const bool conversion = dynamic_cast<const FFMpegException*>(&error) != nullptr;
    return {error.what(), kApplicationTitle, conversion ? TMessageIcon::Warning : TMessageIcon::Error};
}

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
    std::string line = name;
    if (totalMs > 0) {
        const int64_t percent = std::min<int64_t>(100, static_cast<int64_t>(currentMs) * 100 / totalMs);
        const int filled = static_cast<int>(percent * kBarWidth / 100);
        line += " [" + std::string(static_cast<size_t>(filled), '#') +
                std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] " + std::to_string(percent) + "%";
    }
    // As in the window's line: no frame count for sound alone, no speed
    // before the first second.
    if (frameNumber >= 0) line += " frame=" + std::to_string(frameNumber);
    if (fps > 0) line += " fps=" + std::to_string(fps);
    line += " time=" + DurationText(currentMs / 1000);
    line += " ETA " + (secondsLeft < 0 ? std::string("--:--:--") : DurationText(secondsLeft));
    return line;
}

std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if (c == '\t') {
            line += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            line += escaped;
        } else {
            line += c;
        }
    }
    return line;
}

std::string ResultLine(const std::string& input, const std::string& output, const std::string& status) {
    return OneLine(input + (output.empty() ? "" : " -> " + output) + ": " + status);
}

std::string DurationText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds % 3600 / 60), static_cast<long long>(seconds % 60));
    return text;
}

std::string RefusalReasonText(TRefusalReason reason, int errorNumber) {
    switch (reason) {
        case TRefusalReason::NotLocal: return "It is not a local file.";
        case TRefusalReason::CannotOpen: {
            // A name that leads nowhere is not found; anything else is in the way of reading.
            const bool notFound = errorNumber == ENOENT || errorNumber == ENOTDIR || errorNumber == ELOOP ||
                                  errorNumber == ENAMETOOLONG;
            return std::string(notFound ? "It could not be opened: " : "It could not be read: ") +
                   std::strerror(errorNumber) + ".";
        }
        case TRefusalReason::NotRegular: return "It is not a regular file.";
        case TRefusalReason::Empty: return "It is empty (0 bytes).";
        case TRefusalReason::NotMedia: return "It is not a video or sound file this program can read.";
        case TRefusalReason::NoPictureNoSound: return "It has no picture and no sound.";
    }
    return "";
}

std::string ShortDurationText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[48];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds % 3600 / 60), static_cast<long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    return text;
}

std::string InputEndedEarly(int64_t endedMs, int64_t announcedMs) {
    return "input ended at " + ShortDurationText(endedMs / 1000) + " of " + ShortDurationText(announcedMs / 1000);
}

TUserMessage NotSupported(const std::string& inputPath, TRefusalReason reason, int errorNumber) {
    return {"Convertion of file \"" + inputPath + "\" is not supported. " + RefusalReasonText(reason, errorNumber),
            "Error", TMessageIcon::Error};
}

TUserMessage CannotConvert(const std::string& lastErrorMessage) {
    return {"Cannot convert: " + lastErrorMessage, "Error", TMessageIcon::Error};
}

std::string RunFailure(const std::string& message, const std::string& unwrittenOutput, const std::string& reason) {
    if (unwrittenOutput.empty()) return message;
    return "Could not write " + unwrittenOutput + (reason.empty() ? "" : ": " + reason);
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

std::string FilesConverted(int completed, int total) {
    return std::to_string(completed) + " of " + std::to_string(total) + (total == 1 ? " file" : " files") +
           " converted";
}

TUserMessage WithFailedFiles(TUserMessage ending, const std::vector<TFailedFile>& failed) {
    if (failed.empty()) return ending;
    std::string text = ending.text.empty() ? "" : ending.text + "\n\n";
    text += failed.size() == 1 ? "This file could not be converted:" : "These files could not be converted:";
    for (const TFailedFile& file : failed) text += "\n" + file.inputPath + ": " + file.reason;
    return {text, kApplicationTitle, TMessageIcon::Warning};
}

TUserMessage LogNotWritten(const std::string& path, const std::string& reason) {
    return {"The run's log could not be written to \"" + path + "\": " + reason + ". \"Log\" still shows it.",
            kApplicationTitle, TMessageIcon::Warning};
}

std::string NotOnIpodStatus(const std::string& completedStatus, const std::string& cause) {
    return completedStatus + ", not on iPod: " + cause;
}

TUserMessage NotPutOnIpod(const std::string& inputPath, const std::string& reason) {
    return {"File \"" + inputPath + "\" was converted but is not on the iPod: " + reason, kApplicationTitle,
            TMessageIcon::Warning};
}

TUserMessage WithFilesNotOnIpod(TUserMessage message, const std::vector<TFailedFile>& notOnIpod) {
    if (notOnIpod.empty()) return message;
    std::string text = message.text.empty() ? "" : message.text + "\n\n";
    text += notOnIpod.size() == 1 ? "This file was converted but is not on the iPod:"
                                  : "These files were converted but are not on the iPod:";
    for (const TFailedFile& file : notOnIpod) text += "\n" + file.inputPath + ": " + file.reason;
    return {text, kApplicationTitle, TMessageIcon::Warning};
}

std::string NoSoundInLanguage(const std::string& languageName) {
    return "no " + languageName + " sound: the file's own choice is kept";
}

std::string SoundChoice(const std::string& languageName, bool byLanguage) {
    if (languageName.empty()) return byLanguage ? "audio: the track asked for" : "audio: the file's default track";
    return "audio: " + languageName + (byLanguage ? "" : " (the file's default)");
}

std::string SubtitleChoice(const std::string& languageName, bool forced, bool burnt, bool pictures) {
    std::string text = "subtitles: " + (languageName.empty() ? std::string("the file's track") : languageName);
    if (forced) text += " (forced)";
    if (!burnt) return text + ", as text track";
    return text + ", burnt in" + (pictures ? " (pictures cannot become text)" : "");
}

std::string NoSubtitlesInLanguage(const std::string& languageName) {
    return "subtitles: none; no " + languageName + " track";
}

std::string SubtitlesUnreadable(const std::string& languageName, const std::string& codec) {
    return "subtitles: none; the " + languageName + " track (" + codec + ") cannot be read";
}

std::string ToneMapped(const std::string& kind) { return kind + " mapped to SDR"; }

std::string ColoursConverted(const std::string& sourceMatrix, bool fullRange) {
    std::string text = "colours: ";
    if (!sourceMatrix.empty()) text += sourceMatrix + " converted to BT.601";
    if (fullRange) text += std::string(sourceMatrix.empty() ? "" : ", ") + "full range converted to limited range";
    return text;
}

std::string ChaptersKept(int count) { return "chapters: " + std::to_string(count) + " kept"; }

std::string Cropped(int top, int bottom, int left, int right, bool asked) {
    return "cropped " + std::to_string(top) + ":" + std::to_string(bottom) + ":" + std::to_string(left) + ":" +
           std::to_string(right) + (asked ? " (as asked)" : " (black bands)");
}

std::string Deinterlaced(bool found) {
    return std::string("deinterlaced") + (found ? " (interlaced pictures found)" : " (as asked)");
}

}  // namespace RunTexts
