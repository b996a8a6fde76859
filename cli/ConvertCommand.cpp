// "tovrela-cli convert": the window's conversion run without the window.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

#include "CommandSupport.h"
#include "Commands.h"
#include "ConversionRun.h"
#include "ConvertArguments.h"
#include "EventLoop.h"
#include "IpodDelivery.h"
#include "IpodFinder.h"
#include "IpodLimits.h"
#include "SettingsTable.h"
#include "VexmoConverter.h"

namespace {

std::string ConvertHelp() {
    return "Usage: tovrela-cli convert [OPTIONS] FILE|FOLDER...\n"
    "\n"
    "Converts every file (a folder stands for the files in it) into a file the\n"
    "chosen device plays (by default an iPod MP4 file: MPEG-4 video, AAC audio)\n"
    "in the output folder, one after another.\n"
    "\n" + SettingsHelp() +
    "  --jobs N              files converted at a time (default: one per core;\n"
    "                        0 runs them on this program's own thread)\n"
    "  --log-level LEVEL     quiet, error, info, debug or all (default error)\n"
    "  --libav DIR           bind the FFmpeg libraries found in DIR\n"
    "  --plain-names         load libavutil.so ... instead of libavutil.so.57 ...\n"
    "  --to-ipod MOUNT       put each file on the iPod mounted at MOUNT as soon as\n"
    "                        it is completed and plays there; without --device\n"
    "                        the files are made for that iPod's model; each\n"
    "                        source is noted on the iPod, so that \"sync\" of\n"
    "                        its folder finds it there\n"
    "  --no-keep             with --to-ipod: remove each file from the output\n"
    "                        folder once the iPod's database lists it\n"
    "\n"
    "Ctrl-C (or SIGTERM, SIGHUP) stops the run: the file being converted is\n"
    "finished where it stands, the others are not started; a second one ends the\n"
    "program at once. A file appears under its final name only once it is\n"
    "complete; until then it is written under a hidden name, .tovrela-part-XXXXXX.\n"
    "Without --overwrite no file is ever replaced: a name taken while the file\n"
    "converts gives the next free \"(n)\" name. With --overwrite a stopped file\n"
    "never replaces an existing one; it is kept beside it as \"NAME (stopped).mp4\"\n"
    "(with the device's extension).\n"
    "Settings the device cannot play are brought within its limits, and each\n"
    "change is said before the run; a video bit rate above the device's most,\n"
    "or a device whose encoder the libraries lack, is refused.\n"
    "Exit status: 0 when every file was converted, 1 when any was refused, failed\n"
    "or stopped, 2 on a usage error or settings the device refuses, 3 when the\n"
    "libraries cannot be bound.\n";
}

// The help, then the profiles as the table has them.
void PrintConvertHelp(FILE* stream) {
    std::fputs(ConvertHelp().c_str(), stream);
    PrintProfiles(stream);
}

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// Shows the run on standard error: on a terminal a live bar for the file
// with the whole list's line under it, plain lines otherwise.
class TTerminalView : public TRunView {
public:
    TTerminalView(const std::vector<std::string>& files, bool terminal) : files_(files), terminal_(terminal) {}

    void SetRowStatus(size_t row, TRowOutcome outcome, const std::string& status) override {
        // Refusals are shown by their message; pending and live rows by the bar.
        if (outcome != TRowOutcome::Completed && outcome != TRowOutcome::Stopped && outcome != TRowOutcome::Failed)
            return;
        ClearBar();
        std::fprintf(stderr, "%s\n", RunTexts::ResultLine(NameOf(files_[row]), "", status).c_str());
    }

    void ShowProgress(size_t row, int32_t frame, int32_t fps, int32_t currentMs, int32_t totalMs) override {
        const auto now = std::chrono::steady_clock::now();
        const auto started = started_.emplace(row, now).first->second;
        const double elapsed = std::chrono::duration<double>(now - started).count();
        int64_t left = -1;
        if (totalMs > 0 && currentMs > 0 && elapsed > 0.5)
            left = static_cast<int64_t>(elapsed * (totalMs - currentMs) / currentMs + 0.5);
        bar_ = RunTexts::ProgressBarLine(NameOf(files_[row]), frame, fps, currentMs, totalMs, left);
        // On a terminal the bar is drawn with the list's line that follows.
        if (!terminal_) std::fprintf(stderr, "%s\n", bar_.c_str());
    }

    void ShowListProgress(const TListEstimate& estimate) override {
        const std::string line = ListProgressLine(estimate);
        if (terminal_) {
            // Both lines are redrawn in place; the cursor goes back to the bar's.
            std::fprintf(stderr, "\r\033[K%s\n\033[K%s\033[1A\r", bar_.c_str(), line.c_str());
            barShown_ = true;
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        std::fflush(stderr);
    }

    void ShowMessage(const TUserMessage& message) override {
        // A failed file's error is its status line.
        if (message.icon == TMessageIcon::Warning) return;
        ClearBar();
        std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
    }

    void ShowDecisions(size_t row, const std::vector<std::string>& notes) override {
        ClearBar();
        for (const std::string& note : notes)
            std::fprintf(stderr, "%s\n", RunTexts::OneLine(NameOf(files_[row]) + ": " + note).c_str());
    }

    void RunStateChanged(bool) override {}

    void ClearBar() {
        if (!barShown_) return;
        std::fputs("\r\033[K\n\033[K\033[1A\r", stderr);
        barShown_ = false;
    }

private:
    const std::vector<std::string>& files_;
    bool terminal_;
    bool barShown_ = false;
    std::string bar_;
    std::map<size_t, std::chrono::steady_clock::time_point> started_;
};

}  // namespace

int RunConvertCommand(const std::vector<std::string>& words) {
    ConvertArguments arguments;
    std::string error;
    if (!ParseConvertArguments(words, arguments, error)) {
        std::fprintf(stderr, "tovrela-cli convert: %s\n\n", error.c_str());
        PrintConvertHelp(stderr);
        return 2;
    }
    if (arguments.help) {
        PrintConvertHelp(stdout);
        return 0;
    }
    const std::vector<std::string> files = ExpandInputs(arguments.files);

    TEventLoop loop;
    TVexmoConverter component;
    component.SetLogLevel(arguments.logLevel);
    if (!component.LoadLibraries(arguments.libraryFolder, arguments.versionedNames)) {
        std::fprintf(stderr, "tovrela-cli convert: %s\n", component.LastErrorMessage().c_str());
        return 3;
    }
    if (!arguments.toIpod.empty()) {
        // Refused before anything is converted for it.
        const TIpod ipod = DescribeIpod(arguments.toIpod);
        if (ipod.Support != TIpodSupport::Supported) {
            std::fprintf(stderr, "tovrela-cli convert: %s\n", IpodLine(ipod).c_str());
            component.UnloadLibraries();
            return 1;
        }
        if (!arguments.deviceGiven) arguments.settings.Device = ipod.Device;
        arguments.settings.Model = ipod.VideoLimit;
    }
    const TDevicePlan plan = PlanForDevice(arguments.settings);
    if (!plan.Refusal.empty()) {
        std::fprintf(stderr, "tovrela-cli convert: %s\n", plan.Refusal.c_str());
        component.UnloadLibraries();
        return 2;
    }
    for (const std::string& change : plan.Changes) std::fprintf(stderr, "Note: %s\n", change.c_str());
    component.SetDelayedCallHost(&loop);
    TTerminalView view(files, isatty(STDERR_FILENO) == 1);
    component.SetOnLog([&](int32_t index, TLogLevel level, const std::string& message) {
        if (level > arguments.logLevel) return;
        loop.Post([&view, index, message] {
            view.ClearBar();
            if (index >= 0)
                std::fprintf(stderr, "[%d] %s\n", index, message.c_str());
            else
                std::fprintf(stderr, "%s\n", message.c_str());
        });
    });

    int exitStatus = 1;
    {
        TConversionRun run(component, view, [&loop](std::function<void()> work) { loop.Post(std::move(work)); });
        TStoppableLoop stoppable(loop, component);
        std::unique_ptr<TFileDelivery> ipod;
        if (!arguments.toIpod.empty())
            ipod = std::make_unique<TIpodDelivery>(arguments.toIpod, arguments.keep, [&](const std::string& notice) {
                loop.Post([&view, notice] {
                    view.ClearBar();
                    std::fprintf(stderr, "%s\n", notice.c_str());
                });
            });
        if (run.Start(files, arguments.settings, arguments.jobs, std::move(ipod)))
            stoppable.RunWhile([&run] { return run.Running(); }, [&] {
                view.ClearBar();
                std::fputs("Stopping...\n", stderr);
                run.Stop();
            });
        view.ClearBar();
        bool allCompleted = run.RowCount() > 0;
        std::fputs("\n", stdout);
        for (size_t row = 0; row < run.RowCount(); ++row) {
            // Only a file the run left is named: a failed or refused file has none.
            std::error_code error;
            const std::string& output = run.OutputPath(row);
            const bool written = !output.empty() && run.Outcome(row) != TRowOutcome::Failed &&
                                 std::filesystem::is_regular_file(output, error);
            std::printf("%s\n", RunTexts::ResultLine(files[row], written ? output : "", run.Status(row)).c_str());
            allCompleted = allCompleted && run.Outcome(row) == TRowOutcome::Completed && !run.NotDelivered(row);
        }
        exitStatus = allCompleted ? 0 : 1;
    }
    component.SetOnLog(nullptr);
    component.UnloadLibraries();
    return exitStatus;
}
