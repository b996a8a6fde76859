#include "IniFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "TextConversion.h"

namespace {

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The section named by a "[Name]" line, or false when the line is no header.
bool SectionHeader(const std::string& line, std::string& name) {
    const std::string text = Trimmed(line);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return false;
    name = Trimmed(text.substr(1, text.size() - 2));
    return true;
}

bool KeyOfLine(const std::string& line, std::string& key) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    key = Trimmed(line.substr(0, equals));
    return true;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {
    if (path_.empty()) return;
    std::ifstream in(path_, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(line);
    }
}

size_t TIniFile::FindKey(const std::string& section, const std::string& key) const {
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string name;
        if (SectionHeader(lines_[i], name)) {
            inSection = SameName(name, section);
        } else if (inSection && KeyOfLine(lines_[i], name) && SameName(name, key)) {
            return i;
        }
    }
    return std::string::npos;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
    const size_t line = FindKey(section, key);
    if (line == std::string::npos) return fallback;
    const std::string& text = lines_[line];
    return Trimmed(text.substr(text.find('=') + 1)).substr(0, kMaxValueLength);
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const {
    return ReadInt32(ReadString(section, key, ""), THexReach::AllBits).value_or(fallback);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    const std::string entry = key + "=" + value;
    const size_t existing = FindKey(section, key);
    if (existing != std::string::npos) {
        lines_[existing] = entry;
        return;
    }
    // A new key goes after the last key line of its section.
    size_t insertAt = std::string::npos;
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string name;
        if (SectionHeader(lines_[i], name)) {
            inSection = SameName(name, section);
            if (inSection) insertAt = i + 1;
        } else if (inSection && !Trimmed(lines_[i]).empty()) {
            insertAt = i + 1;
        }
    }
    if (insertAt == std::string::npos) {
        if (!lines_.empty() && !Trimmed(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + section + "]");
        lines_.push_back(entry);
        return;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::UpdateFile() const {
    const std::runtime_error failure("Unable to write to " + path_);
    if (path_.empty()) throw failure;
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines_) out << line << '\n';
    out.flush();
    if (!out) throw failure;
}
