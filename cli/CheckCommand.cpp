// "tovrela-cli check": whether existing files play on an iPod, read from the
// files themselves.

#include <cstddef>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "AVUtilHlpr.h"
#include "CommandSupport.h"
#include "Commands.h"
#include "Devices.h"
#include "IpodLimits.h"
#include "MediaFacts.h"

namespace {

std::string CheckHelp() {
    std::string devices;
    for (const TDevice& device : Devices())
        devices += "                  " + std::string(device.ShortName) + ": " + device.Name + "\n";
    return "Usage: tovrela-cli check [--device NAME] [--libav DIR] [--plain-names] FILE...\n"
    "\n"
    "Reads each file and checks it against the device's limits; for an iPod (the\n"
    "default): MPEG-4 Simple Profile up to 640x480 and 2.5 Mbit/s, or H.264\n"
    "Baseline Profile at level 1.3 up to 320x240 and 768 kbit/s or at level 3.0\n"
    "up to 640x480 and 1.5 Mbit/s; 30 frames per second; AAC-LC audio of at most\n"
    "160 kbit/s, 48 kHz and 2 channels; in an .mp4, .m4v or .mov file. Prints\n"
    "\"FILE: plays on iPod\", or \"FILE: does not play on iPod\" followed by one\n"
    "indented line per limit the file breaks.\n"
    "\n"
    "  --device NAME   the device to check against (default ipod):\n" + devices +
    "  --libav DIR     bind the FFmpeg libraries found in DIR instead of the system's\n"
    "  --plain-names   load libavutil.so ... instead of libavutil.so.57 ...\n"
    "\n"
    "Exit status: 0 when every file plays, 1 when any does not or cannot be read\n"
    "(its message goes to standard error), 2 on a usage error, 3 when the\n"
    "libraries cannot be bound.\n";
}

// Prints the verdict on one file; false when it does not play or cannot be read.
bool CheckFile(const TDevice& device, const std::string& file) {
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
    const std::vector<std::string> breaks = DeviceLimitBreaks(device, facts);
    std::printf("%s: %s %s\n", file.c_str(), breaks.empty() ? "plays on" : "does not play on", device.PlayerName);
    for (const std::string& reason : breaks) std::printf("  %s\n", reason.c_str());
    return breaks.empty();
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& arguments) {
    if (PrintHelpIfAsked(arguments, CheckHelp().c_str())) return 0;
    // "--device NAME" may stand anywhere before the files.
    std::vector<std::string> rest;
    size_t device = kDefaultDeviceIndex;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--") {
            rest.insert(rest.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.end());
            break;
        }
        if (arguments[i] != "--device") {
            rest.push_back(arguments[i]);
            continue;
        }
        const std::optional<size_t> found = i + 1 < arguments.size() ? FindDevice(arguments[i + 1]) : std::nullopt;
        if (!found) {
            std::fprintf(stderr, "tovrela-cli check: option '--device' takes one of %s\n", DeviceShortNames().c_str());
            return 2;
        }
        device = *found;
        ++i;
    }
    TLibraryArguments parsed;
    if (!ParseLibraryArguments("check", rest, parsed)) return 2;
    if (!BindLibrariesOrReport(parsed.libraryFolder, parsed.versionedNames)) return kBindFailureStatus;
    // The libraries' own warnings about the files read (such as the demuxer's
    // about cover art) say nothing to a person.
    ff::av_log_set_level(AV_LOG_ERROR);
    bool allPlay = true;
    for (const std::string& file : parsed.files) allPlay = CheckFile(DeviceAt(device), file) && allPlay;
    return allPlay ? 0 : 1;
}
