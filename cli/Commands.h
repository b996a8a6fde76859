#pragma once

#include <string>
#include <vector>

// Each command takes the words after its name and returns the exit status.
int RunProbeCommand(const std::vector<std::string>& arguments);
int RunTranscodeCommand(const std::vector<std::string>& arguments);
int RunOptionsCommand(const std::vector<std::string>& arguments);
int RunConvertCommand(const std::vector<std::string>& arguments);
int RunCheckCommand(const std::vector<std::string>& arguments);
int RunIpodsCommand(const std::vector<std::string>& folders);
int RunIpodCommand(const std::vector<std::string>& arguments);
int RunSendCommand(const std::vector<std::string>& arguments);
// Prints the program's version and the versions of the libraries it binds.
int RunVersionCommand();
