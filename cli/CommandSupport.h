#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Prints the command's help when the words ask for it; true when they did.
bool PrintHelpIfAsked(const std::vector<std::string>& arguments, const char* help);

// The words of a command that takes files and where to bind the libraries from.
struct TLibraryArguments {
    std::string libraryFolder;
    bool versionedNames = true;
    std::vector<std::string> files;
};
// "[--libav DIR] [--plain-names] FILE...": false, with a message on standard
// error naming `command`, when the words do not parse or name no file.
bool ParseLibraryArguments(const char* command, const std::vector<std::string>& words, TLibraryArguments& parsed);

// Binds the FFmpeg libraries; on failure prints why on standard error.
bool BindLibrariesOrReport(const std::string& folder, bool versioned);

// "Profiles:" (or `heading`) and one line for each of the table's profiles.
void PrintProfiles(FILE* stream, const char* heading = "Profiles:");

// The exit status of a command whose libraries could not be bound.
constexpr int kBindFailureStatus = 3;
