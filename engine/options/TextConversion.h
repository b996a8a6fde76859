#pragma once
// Text helpers shared by the option parsers: trimming and strict number
// conversion.

#include <cstdint>
#include <stdexcept>
#include <string>

// A value that is not a number where the option needs one.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Removes leading and trailing blanks and control characters.
std::string TrimText(const std::string& text);

// The whole text, blanks around it aside, must be the number: decimal with an
// optional sign, or hexadecimal after "0x" or "$". Anything else, or a value
// out of range, raises ConversionError.
int32_t TextToInt32(const std::string& text);
int64_t TextToInt64(const std::string& text);
// A finite decimal number with "." as its separator, optionally with an
// exponent.
float TextToFloat(const std::string& text);
