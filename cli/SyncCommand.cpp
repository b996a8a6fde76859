// "tovrela-cli sync --dry-run": what a sync of folders to an iPod would do,
// with the room it would take, before anything is written.

#include <cstdio>
#include <filesystem>

#include "CommandSupport.h"
#include "Commands.h"
#include "ConvertArguments.h"
#include "IpodFinder.h"
#include "IpodLibrary.h"
#include "IpodLimits.h"
#include "JobBuilder.h"
#include "SettingsTable.h"
#include "SyncPlan.h"

namespace {

void PrintSyncHelp(FILE* stream) {
    const std::string help = "Usage: tovrela-cli sync --dry-run [OPTIONS] FOLDER... --to MOUNT\n"
               "\n"
               "Plans putting every video in the folders (subfolders too, in the order a\n"
               "file manager lists them) on the iPod mounted at MOUNT: for each file whether\n"
               "it would be converted for that iPod's model, with its estimated size, or why\n"
               "it cannot go on; then the total and the space the iPod would have left.\n"
               "A size is estimated from the file's length and the chosen profile's video\n"
               "and audio rates, plus about 1 % and 32 KiB for the MP4 index and headers.\n"
               "Nothing is written to the iPod.\n"
               "\n" + SettingsHelp() +
                   "  --libav DIR           bind the FFmpeg libraries found in DIR\n"
                   "  --plain-names         load libavutil.so ... instead of libavutil.so.57 ...\n"
                   "\n"
                   "Exit status: 0 when every file can go on and the plan fits, 1 when a file\n"
                   "cannot, the plan needs more room than the iPod has free or the iPod cannot\n"
                   "take videos, 2 on a usage error, 3 when the libraries cannot be bound.\n";
    std::fputs(help.c_str(), stream);
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "tovrela-cli sync: %s\n\n", message.c_str());
    PrintSyncHelp(stderr);
    return 2;
}

}  // namespace

int RunSyncCommand(const std::vector<std::string>& words) {
    std::vector<std::string> rest;
    std::string mount;
    bool dryRun = false;
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--to") {
            if (i + 1 >= words.size()) return UsageError("option '--to' needs the iPod's folder");
            mount = words[++i];
        } else if (words[i] == "--dry-run") {
            dryRun = true;
        } else {
            rest.push_back(words[i]);
        }
    }
    ConvertArguments arguments;
    std::string error;
    if (!ParseConvertArguments(rest, arguments, error)) return UsageError(error == "no file given" ? "no folder given" : error);
    if (arguments.help) {
        PrintSyncHelp(stdout);
        return 0;
    }
    if (mount.empty()) return UsageError("name the iPod's folder with --to MOUNT");
    if (!dryRun) return UsageError("only the plan is made: give --dry-run");
    if (!BindLibrariesOrReport(arguments.libraryFolder, arguments.versionedNames)) return kBindFailureStatus;

    const TIpod ipod = DescribeIpod(mount);
    if (ipod.Support != TIpodSupport::Supported) {
        std::fprintf(stderr, "tovrela-cli sync: %s\n", IpodLine(ipod).c_str());
        return 1;
    }
    if (!arguments.deviceGiven) arguments.settings.Device = ipod.Device;
    arguments.settings.Model = ipod.VideoLimit;
    const TDevicePlan plan = PlanForDevice(arguments.settings);
    if (!plan.Refusal.empty()) {
        std::fprintf(stderr, "tovrela-cli sync: %s\n", plan.Refusal.c_str());
        return 2;
    }
    for (const std::string& change : plan.Changes) std::fprintf(stderr, "Note: %s\n", change.c_str());
    std::error_code spaceError;
    const std::filesystem::space_info space = std::filesystem::space(mount, spaceError);
    if (spaceError) {
        std::fprintf(stderr, "%s: its free space cannot be read: %s\n", mount.c_str(), spaceError.message().c_str());
        return 1;
    }

    // Writing the database needs room of its own; the videos get the rest.
    const uintmax_t room = IpodDatabaseRoom(mount);
    const uint64_t freeForVideos = space.available > room ? space.available - room : 0;

    std::vector<TSyncItem> items;
    bool allCan = true;
    for (const std::string& file : ExpandInputs(arguments.files, true)) {
        items.push_back(PlanSyncItem(file, plan.Settings));
        allCan = allCan && items.back().Action != TSyncAction::Cannot;
    }
    for (const std::string& line : SyncPlanLines(items, freeForVideos)) std::printf("%s\n", line.c_str());
    return allCan && SyncPlanFits(items, freeForVideos) ? 0 : 1;
}
