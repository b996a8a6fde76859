// Video processing between decoding and encoding: the filter graph text
// ("vfilters") and frame-hook modules ("vhook").

#include <dlfcn.h>

#include <string>
#include <vector>

#include "FFmpeg.h"

namespace {

// A hook's argument list holds the module name and at most 63 arguments.
constexpr size_t kMaxHookWords = 64;

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

// Loads and at once releases the module, to find out whether it can be used;
// the loader's reason for a refusal is logged.
bool HookModuleLoads(TCustomFFmpeg& engine, const std::string& module) {
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        engine.Log(0, reason ? reason : "Cannot load " + module);
        return false;
    }
    dlclose(handle);
    return true;
}

}  // namespace

void TCustomFFmpeg::SetVideoFilters(const std::string& text) {
    if (!text.empty()) vfilters = text;
}

// The first word names the hook's module, the rest are its arguments.
void TCustomFFmpeg::AddVideoHook(const std::string& text) {
    if (text.empty()) return;
    const std::vector<std::string> words = SplitHookText(text);
    if (words.size() > kMaxHookWords)
        throw FFMpegException("A video hook takes at most " + std::to_string(kMaxHookWords) +
                              " words, module name included: " + text);
    if (words.empty() || !HookModuleLoads(*this, words[0]))
        throw FFMpegException("Failed to add video hook function: " + text);
    vhook_active = 1;
}
