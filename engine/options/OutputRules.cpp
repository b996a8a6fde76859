#include "OutputRules.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

bool FiltersKeepFrameSize(const std::string& text) {
    static const std::string resizing = ",crop,rotate,scale,transpose,";
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t start = 0;
    while (start <= lower.size()) {
        size_t end = lower.find(',', start);
        if (end == std::string::npos) end = lower.size();
        const std::string item = lower.substr(start, end - start);
        const std::string name = item.substr(0, item.find('='));
        if (resizing.find("," + name + ",") != std::string::npos) return false;
        start = end + 1;
    }
    return true;
}

bool ParseRcOverride(const std::string& text, std::vector<RcOverride>& overrides) {
    overrides.clear();
    const char* position = text.c_str();
    while (*position) {
        char* end = nullptr;
        RcOverride entry{};
        entry.start_frame = static_cast<int>(std::strtol(position, &end, 10));
        if (*end != ',') return false;
        entry.end_frame = static_cast<int>(std::strtol(end + 1, &end, 10));
        if (*end != ',') return false;
        const int q = static_cast<int>(std::strtol(end + 1, &end, 10));
        if (q > 0) {
            entry.qscale = q;
            entry.quality_factor = 1.0f;
        } else {
            entry.qscale = 0;
            entry.quality_factor = -q / 100.0f;
        }
        overrides.push_back(entry);
        const char* next = std::strchr(end, '/');
        if (!next) break;
        position = next + 1;
    }
    return true;
}

std::optional<AVRational> NearestSupportedRate(AVRational requested, const AVRational* supported) {
    std::optional<AVRational> best;
    long double bestDistance = INT32_MAX;
    for (const AVRational* rate = supported; rate && rate->den != 0; ++rate) {
        const int64_t num = int64_t{requested.num} * rate->den - int64_t{rate->num} * requested.den;
        const int64_t den = int64_t{requested.den} * rate->den;
        const long double distance = static_cast<long double>(std::llabs(num)) / std::llabs(den);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = *rate;
        }
    }
    return best;
}
