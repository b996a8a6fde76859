#include "CommandSupport.h"

#include <cstdio>

#include "LibraryBinding.h"
#include "OutputProfiles.h"

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

void PrintProfiles(FILE* stream, const char* heading) {
    std::fprintf(stream, "\n%s\n", heading);
    const auto profiles = OutputProfiles();
    for (size_t index = 0; index < profiles.size(); ++index)
        std::fprintf(stream, "  %zu  %d kbps video, %d kbps audio, %s\n", index, profiles[index].VideoBitrateKbps,
                     profiles[index].AudioBitrateKbps, profiles[index].Channels == 1 ? "mono" : "stereo");
}
