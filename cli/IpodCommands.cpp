// "tovrela-cli ipods", "tovrela-cli send" and "tovrela-cli ipod": the iPods
// this program can send videos to, sending existing files to one, and
// checking, repairing and restoring an iPod's library.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandSupport.h"
#include "AVUtilHlpr.h"
#include "Commands.h"
#include "IpodBackups.h"
#include "IpodFinder.h"
#include "IpodLock.h"
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
    "Usage: tovrela-cli send [--libav DIR] [--plain-names] [--again] MOUNT FILE...\n"
    "\n"
    "Puts each file on the iPod mounted at MOUNT, into its Movies, TV Shows or\n"
    "Music Videos with the file's title and poster. Each file is checked first;\n"
    "one the iPod cannot play is not sent, with the reason. A file whose title,\n"
    "kind, length and size match a video on the iPod is skipped (\"already on the\n"
    "iPod\"); --again sends it anyway. Each file sent is noted in the iPod's\n"
    "record of synced files, so a later \"tovrela-cli sync\" of its folder finds\n"
    "it there.\n"
    "\n"
    "Each file goes on in a change of its own, under the iPod's lock (another run\n"
    "writing to the iPod is waited for): the database is read afresh, the file\n"
    "copied, and the new database written and flushed to the iPod before\n"
    "\"on iPod\" is printed. Before the first change, the databases are copied\n"
    "to iPod_Control/iTunes/Tovrela Backups (the three newest are kept; see\n"
    "\"tovrela-cli ipod restore\"). An iPod whose database or artwork cannot be\n"
    "read completely is not changed. Ctrl-C stops after the file being sent.\n"
    "Exit status: 0 when every file was sent or was already there, 1 otherwise,\n"
    "2 on a usage error, 3 when the libraries cannot be bound.\n";

const char kIpodHelp[] =
    "Usage: tovrela-cli ipod check [--libav DIR] [--plain-names] MOUNT [--repair]\n"
    "       tovrela-cli ipod restore MOUNT [--list] [NAME]\n"
    "       tovrela-cli ipod list MOUNT [--json]\n"
    "       tovrela-cli ipod remove MOUNT ID|TITLE...\n"
    "\n"
    "list prints every video on the iPod mounted at MOUNT, one a line: its ID,\n"
    "title, kind, show, season and episode, artist, length, size and whether this\n"
    "program put it there; then the iPod's capacity and free space. With --json\n"
    "the same is one JSON document. Songs are not listed.\n"
    "\n"
    "remove takes the videos named, by ID or by title, off the iPod: out of its\n"
    "database and playlists with their artwork in one write under the iPod's\n"
    "lock (after a backup, as below), then their files. A title that several\n"
    "videos have, or a name no video has, removes nothing and lists the matches.\n"
    "Exit status: 0 when listed or removed, 1 otherwise, 2 on a usage error.\n"
    "\n"
    "check reads the database of the iPod mounted at MOUNT and says whether it\n"
    "reads completely, which tracks' files are missing or have another size than\n"
    "the database says, and which files in its music folders no track lists\n"
    "(left by a run that was killed or an iPod pulled out), with their sizes.\n"
    "With --repair each such file that this program made is listed in the\n"
    "database again, and any other is removed, each said as it is done.\n"
    "Exit status: 0 when nothing is wrong (or everything was repaired), 1\n"
    "otherwise, 2 on a usage error, 3 when the libraries cannot be bound.\n"
    "\n"
    "Before it first changes an iPod's database, each run of this program copies\n"
    "the database, the artwork database and its picture files to\n"
    "iPod_Control/iTunes/Tovrela Backups/DATE TIME; the three newest are kept,\n"
    "taken only from a database that read completely. restore --list lists\n"
    "them, newest first; restore puts the newest (or the one named) back. Files\n"
    "sent since are then in no track: \"ipod check --repair\" lists them again.\n"
    "Exit status: 0 when restored or listed, 1 otherwise, 2 on a usage error.\n";

void PrintNotice(const std::string& notice) { std::fprintf(stderr, "%s\n", notice.c_str()); }

std::string Megabytes(uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    return text;
}

int RunCheck(const std::vector<std::string>& arguments) {
    std::vector<std::string> words;
    bool repair = false;
    for (const std::string& word : arguments) {
        if (word == "--repair")
            repair = true;
        else
            words.push_back(word);
    }
    TLibraryArguments parsed;
    if (!ParseLibraryArguments("ipod check", words, parsed)) return 2;
    if (parsed.files.size() != 1) {
        std::fprintf(stderr, "tovrela-cli ipod check: name the iPod's folder\n\n%s", kIpodHelp);
        return 2;
    }
    if (!BindLibrariesOrReport(parsed.libraryFolder, parsed.versionedNames)) return kBindFailureStatus;
    ff::av_log_set_level(AV_LOG_QUIET);
    TIpodLibrary library;
    std::string error;
    if (!library.Open(parsed.files[0], PrintNotice, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::string label = "iPod \"" + library.Ipod().Label() + "\" (" + library.Ipod().Mount + ")";
    std::printf("%s: its database reads completely\n", label.c_str());
    bool healthy = true;
    for (const std::string& problem : library.TrackProblems()) {
        std::printf("%s\n", problem.c_str());
        healthy = false;
    }
    size_t adopted = 0;
    for (const std::string& orphan : library.Orphans()) {
        std::error_code sizeError;
        const std::string line = orphan + " (" + Megabytes(std::filesystem::file_size(orphan, sizeError)) +
                                 "): in no track";
        if (!repair) {
            std::printf("%s\n", line.c_str());
            healthy = false;
        } else if (library.Adopt(orphan, error)) {
            std::printf("%s: listed again\n", line.c_str());
            ++adopted;
        } else if (std::filesystem::remove(orphan, sizeError)) {
            std::printf("%s: removed (%s)\n", line.c_str(), error.c_str());
        } else {
            std::printf("%s: could not be removed (%s)\n", line.c_str(), sizeError.message().c_str());
            healthy = false;
        }
    }
    if (adopted > 0 && !library.Commit(true, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (healthy) std::printf("%s: nothing is wrong\n", label.c_str());
    return healthy ? 0 : 1;
}

int RunRestore(const std::vector<std::string>& arguments) {
    std::vector<std::string> words;
    bool list = false;
    for (const std::string& word : arguments) {
        if (word == "--list")
            list = true;
        else
            words.push_back(word);
    }
    if (words.empty() || words.size() > 2 || words[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "tovrela-cli ipod restore: name the iPod's folder\n\n%s", kIpodHelp);
        return 2;
    }
    const std::string& mount = words[0];
    if (!HoldsIpodDatabase(mount)) {
        std::fprintf(stderr, "%s: not an iPod: it has no iPod_Control/iTunes/iTunesDB\n", mount.c_str());
        return 1;
    }
    const std::vector<TIpodBackup> backups = IpodBackups(mount);
    if (list) {
        if (backups.empty()) std::printf("%s: no backups\n", mount.c_str());
        for (const TIpodBackup& backup : backups)
            std::printf("%s (%s)\n", backup.Name.c_str(), Megabytes(backup.Bytes).c_str());
        return 0;
    }
    const TIpodBackup* chosen = backups.empty() ? nullptr : &backups.front();
    if (words.size() == 2) {
        chosen = nullptr;
        for (const TIpodBackup& backup : backups)
            if (backup.Name == words[1]) chosen = &backup;
    }
    if (!chosen) {
        std::fprintf(stderr, "%s: no backup%s%s\n", mount.c_str(), words.size() == 2 ? " named " : "",
                     words.size() == 2 ? words[1].c_str() : "");
        return 1;
    }
    TIpodLock lock;
    std::string error;
    if (!lock.Take(mount, [&] { PrintNotice(mount + ": another program is writing to it; waiting"); },
                   kIpodLockPatience, error) ||
        !RestoreIpodBackup(mount, *chosen, error)) {
        std::fprintf(stderr, "%s: not restored: %s\n", mount.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s: the library of %s is back\n", mount.c_str(), chosen->Name.c_str());
    return 0;
}

}  // namespace

int RunIpodCommand(const std::vector<std::string>& arguments) {
    if (arguments.empty() || PrintHelpIfAsked(arguments, kIpodHelp)) {
        if (arguments.empty()) std::fprintf(stderr, "%s", kIpodHelp);
        return arguments.empty() ? 2 : 0;
    }
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (arguments[0] == "check") return RunCheck(rest);
    if (arguments[0] == "restore") return RunRestore(rest);
    if (arguments[0] == "list") return RunIpodList(rest, kIpodHelp);
    if (arguments[0] == "remove") return RunIpodRemove(rest, kIpodHelp);
    std::fprintf(stderr, "tovrela-cli ipod: unknown command \"%s\"\n\n%s", arguments[0].c_str(), kIpodHelp);
    return 2;
}

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
    std::vector<std::string> words;
    bool again = false;
    for (const std::string& word : arguments) {
        if (word == "--again")
            again = true;
        else
            words.push_back(word);
    }
    TLibraryArguments parsed;
    if (!ParseLibraryArguments("send", words, parsed)) return 2;
    if (parsed.files.size() < 2) {
        std::fprintf(stderr, "tovrela-cli send: name the iPod's folder and at least one file\n\n%s", kSendHelp);
        return 2;
    }
    if (!BindLibrariesOrReport(parsed.libraryFolder, parsed.versionedNames)) return kBindFailureStatus;
    // The libraries' own warnings about the files read say nothing to a person.
    ff::av_log_set_level(AV_LOG_ERROR);
    TIpodSender sender([](const std::string& notice) { std::fprintf(stderr, "%s\n", notice.c_str()); });
    if (again) sender.SendAgain();
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
        switch (sender.Send(file, file, false, error)) {
            case TSendOutcome::OnIpod:
                std::printf("%s: on iPod \"%s\"\n", file.c_str(), sender.Ipod().Label().c_str());
                break;
            case TSendOutcome::AlreadyThere: std::printf("%s\n", error.c_str()); break;
            case TSendOutcome::NotSent:
                std::fprintf(stderr, "%s\n", error.c_str());
                allSent = false;
                break;
        }
    }
    return allSent ? 0 : 1;
}
