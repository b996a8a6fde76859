// "tovrela-cli ipods" and "tovrela-cli send": the iPods this program can
// send videos to, and sending existing files to one.

#include <cstdio>
#include <string>
#include <vector>

#include "CommandSupport.h"
#include "AVUtilHlpr.h"
#include "Commands.h"
#include "IpodFinder.h"
#include "IpodSender.h"
#include "StopSignals.h"

namespace {

const char kIpodsHelp[] =
    "Usage: tovrela-cli ipods [FOLDER...]\n"
    "\n"
    "Lists the iPods mounted now, then each folder named, with the name and model\n"
    "the iPod reports and whether this program can send videos to it (and if not,\n"
    "why and how to fix it). A folder that is not an iPod is said to be one.\n"
    "Exit status: 0.\n";

const char kSendHelp[] =
    "Usage: tovrela-cli send [--libav DIR] [--plain-names] MOUNT FILE...\n"
    "\n"
    "Puts each file on the iPod mounted at MOUNT, into its Movies, TV Shows or\n"
    "Music Videos with the file's title and poster. Each file is checked first;\n"
    "one the iPod cannot play is not sent, with the reason. The iPod's database is\n"
    "written once at the end; a copy of the old one is kept beside it as\n"
    "iTunesDB.tovrela-backup. Ctrl-C stops after the file being sent.\n"
    "Exit status: 0 when every file was sent, 1 otherwise, 2 on a usage error,\n"
    "3 when the libraries cannot be bound.\n";

}  // namespace

int RunIpodsCommand(const std::vector<std::string>& folders) {
    if (PrintHelpIfAsked(folders, kIpodsHelp)) return 0;
    std::vector<TIpod> ipods = MountedIpods();
    for (const std::string& folder : folders) ipods.push_back(DescribeIpod(folder));
    if (ipods.empty()) std::printf("No iPod is connected.\n");
    for (const TIpod& ipod : ipods) std::printf("%s\n", IpodLine(ipod).c_str());
    return 0;
}

int RunSendCommand(const std::vector<std::string>& arguments) {
    if (PrintHelpIfAsked(arguments, kSendHelp)) return 0;
    TLibraryArguments parsed;
    if (!ParseLibraryArguments("send", arguments, parsed)) return 2;
    if (parsed.files.size() < 2) {
        std::fprintf(stderr, "tovrela-cli send: name the iPod's folder and at least one file\n\n%s", kSendHelp);
        return 2;
    }
    if (!BindLibrariesOrReport(parsed.libraryFolder, parsed.versionedNames)) return kBindFailureStatus;
    // The libraries' own warnings about the files read say nothing to a person.
    ff::av_log_set_level(AV_LOG_ERROR);
    TIpodSender sender;
    std::string error;
    if (!sender.Open(parsed.files[0], error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    TStopSignals stopSignals([] {});
    bool allSent = true;
    for (size_t i = 1; i < parsed.files.size(); ++i) {
        const std::string& file = parsed.files[i];
        if (TStopSignals::Received()) {
            std::fprintf(stderr, "%s: not sent: stopped\n", file.c_str());
            allSent = false;
            continue;
        }
        if (sender.Send(file, error)) {
            std::printf("%s: on iPod \"%s\"\n", file.c_str(), sender.Ipod().Label().c_str());
        } else {
            std::fprintf(stderr, "%s\n", error.c_str());
            allSent = false;
        }
    }
    if (!sender.Finish(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return allSent ? 0 : 1;
}
