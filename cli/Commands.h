#pragma once

#include <string>
#include <vector>

// Each command takes the words after its name and returns the exit status.
int RunProbeCommand(const std::vector<std::string>& arguments);
int RunTranscodeCommand(const std::vector<std::string>& arguments);
int RunOptionsCommand(const std::vector<std::string>& arguments);
int RunConvertCommand(const std::vector<std::string>& arguments);
