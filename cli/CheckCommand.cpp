// "tovrela-cli check": whether existing files play on an iPod, read from the
// files themselves.

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "CommandSupport.h"
#include "Commands.h"
#include "IpodLimits.h"
#include "MediaFacts.h"

namespace {

const char kCheckHelp[] =
    "Usage: tovrela-cli check [--libav DIR] [--plain-names] FILE...\n"
    "\n"
    "Reads each file and checks it against the iPod's limits for video: MPEG-4\n"
    "Simple Profile or H.264 Baseline Profile up to level 3.0, at most 640x480,\n"
    "30 frames per second and 2.5 Mbit/s; AAC-LC audio of at most 160 kbit/s,\n"
    "48 kHz and 2 channels; in an .mp4, .m4v or .mov file. Prints \"FILE: plays\n"
    "on iPod\", or \"FILE: does not play on iPod\" followed by one indented line\n"
    "per limit the file breaks.\n"
    "\n"
    "  --libav DIR     bind the FFmpeg libraries found in DIR instead of the system's\n"
    "  --plain-names   load libavutil.so ... instead of libavutil.so.57 ...\n"
    "\n"
    "Exit status: 0 when every file plays, 1 when any does not or cannot be read\n"
    "(its message goes to standard error), 2 on a usage error, 3 when the\n"
    "libraries cannot be bound.\n";

// Prints the verdict on one file; false when it does not play or cannot be read.
bool CheckFile(const std::string& file) {
    TMediaFacts facts;
    std::string error;
    try {
        if (!ReadMediaFacts(file, facts, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", file.c_str(), failure.what());
        return false;
    }
    const std::vector<std::string> breaks = IpodLimitBreaks(facts);
    std::printf("%s: %s\n", file.c_str(), breaks.empty() ? "plays on iPod" : "does not play on iPod");
    for (const std::string& reason : breaks) std::printf("  %s\n", reason.c_str());
    return breaks.empty();
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& arguments) {
    if (PrintHelpIfAsked(arguments, kCheckHelp)) return 0;
    TLibraryArguments parsed;
    if (!ParseLibraryArguments("check", arguments, parsed)) return 2;
    if (!BindLibrariesOrReport(parsed.libraryFolder, parsed.versionedNames)) return kBindFailureStatus;
    bool allPlay = true;
    for (const std::string& file : parsed.files) allPlay = CheckFile(file) && allPlay;
    return allPlay ? 0 : 1;
}
