#include "CommandSupport.h"

#include <cstdio>

#include "LibraryBinding.h"

bool PrintHelpIfAsked(const std::vector<std::string>& arguments, const char* help) {
    for (const std::string& word : arguments) {
        if (word == "--help" || word == "-h") {
            std::fputs(help, stdout);
            return true;
        }
    }
    return false;
}

bool ParseLibraryArguments(const char* command, const std::vector<std::string>& words, TLibraryArguments& parsed) {
    bool filesOnly = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (filesOnly || word.empty() || word[0] != '-') {
            parsed.files.push_back(word);
        } else if (word == "--") {
            filesOnly = true;
        } else if (word == "--libav" && i + 1 < words.size()) {
            parsed.libraryFolder = words[++i];
        } else if (word == "--plain-names") {
            parsed.versionedNames = false;
        } else {
            std::fprintf(stderr, "tovrela-cli %s: unknown option '%s'\n", command, word.c_str());
            return false;
        }
    }
    if (parsed.files.empty()) {
        std::fprintf(stderr, "tovrela-cli %s: no file given\n", command);
        return false;
    }
    return true;
}

bool BindLibrariesOrReport(const std::string& folder, bool versioned) {
    if (BindLibraries(folder, versioned)) return true;
    std::fprintf(stderr, "%s\n", BindErrorText().c_str());
    return false;
}
