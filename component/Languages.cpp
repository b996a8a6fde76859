#include "Languages.h"

#include <array>
#include <cctype>

namespace {

struct LanguageRow {
    const char* code;  // the terminology code, the one kept
    const char* other; // the bibliographic code where it differs, else ""
    const char* two;   // the two-letter code
    const char* name;
};

constexpr std::array kLanguages{
    LanguageRow{"eng", "", "en", "English"},     LanguageRow{"jpn", "", "ja", "Japanese"},
    LanguageRow{"fra", "fre", "fr", "French"},   LanguageRow{"deu", "ger", "de", "German"},
    LanguageRow{"spa", "", "es", "Spanish"},     LanguageRow{"ita", "", "it", "Italian"},
    LanguageRow{"por", "", "pt", "Portuguese"},  LanguageRow{"nld", "dut", "nl", "Dutch"},
    LanguageRow{"rus", "", "ru", "Russian"},     LanguageRow{"zho", "chi", "zh", "Chinese"},
    LanguageRow{"kor", "", "ko", "Korean"},      LanguageRow{"swe", "", "sv", "Swedish"},
    LanguageRow{"nor", "", "no", "Norwegian"},   LanguageRow{"dan", "", "da", "Danish"},
    LanguageRow{"fin", "", "fi", "Finnish"},     LanguageRow{"pol", "", "pl", "Polish"},
    LanguageRow{"ces", "cze", "cs", "Czech"},    LanguageRow{"ell", "gre", "el", "Greek"},
    LanguageRow{"tur", "", "tr", "Turkish"},     LanguageRow{"ara", "", "ar", "Arabic"},
    LanguageRow{"heb", "", "he", "Hebrew"},      LanguageRow{"hin", "", "hi", "Hindi"},
    LanguageRow{"hun", "", "hu", "Hungarian"},   LanguageRow{"ron", "rum", "ro", "Romanian"},
    LanguageRow{"ukr", "", "uk", "Ukrainian"},   LanguageRow{"tha", "", "th", "Thai"},
};

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

std::string LanguageCode(const std::string& given) {
    const std::string lower = Lower(given);
    if (lower.empty()) return lower;
    for (const LanguageRow& row : kLanguages)
        if (lower == row.code || lower == row.other || lower == row.two || lower == Lower(row.name)) return row.code;
    return lower;
}

std::string LanguageName(const std::string& code) {
    const std::string canonical = LanguageCode(code);
    for (const LanguageRow& row : kLanguages)
        if (canonical == row.code) return row.name;
    return code;
}
