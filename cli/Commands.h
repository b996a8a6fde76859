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
// "ipod list" and "ipod remove", with the "ipod" help to show on a usage error.
int RunIpodList(const std::vector<std::string>& arguments, const char* help);
int RunIpodRemove(const std::vector<std::string>& arguments, const char* help);
int RunSendCommand(const std::vector<std::string>& arguments);
// "sync": folders of videos kept on an iPod, the plan first.
int RunSyncCommand(const std::vector<std::string>& arguments);
// Prints the program's version and the versions of the libraries it binds.
int RunVersionCommand();
