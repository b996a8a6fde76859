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

bool BindLibrariesOrReport(const std::string& folder, bool versioned) {
    if (BindLibraries(folder, versioned)) return true;
    std::fprintf(stderr, "%s\n", BindErrorText().c_str());
    return false;
}
