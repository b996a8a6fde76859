#include "TextConversion.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

[[noreturn]] void RaiseNotA(const std::string& text, const char* what) {
    throw ConversionError("'" + text + "' is not a valid " + what + " value");
}

struct TIntegerText {
    uint64_t magnitude = 0;
    bool negative = false;
    bool hexadecimal = false;
};

// Reads the sign, the base and the digits; false when the text is not a whole
// number or its digits do not fit 64 bits.
bool ParseInteger(const std::string& text, TIntegerText& result) {
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
    const auto [end, error] = std::from_chars(first, last, result.magnitude, base);
    if (error != std::errc() || end != last) return false;
    result.negative = negative;
    result.hexadecimal = base == 16;
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

std::optional<int64_t> ReadInt64(const std::string& text) {
    TIntegerText number;
    if (!ParseInteger(text, number)) return std::nullopt;
    const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max()) + (number.negative ? 1 : 0);
    if (number.magnitude > limit) return std::nullopt;
    return number.negative ? int64_t(0 - number.magnitude) : int64_t(number.magnitude);
}

std::optional<int32_t> ReadInt32(const std::string& text, THexReach hex) {
    TIntegerText number;
    if (!ParseInteger(text, number)) return std::nullopt;
    if (number.hexadecimal && hex == THexReach::AllBits) {
        if (number.magnitude > std::numeric_limits<uint32_t>::max()) return std::nullopt;
        const auto bits = static_cast<uint32_t>(number.magnitude);
        return static_cast<int32_t>(number.negative ? 0u - bits : bits);
    }
    const uint64_t limit = uint64_t(std::numeric_limits<int32_t>::max()) + (number.negative ? 1 : 0);
    if (number.magnitude > limit) return std::nullopt;
    return number.negative ? int32_t(int64_t(0) - int64_t(number.magnitude)) : int32_t(number.magnitude);
}

int64_t TextToInt64(const std::string& text) {
    const std::optional<int64_t> value = ReadInt64(text);
    if (!value) RaiseNotA(text, "integer");
    return *value;
}

int32_t TextToInt32(const std::string& text) {
    const std::optional<int32_t> value = ReadInt32(text);
    if (!value) RaiseNotA(text, "integer");
    return *value;
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
