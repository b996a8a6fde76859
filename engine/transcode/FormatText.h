#pragma once
// printf-style formatting into a std::string, for the engine's messages.

#include <cstdio>
#include <string>

template <typename... Args>
std::string FormatText(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}
