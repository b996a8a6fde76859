#pragma once
// Text helpers shared by the option parsers: trimming and strict number
// conversion.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// A value that is not a number where the option needs one.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Removes leading and trailing blanks and control characters.
std::string TrimText(const std::string& text);

// How far a hexadecimal number may reach in 32 bits: to the largest signed
// value, or over all 32 bits, so that "$FFFFFFFF" reads -1 as settings files
// written by other programs expect.
enum class THexReach { Signed, AllBits };

// The one rule for integers in text: the whole text, blanks and control
// characters around it aside, is the number, decimal with an optional sign
// or hexadecimal after "0x", "0X" or "$". Nothing when the text is anything
// else or the number does not fit.
std::optional<int64_t> ReadInt64(const std::string& text);
std::optional<int32_t> ReadInt32(const std::string& text, THexReach hex = THexReach::Signed);

// The same, raising ConversionError where the readers give nothing.
int32_t TextToInt32(const std::string& text);
int64_t TextToInt64(const std::string& text);
// A finite decimal number with "." as its separator, optionally with an
// exponent.
float TextToFloat(const std::string& text);
