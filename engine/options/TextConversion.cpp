#include "TextConversion.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

[[noreturn]] void RaiseNotA(const std::string& text, const char* what) {
    throw ConversionError("'" + text + "' is not a valid " + what + " value");
}

// Parses into a 64-bit value; false when the text is not a whole number or
// does not fit.
bool ParseInteger(const std::string& text, int64_t& result) {
    const std::string trimmed = TrimText(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) negative = *first++ == '-';
    int base = 10;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        base = 16;
        first += 2;
    } else if (last - first > 1 && first[0] == '$') {
        base = 16;
        first += 1;
    }
    if (first == last || *first == '+' || *first == '-') return false;
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(first, last, magnitude, base);
    if (error != std::errc() || end != last) return false;
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int64_t>::max());
    if (magnitude > limit) return false;
    result = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return true;
}

}  // namespace

std::string TrimText(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

int64_t TextToInt64(const std::string& text) {
    int64_t value = 0;
    if (!ParseInteger(text, value)) RaiseNotA(text, "integer");
    return value;
}

int32_t TextToInt32(const std::string& text) {
    int64_t value = 0;
    if (!ParseInteger(text, value) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        RaiseNotA(text, "integer");
    return static_cast<int32_t>(value);
}

float TextToFloat(const std::string& text) {
    const std::string trimmed = TrimText(text);
    const char* first = trimmed.data();
    const char* last = first + trimmed.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
    float value = 0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc() || end != last || !std::isfinite(value)) RaiseNotA(text, "floating point");
    return value;
}
