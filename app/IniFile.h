#pragma once
// A small INI file: "[Section]" headers and "Key=Value" lines. Section and
// key names compare without regard to case; lines the program does not know
// are kept as they are when the file is written back.

#include <cstdint>
#include <string>
#include <vector>

class TIniFile {
public:
    // Reads the file when it exists and can be read; otherwise starts empty.
    explicit TIniFile(std::string path);

    // The value with surrounding spaces removed, at most 2047 characters, or
    // `fallback` when the key is absent.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // A decimal number, or a hexadecimal one after "0x", "0X" or "$"; any
    // other text, or a number that does not fit 32 bits, gives `fallback`.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);

    // Writes the file, creating its folder when missing; throws
    // std::runtime_error "Unable to write to <path>" when that fails.
    void UpdateFile() const;

    static constexpr size_t kMaxValueLength = 2047;

private:
    // Index of the key's line in `lines_`, or npos.
    size_t FindKey(const std::string& section, const std::string& key) const;

    std::string path_;
    std::vector<std::string> lines_;
};
