#include "OutputNaming.h"

#include <limits.h>

namespace {

// Folder (with its "/"), stem and extension (with its ".") of a path.
struct SplitPath {
    std::string folder;
    std::string stem;
    std::string extension;
};

SplitPath Split(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    const size_t stemEnd = hasExtension ? dot : path.size();
    return {path.substr(0, nameStart), path.substr(nameStart, stemEnd - nameStart),
            hasExtension ? path.substr(dot) : std::string()};
}

// Cuts the stem so that it and `added` fit a file name, never inside a
// character of several bytes.
std::string Fitted(std::string stem, size_t added) {
    if (stem.size() + added <= NAME_MAX) return stem;
    size_t keep = added < NAME_MAX ? NAME_MAX - added : 0;
    while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
    stem.resize(keep);
    return stem;
}

std::string Suffix(int number) { return number == 0 ? "" : "(" + std::to_string(number) + ")"; }

std::string WithSuffix(const std::string& path, const std::string& suffix) {
    const SplitPath parts = Split(path);
    return parts.folder + Fitted(parts.stem, suffix.size() + parts.extension.size()) + suffix + parts.extension;
}

}  // namespace

std::string NumberedOutputPath(const std::string& path, int number) {
    return number == 0 ? path : WithSuffix(path, Suffix(number));
}

std::string StoppedOutputPath(const std::string& path, int number) {
    return WithSuffix(path, " (stopped)" + Suffix(number));
}
