#pragma once

#include <string>
#include <vector>

// Prints the command's help when the words ask for it; true when they did.
bool PrintHelpIfAsked(const std::vector<std::string>& arguments, const char* help);

// Binds the FFmpeg libraries; on failure prints why on standard error.
bool BindLibrariesOrReport(const std::string& folder, bool versioned);

// The exit status of a command whose libraries could not be bound.
constexpr int kBindFailureStatus = 3;
