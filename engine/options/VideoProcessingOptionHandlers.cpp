// Video processing between decoding and encoding: the filter graph text
// ("vfilters") and frame-hook modules ("vhook").

#include <string>
#include <vector>

#include "FFmpeg.h"

namespace {

// Words are separated by "|" when the text has one, else by blanks, so that
// a module path with blanks can still be named; empty words are dropped.
std::vector<std::string> SplitHookText(const std::string& text) {
    const char separator = text.find('|') != std::string::npos ? '|' : ' ';
    std::vector<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

}  // namespace

void TCustomFFmpeg::SetVideoFilters(const std::string& text) {
    if (!text.empty()) vfilters = text;
}

// The first word names the hook's module, the rest are its arguments.
void TCustomFFmpeg::AddVideoHook(const std::string& text) {
    if (text.empty()) return;
    std::vector<std::string> words = SplitHookText(text);
    // The argument list holds the module name and at most 63 arguments.
    if (words.size() > static_cast<size_t>(kMaxHookArguments))
        throw FFMpegException("A video hook takes at most " + std::to_string(kMaxHookArguments) +
                              " words, module name included: " + text);
    // The module sees writable texts, the vector ending with a null entry.
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    arguments.push_back(nullptr);
    if (words.empty() || AddFrameHook(frame_hooks, static_cast<int>(words.size()), arguments.data()) != kHookInstalled)
        throw FFMpegException("Failed to add video hook function: " + text);
    vhook_active = 1;
}
