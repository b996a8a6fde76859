// "tovrela-cli sync": folders of videos kept on an iPod, the plan printed
// first.

#include <unistd.h>

#include <cstdio>

#include "Commands.h"
#include "ConvertArguments.h"
#include "EventLoop.h"
#include "FolderSync.h"
#include "CommandSupport.h"
#include "SettingsTable.h"
#include "VexmoConverter.h"

namespace {

void PrintSyncHelp(FILE* stream) {
    const std::string help =
        "Usage: tovrela-cli sync [OPTIONS] FOLDER... --to MOUNT\n"
        "\n"
        "Keeps every video in the folders (subfolders too, in the order a file\n"
        "manager lists them) on the iPod mounted at MOUNT. For each file it decides:\n"
        "  skip     already on the iPod, unchanged since this program put it there\n"
        "  copy     it already plays on this iPod (H.264 in MP4 or Matroska, within\n"
        "           the model's size, level, rates and AAC sound): its streams go\n"
        "           into an M4V file unchanged, with its tags, chapters and text\n"
        "           subtitles (as the iPod's text track)\n"
        "  convert  made for the iPod's model, as \"convert --to-ipod\" makes it\n"
        "  cannot   with the reason\n"
        "The plan is printed first, with each file's size (a converted one estimated\n"
        "from its length and the profile's rates, plus about 1 % and 32 KiB for the\n"
        "MP4 index and headers), the total, the time it takes (conversions at the\n"
        "speed measured for the device, every file written at 10 MB/s) and the\n"
        "space left after. A plan that does not fit is refused before anything is\n"
        "written. Each file goes on in a locked change of its own as soon as it is\n"
        "ready; a record on the iPod (iPod_Control/Tovrela/sync-record) remembers\n"
        "each source's path, size and modification time, so a second sync writes\n"
        "nothing and a changed file replaces its track (its old track is taken off\n"
        "first when both would not fit). Files put on by \"send\" and\n"
        "\"convert --to-ipod\" are in the record too. Tracks other programs put\n"
        "there are never touched.\n"
        "Files are converted in ~/.cache/tovrela and removed once on the iPod.\n"
        "\n"
        "  --to MOUNT            the iPod's folder\n"
        "  --dry-run             print the plan and write nothing\n"
        "  --delete              also remove the videos this program put on from these\n"
        "                        folders whose file is gone (listed in the plan)\n"
        "  --fit                 the highest profile at which the plan fits\n"
        "\n" +
        SettingsHelp() +
        "  --libav DIR           bind the FFmpeg libraries found in DIR\n"
        "  --plain-names         load libavutil.so ... instead of libavutil.so.57 ...\n"
        "\n"
        "Ctrl-C (or SIGTERM, SIGHUP) stops the sync: what is on the iPod stays and\n"
        "is listed, the file being converted is not put on, the rest not started.\n"
        "It ends with a summary: added, copied as they were, skipped, removed,\n"
        "failed (with the reasons) and stopped.\n"
        "Exit status: 0 when every file is on the iPod (or, with --dry-run, can go\n"
        "on) and the plan fits, 1 when a file cannot or failed, the sync was stopped,\n"
        "the plan needs more room than the iPod has free or the iPod cannot take\n"
        "videos, 2 on a usage error, 3 when the libraries cannot be bound.\n";
    std::fputs(help.c_str(), stream);
    PrintProfiles(stream, "Profiles (--fit tries them from the last up):");
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "tovrela-cli sync: %s\n\n", message.c_str());
    PrintSyncHelp(stderr);
    return 2;
}

// The sync on the terminal: a line of the whole plan's progress redrawn in
// place, each file's outcome as it ends.
class TTerminalSyncView : public TSyncView {
public:
    explicit TTerminalSyncView(bool terminal) : terminal_(terminal) {}
    void ShowProgress(const TSyncProgress& progress) override {
        const std::string line = SyncProgressLine(progress);
        if (!terminal_) {
            if (line == last_) return;
            last_ = line;
        }
        std::fprintf(stderr, terminal_ ? "\r\033[K%s" : "%s\n", line.c_str());
        barShown_ = terminal_;
        std::fflush(stderr);
    }
    void ShowNotice(const std::string& text) override {
        ClearBar();
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    void ItemEnded(const TSyncOutcome& outcome) override {
        if (outcome.Result == TSyncResult::Skipped) return;
        ClearBar();
        std::printf("%s\n", SyncOutcomeLine(outcome).c_str());
        std::fflush(stdout);
    }
    void SyncEnded() override { ClearBar(); }
    void ClearBar() {
        if (barShown_) std::fputs("\r\033[K", stderr);
        barShown_ = false;
    }

private:
    bool terminal_;
    bool barShown_ = false;
    std::string last_;
};

}  // namespace

int RunSyncCommand(const std::vector<std::string>& words) {
    std::vector<std::string> rest;
    TSyncRequest request;
    bool dryRun = false;
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--to") {
            if (i + 1 >= words.size()) return UsageError("option '--to' needs the iPod's folder");
            request.Mount = words[++i];
        } else if (words[i] == "--dry-run") {
            dryRun = true;
        } else if (words[i] == "--delete") {
            request.Delete = true;
        } else if (words[i] == "--fit") {
            request.Fit = true;
        } else {
            rest.push_back(words[i]);
        }
    }
    ConvertArguments arguments;
    std::string error;
    if (!ParseConvertArguments(rest, arguments, error))
        return UsageError(error == "no file given" ? "no folder given" : error);
    if (arguments.help) {
        PrintSyncHelp(stdout);
        return 0;
    }
    if (request.Mount.empty()) return UsageError("name the iPod's folder with --to MOUNT");
    for (const std::string& word : rest)
        if (request.Fit && (word == "--profile" || word.starts_with("--profile=")))
            return UsageError("--fit chooses the profile: give either --fit or --profile");
    request.Folders = arguments.files;
    request.Settings = arguments.settings;
    request.DeviceGiven = arguments.deviceGiven;
    request.Notice = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };

    TEventLoop loop;
    TVexmoConverter component;
    component.SetLogLevel(arguments.logLevel);
    if (!component.LoadLibraries(arguments.libraryFolder, arguments.versionedNames)) {
        std::fprintf(stderr, "tovrela-cli sync: %s\n", component.LastErrorMessage().c_str());
        return 3;
    }
    TFolderSyncPlan plan;
    const TSyncPlanStatus planned = PlanFolderSync(request, plan, error);
    if (planned != TSyncPlanStatus::Planned) {
        std::fprintf(stderr, "tovrela-cli sync: %s\n", error.c_str());
        component.UnloadLibraries();
        return planned == TSyncPlanStatus::SettingsRefused ? 2 : 1;
    }
    for (const std::string& change : plan.Changes) std::fprintf(stderr, "Note: %s\n", change.c_str());
    for (const std::string& line : plan.Lines(kSyncRemedyCommandLine)) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    bool allCan = true;
    for (const TSyncItem& item : plan.Items) allCan = allCan && item.Action != TSyncAction::Cannot;
    if (dryRun || !plan.Fits()) {
        component.UnloadLibraries();
        if (!dryRun) std::fprintf(stderr, "tovrela-cli sync: nothing was written to the iPod\n");
        return allCan && plan.Fits() ? 0 : 1;
    }

    component.SetDelayedCallHost(&loop);
    TTerminalSyncView view(isatty(STDERR_FILENO) == 1);
    bool allDone = false;
    {
        TFolderSync sync(component, view, [&loop](std::function<void()> work) { loop.Post(std::move(work)); });
        TStoppableLoop stoppable(loop, component);
        sync.Start(plan);
        stoppable.RunWhile([&sync] { return sync.Running(); }, [&] {
            view.ClearBar();
            std::fputs("Stopping...\n", stderr);
            sync.Stop();
        });
        std::printf("\n%s\n", SyncSummaryLine(sync.Outcomes()).c_str());
        allDone = true;
        for (const TSyncOutcome& outcome : sync.Outcomes()) {
            if (outcome.Result == TSyncResult::Failed) std::printf("%s\n", SyncOutcomeLine(outcome).c_str());
            allDone = allDone && outcome.Result != TSyncResult::Failed && outcome.Result != TSyncResult::Stopped;
        }
    }
    component.UnloadLibraries();
    return allDone ? 0 : 1;
}
