// A run over a list of files: statuses that follow each file's own task, the
// end of the run, stopping, and the command-line converter built on it.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "../../cli/EventLoop.h"
#include "AVProbe.h"
#include "ComponentTestSupport.h"
#include "ConversionRun.h"
#include "MediaAnalysis.h"
#include "MediaFacts.h"
#include "MediaWriter.h"
#include "TestMedia.h"

extern char** environ;

namespace {

class RecordingView : public TRunView {
public:
    void SetRowStatus(size_t row, TRowOutcome, const std::string& status) override {
        if (statuses.size() <= row) statuses.resize(row + 1);
        statuses[row] = status;
    }
    void ShowProgress(size_t, int32_t, int32_t, int32_t, int32_t) override { ++progressCalls; }
    void ShowListProgress(const TListEstimate& estimate) override { listLines.push_back(ListProgressLine(estimate)); }
    void ShowMessage(const TUserMessage& message) override { messages.push_back(message.text); }
    void RunStateChanged(bool running) override { states.push_back(running); }
    void RunFinished(bool allCompleted) override { finished.push_back(allCompleted); }

    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    std::vector<bool> states;
    std::vector<bool> finished;
    int progressCalls = 0;
    std::vector<std::string> listLines;
};

class ConversionRunTest : public testing::Test {
protected:
    void SetUp() override {
        BindComponentTestLibraries();
        settings.OutputFolder = (ScratchFolder() / "out").string();
        settings.FrameSize = "160x120";
    }
    void RunUntilIdle(TConversionRun& run) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (run.Running() && std::chrono::steady_clock::now() < deadline)
            loop.RunOnce(std::chrono::milliseconds(20));
        ASSERT_FALSE(run.Running());
    }

    TEventLoop loop;
    TVexmoConverter component;
    RecordingView view;
    TConversionSettings settings;
    TConversionRun::TPoster post = [this](std::function<void()> work) { loop.Post(std::move(work)); };
};

TEST_F(ConversionRunTest, ThreeFilesEndCompletedWithTheFinishMessage) {
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi"), ClipPath("wmv_wmv2_wmav2.wmv"), ClipPath("audio_only.mp3")},
                          settings, 1));
    RunUntilIdle(run);
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"Completed", "Completed", "Completed"}));
    EXPECT_EQ(view.messages, (std::vector<std::string>{"File conversion process finished."}));
    EXPECT_EQ(view.states, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.finished, (std::vector<bool>{true}));
    EXPECT_EQ(run.OutputPath(2), settings.OutputFolder + "/audio_only.mp4");
    EXPECT_EQ(component.TaskCount(), 0u);
    ASSERT_FALSE(view.listLines.empty());
    EXPECT_EQ(view.listLines.front().rfind("File 1 of 3 \u00b7 ", 0), 0u) << view.listLines.front();
    EXPECT_EQ(view.listLines.back().rfind("File 3 of 3 \u00b7 ", 0), 0u) << view.listLines.back();
}

TEST_F(ConversionRunTest, SettingsBeyondTheDevicesLimitsAreFittedSoTheFilePlays) {
    settings.FrameSize = "720x320";
    settings.FrameRate = "60";
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi")}, settings, 1));
    RunUntilIdle(run);
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"Completed"}));
    TMediaFacts facts;
    std::string error;
    ASSERT_TRUE(ReadMediaFacts(run.OutputPath(0), facts, error)) << error;
    EXPECT_EQ(facts.Video->Width, 640);
    EXPECT_EQ(facts.Video->Height, 284);
    EXPECT_LE(facts.Video->FrameRate, 30.05);
}

TEST_F(ConversionRunTest, ARefusedFileKeepsItsOwnStatusAndTheOthersStayOnTheirRows) {
    const std::string missing = (ScratchFolder() / "missing.avi").string();
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({missing, ClipPath("avi_mpeg4_mp3.avi"), ClipPath("mov_mpeg4_aac.mov")}, settings, 1));
    RunUntilIdle(run);
    const std::string refusal = "Convertion of file \"" + missing +
                                "\" is not supported. It could not be opened: No such file or directory.";
    EXPECT_EQ(view.statuses, (std::vector<std::string>{refusal, "Completed", "Completed"}));
    EXPECT_EQ(run.Outcome(0), TRowOutcome::Refused);
    EXPECT_EQ(view.messages,
              (std::vector<std::string>{refusal, "File conversion process finished: 2 of 3 files converted."}));
    EXPECT_EQ(view.finished, (std::vector<bool>{false}));
}

TEST_F(ConversionRunTest, ARunWithNoTaskEndsAtOnce) {
    TConversionRun run(component, view, post);
    EXPECT_FALSE(run.Start({(ScratchFolder() / "missing.avi").string()}, settings, 1));
    EXPECT_FALSE(run.Running());
    EXPECT_EQ(view.states, (std::vector<bool>{true, false}));
    EXPECT_FALSE(run.Start({}, settings, 1));
    EXPECT_EQ(view.messages.back(), "Please select files to be converted.");
}

// A delivery that takes the first file and refuses the second, then loses
// the first when it makes them lasting; it says so from a thread of its own.
class RecordingDelivery : public TFileDelivery {
public:
    void Begin(TReporter reporter) override { reporter_ = std::move(reporter); }
    void Deliver(const std::string& path, const std::string&) override {
        delivered->push_back(path);
        Report({delivered->size() == 1 ? TDeliveryReport::Delivered : TDeliveryReport::NotDelivered, path, "refused"});
    }
    void DeliverEachAtOnce() override { *eachAtOnce = true; }
    void Finish() override {
        if (!delivered->empty()) Report({TDeliveryReport::NotDelivered, delivered->front(), "write failed"});
        Report({TDeliveryReport::Finished, "", ""});
    }
    // Kept by the test: the run lets the delivery go when it ends.
    std::shared_ptr<std::vector<std::string>> delivered = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<bool> eachAtOnce = std::make_shared<bool>(false);

private:
    void Report(const TDeliveryReport& report) { std::thread([this, report] { reporter_(report); }).join(); }
    TReporter reporter_;
};

// A delivery whose device has every file already.
class HadItDelivery : public TFileDelivery {
public:
    void Begin(TReporter reporter) override { reporter_ = std::move(reporter); }
    void Deliver(const std::string& path, const std::string&) override { reporter_({TDeliveryReport::AlreadyThere, path, ""}); }
    void DeliverEachAtOnce() override {}
    void Finish() override { reporter_({TDeliveryReport::Finished, "", ""}); }

private:
    TReporter reporter_;
};

TEST_F(ConversionRunTest, AFileTheDeviceHadAlreadyReadsSo) {
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi")}, settings, 1, std::make_unique<HadItDelivery>()));
    RunUntilIdle(run);
    EXPECT_EQ(view.statuses[0], "Completed, already on the iPod");
    EXPECT_FALSE(run.NotDelivered(0));
}

TEST_F(ConversionRunTest, ADeliveredFileReadsOnIpodUntilItIsLostAndTheRunWaitsForTheDelivery) {
    TConversionRun run(component, view, post);
    auto delivery = std::make_unique<RecordingDelivery>();
    const auto delivered = delivery->delivered;
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi"), ClipPath("mov_mpeg4_aac.mov")}, settings, 1,
                          std::move(delivery)));
    std::vector<std::string> seen;
    while (run.Running()) {
        loop.RunOnce(std::chrono::milliseconds(20));
        const std::string& first = view.statuses.empty() ? std::string() : view.statuses[0];
        if (seen.empty() || seen.back() != first) seen.push_back(first);
    }
    EXPECT_EQ(seen.back(), "Completed, not on iPod: write failed");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "Completed, on iPod"), seen.end());
    EXPECT_EQ(view.statuses[1], "Completed, not on iPod: refused");
    EXPECT_EQ(*delivered, (std::vector<std::string>{run.OutputPath(0), run.OutputPath(1)}));
    EXPECT_TRUE(run.NotDelivered(0) && run.NotDelivered(1));
    EXPECT_EQ(view.finished, (std::vector<bool>{false}));
    EXPECT_EQ(view.states, (std::vector<bool>{true, false}));

    // A stop makes every file lasting as soon as it is delivered.
    auto stopped = std::make_unique<RecordingDelivery>();
    const std::shared_ptr<bool> eachAtOnce = stopped->eachAtOnce;
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi")}, settings, 1, std::move(stopped)));
    run.Stop();
    RunUntilIdle(run);
    EXPECT_TRUE(*eachAtOnce);
}

TEST_F(ConversionRunTest, StoppingMarksTheUnfinishedFilesStoppedWithoutTheFinishMessage) {
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi"), ClipPath("wmv_wmv2_wmav2.wmv")}, settings, 1));
    run.Stop();
    RunUntilIdle(run);
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"Stopped", "Stopped"}));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.finished.empty());
}

// Every file under a final name decodes to its end, and nothing else is left.
void ExpectOnlyCompleteFiles(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find(".tovrela-part-"), std::string::npos) << name;
        const MediaAnalysis result = AnalyseMedia(entry.path().string());
        EXPECT_TRUE(result.error.empty()) << name << ": " << result.error;
        for (const StreamAnalysis& stream : result.streams) EXPECT_EQ(stream.decodeErrors, 0) << name;
    }
}

TEST_F(ConversionRunTest, SameNamedInputsWithOverwriteEachGetAFileOfTheirOwn) {
    settings.Overwrite = true;
    std::vector<std::string> inputs;
    for (const char* folder : {"a", "b"}) {
        std::filesystem::create_directories(ScratchFolder() / folder);
        inputs.push_back((ScratchFolder() / folder / "clip.avi").string());
        std::filesystem::copy_file(ClipPath("avi_mpeg4_mp3.avi"), inputs.back());
    }
    inputs.push_back(inputs[0]);
    for (int pass = 0; pass < 2; ++pass) {
        TConversionRun run(component, view, post);
        ASSERT_TRUE(run.Start(inputs, settings, 2));
        RunUntilIdle(run);
        EXPECT_EQ(view.statuses, (std::vector<std::string>{"Completed", "Completed", "Completed"}));
        // A later run replaces the earlier outputs instead of numbering new ones.
        EXPECT_EQ(run.OutputPath(2), settings.OutputFolder + "/clip(2).mp4");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(settings.OutputFolder), {}), 3);
    ExpectOnlyCompleteFiles(settings.OutputFolder);
}

TEST_F(ConversionRunTest, AnOutputNameOf250BytesConverts) {
    const std::filesystem::path input = ScratchFolder() / (std::string(246, 'n') + ".avi");
    std::filesystem::copy_file(ClipPath("avi_mpeg4_mp3.avi"), input);
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({input.string()}, settings, 1));
    RunUntilIdle(run);
    EXPECT_EQ(run.Status(0), "Completed");
    EXPECT_EQ(std::filesystem::path(run.OutputPath(0)).filename().string().size(), 250u);
    ExpectOnlyCompleteFiles(settings.OutputFolder);
}

// A file still being written: its header announces ten seconds, its content
// holds about two and a half.
TEST_F(ConversionRunTest, AnInputEndingWellBeforeItsAnnouncedDurationCompletesAndSaysSo) {
    TestClip clip = FindTestClip("video_only.avi");
    clip.durationUs = 10000000;
    const std::filesystem::path input = ScratchFolder() / "growing.avi";
    WriteTestClip(clip, input.string());
    std::filesystem::resize_file(input, std::filesystem::file_size(input) / 4);
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({input.string()}, settings, 1));
    RunUntilIdle(run);
    EXPECT_EQ(run.Outcome(0), TRowOutcome::Completed);
    const std::string status = run.Status(0);
    bool endedEarly = false;
    for (const char* second : {"1", "2", "3"})
        endedEarly |= status == std::string("Completed (input ended at 0:0") + second + " of 0:10)";
    EXPECT_TRUE(endedEarly) << status;
}

TEST_F(ConversionRunTest, AbandoningIsIdleAtOnceAndLaterEventsChangeNothing) {
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi"), ClipPath("wmv_wmv2_wmav2.wmv")}, settings, 1));
    run.Abandon();
    EXPECT_FALSE(run.Running());
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"Stopped", "Stopped"}));
    TThreadCount::Process().WaitUntilNone();
    loop.RunOnce(std::chrono::milliseconds(10));
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"Stopped", "Stopped"}));
    EXPECT_TRUE(view.messages.empty());
}

// ---- tovrela-cli convert ---------------------------------------------------

int RunCli(const std::string& arguments, std::string& output, const char* subcommand = "convert") {
    const std::string command = std::string(TOVRELA_CLI_PATH) + " " + subcommand + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t read;
    while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, read);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// `tovrela-cli convert` with the arguments, as exec takes them: the pointers
// point into `words`, which keeps them.
std::vector<char*> ConvertArgv(std::vector<std::string>& words, const std::vector<std::string>& arguments) {
    words.insert(words.begin(), {TOVRELA_CLI_PATH, "convert"});
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

// The child's exit status, -1 when a signal ended it.
int ExitStatusOf(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A conversion by the command line in a child process, its standard output
// and error going to `log`.
struct CliRun {
    pid_t pid = -1;
    std::string log;
};

CliRun StartCli(std::vector<std::string> arguments, const std::string& log) {
    std::vector<std::string> words = {"--size", "160x120"};
    std::vector<char*> argv = ConvertArgv(words, arguments);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    CliRun run{-1, log};
    EXPECT_EQ(posix_spawn(&run.pid, TOVRELA_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// The exit status (-1 when killed) and everything the run printed.
int FinishCli(const CliRun& run, std::string& output) {
    const int status = ExitStatusOf(run.pid);
    std::ifstream logFile(run.log);
    output.assign(std::istreambuf_iterator<char>(logFile), {});
    return status;
}

// Waits until a temporary in `folder` has grown past `bytes`: the file has
// pictures once it is past the header and the first full write buffer.
void WaitForTemporary(const std::filesystem::path& folder, uintmax_t bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto writing = [&] {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().filename().string().find(".tovrela-part-") != std::string::npos &&
                std::filesystem::file_size(entry.path(), error) > bytes)
                return true;
        return false;
    };
    while (!writing() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Long enough that a stop sent once its output has begun reaches it in its
// middle, however busy the machine.
constexpr int64_t kLongClipUs = 60000000;

std::string LongClip() {
    TestClip clip = FindTestClip("video_only.avi");
    clip.durationUs = kLongClipUs;
    const std::string input = (ScratchFolder() / "long.avi").string();
    WriteTestClip(clip, input);
    return input;
}

// A stop signal finishes the file being converted where it stands, starts no
// other, and ends the program with the summary, whatever --jobs says.
class ConvertSignalTest : public testing::TestWithParam<const char*> {};

TEST_P(ConvertSignalTest, SigtermFinishesTheCurrentFileWhereItStands) {
    BindComponentTestLibraries();
    const std::filesystem::path out = ScratchFolder() / "out";
    std::filesystem::create_directories(out);
    const std::string input = LongClip();
    const CliRun cli = StartCli({"--jobs", GetParam(), "--output-folder", out.string(), input, input},
                                (ScratchFolder() / "log.txt").string());
    WaitForTemporary(out, 40000);
    kill(cli.pid, SIGTERM);
    std::string output;
    EXPECT_EQ(FinishCli(cli, output), 1) << output;
    EXPECT_NE(output.find("long.avi -> " + (out / "long.mp4").string() + ": Stopped"), std::string::npos) << output;
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1) << output;
    ExpectOnlyCompleteFiles(out);
    const MediaAnalysis result = AnalyseMedia((out / "long.mp4").string());
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_LT(result.First(AVMEDIA_TYPE_VIDEO)->endTimeUs, kLongClipUs);
}

// With --overwrite a stopped file is only a part: it goes beside a complete
// earlier file instead of replacing it.
TEST(ConvertCommand, AStopWhileOverwritingKeepsTheEarlierFileAndThePartBesideIt) {
    BindComponentTestLibraries();
    const std::filesystem::path out = ScratchFolder() / "out";
    std::filesystem::create_directories(out);
    std::ofstream(out / "long.mp4") << "the complete earlier file";
    const std::string input = LongClip();
    const CliRun cli =
        StartCli({"--overwrite", "--output-folder", out.string(), input}, (ScratchFolder() / "log.txt").string());
    WaitForTemporary(out, 40000);
    kill(cli.pid, SIGTERM);
    std::string output;
    EXPECT_EQ(FinishCli(cli, output), 1) << output;
    EXPECT_EQ(ReadFile(out / "long.mp4"), "the complete earlier file");
    const std::filesystem::path part = out / "long (stopped).mp4";
    EXPECT_NE(output.find("long.avi -> " + part.string() + ": Stopped"), std::string::npos) << output;
    const MediaAnalysis result = AnalyseMedia(part.string());
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr) << result.error;
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->decodeErrors, 0);
}

// Without --overwrite nothing is replaced, whoever takes the name while the
// file converts: another run, or a person.
TEST(ConvertCommand, ANameTakenDuringTheRunGivesTheNextFreeName) {
    BindComponentTestLibraries();
    const std::filesystem::path out = ScratchFolder() / "out";
    std::filesystem::create_directories(out);
    const std::string input = LongClip();
    const CliRun cli = StartCli({"--output-folder", out.string(), input}, (ScratchFolder() / "log.txt").string());
    WaitForTemporary(out, 0);
    std::ofstream(out / "long.mp4") << "a file a person put there";
    std::string output;
    EXPECT_EQ(FinishCli(cli, output), 0) << output;
    EXPECT_EQ(ReadFile(out / "long.mp4"), "a file a person put there");
    EXPECT_NE(output.find("long.avi -> " + (out / "long(1).mp4").string() + ": Completed"), std::string::npos)
        << output;
    EXPECT_TRUE(AnalyseMedia((out / "long(1).mp4").string()).error.empty());
}

TEST(ConvertCommand, TwoRunsSideBySideIntoOneFolderKeepBothOutputs) {
    BindComponentTestLibraries();
    const std::filesystem::path out = ScratchFolder() / "out";
    std::vector<CliRun> runs;
    for (const char* source : {"video_only.avi", "avi_mpeg4_mp3.avi"}) {
        const std::filesystem::path folder = ScratchFolder() / source;
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(ClipPath(source), folder / "clip.avi");
        runs.push_back(StartCli({"--output-folder", out.string(), (folder / "clip.avi").string()},
                                (folder / "log.txt").string()));
    }
    for (const CliRun& cli : runs) {
        std::string output;
        EXPECT_EQ(FinishCli(cli, output), 0) << output;
    }
    // One output has sound and the other has none, whichever finished first.
    int withSound = 0;
    for (const char* name : {"clip.mp4", "clip(1).mp4"}) {
        const MediaAnalysis result = AnalyseMedia((out / name).string());
        ASSERT_TRUE(result.error.empty()) << name << ": " << result.error;
        withSound += result.First(AVMEDIA_TYPE_AUDIO) ? 1 : 0;
    }
    EXPECT_EQ(withSound, 1);
    ExpectOnlyCompleteFiles(out);
}

INSTANTIATE_TEST_SUITE_P(ConvertCommand, ConvertSignalTest, testing::Values("0", "1"));

// Runs a conversion by the command line in a child process under a limit of
// the system's (RLIMIT_...), its output going to `log`; the exit status, -1
// when a signal ended it.
int RunCliUnderLimit(const std::vector<std::string>& arguments, int resource, rlim_t limit, const std::string& log) {
    std::vector<std::string> words;
    std::vector<char*> argv = ConvertArgv(words, arguments);
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limits{limit, limit};
        setrlimit(resource, &limits);
        const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        execv(TOVRELA_CLI_PATH, argv.data());
        _exit(127);
    }
    return ExitStatusOf(pid);
}

// A file that cannot be written to its end, on a full disk or past the
// user's file size limit, fails with its name and the system's reason (the
// library's call is for the log), and leaves no file under any name: the
// earlier file it was to replace stays as it was.
struct WriteFailure {
    bool fullDisk;  // else a file size limit
    const char* reason;
};
class ConvertWriteFailureTest : public testing::TestWithParam<WriteFailure> {};

TEST_P(ConvertWriteFailureTest, SaysWhichFileCouldNotBeWrittenAndWhyAndLeavesNothing) {
    BindComponentTestLibraries();
    const std::filesystem::path out = ScratchFolder() / "out";
    std::filesystem::create_directories(out);
    constexpr rlim_t kRoom = 64 * 1024;
    if (GetParam().fullDisk && mount("tovrela-test", out.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{GetParam().fullDisk ? out.string() : ""};
    std::ofstream(out / "avi_mpeg4_mp3.mp4") << "earlier";
    const std::string input = ClipPath("avi_mpeg4_mp3.avi");
    const std::string log = (ScratchFolder() / "log.txt").string();
    EXPECT_EQ(RunCliUnderLimit({"--overwrite", "--output-folder", out.string(), input}, RLIMIT_FSIZE,
                               GetParam().fullDisk ? RLIM_INFINITY : kRoom, log),
              1);
    const std::string output = ReadFile(log);
    EXPECT_NE(output.find("\n" + input + ": Could not write " + (out / "avi_mpeg4_mp3.mp4").string() + ": " +
                          GetParam().reason + "\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(ReadFile(out / "avi_mpeg4_mp3.mp4"), "earlier");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(ConvertCommand, ConvertWriteFailureTest,
                         testing::Values(WriteFailure{true, "No space left on device"},
                                         WriteFailure{false, "File too large"}));

// Files waiting for their turn hold no descriptor: a list far longer than the
// limit of open files converts completely.
TEST(ConvertCommand, AListLongerThanTheDescriptorLimitConvertsCompletely) {
    BindComponentTestLibraries();
    const std::filesystem::path in = ScratchFolder() / "in";
    const std::filesystem::path out = ScratchFolder() / "out";
    std::filesystem::create_directories(in);
    TestClip shortClip = FindTestClip("video_only.avi");
    shortClip.durationUs = 250000;
    shortClip.width = 64;
    shortClip.height = 48;
    WriteTestClip(shortClip, (in / "0.avi").string());
    constexpr int kFiles = 100;
    for (int i = 1; i < kFiles; ++i) std::filesystem::create_hard_link(in / "0.avi", in / (std::to_string(i) + ".avi"));

    const std::string log = (ScratchFolder() / "log.txt").string();
    EXPECT_EQ(RunCliUnderLimit({"--size", "64x48", "--output-folder", out.string(), in.string()}, RLIMIT_NOFILE, 40, log),
              0) << ReadFile(log);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), kFiles);
    ExpectOnlyCompleteFiles(out);
}

TEST(ConvertCommand, ConvertsIntoNumberedNamesAndReportsRefusals) {
    BindComponentTestLibraries();
    const std::filesystem::path out = ScratchFolder() / "out";
    const std::string clip = ClipPath("avi_mpeg4_mp3.avi");
    std::string output;
    ASSERT_EQ(RunCli("--profile 1 --stretch --output-folder " + out.string() + " " + clip, output), 0) << output;
    EXPECT_NE(output.find("avi_mpeg4_mp3.avi: Completed"), std::string::npos) << output;
    EXPECT_NE(output.find("\nFile 1 of 1 \u00b7 "), std::string::npos) << output;
    TAVProbe probe;
    ASSERT_TRUE(probe.Open((out / "avi_mpeg4_mp3.mp4").string(), ""));
    EXPECT_EQ(probe.VideoStreamCount(), 1);
    EXPECT_EQ(probe.AudioStreamCount(), 1);
    probe.Close();

    output.clear();
    const std::string missing = (ScratchFolder() / "missing.avi").string();
    EXPECT_EQ(RunCli("--jobs 0 --output-folder " + out.string() + " " + clip + " " + missing, output), 1);
    EXPECT_TRUE(std::filesystem::exists(out / "avi_mpeg4_mp3(1).mp4")) << output;
    EXPECT_NE(output.find("Convertion of file \"" + missing + "\" is not supported."), std::string::npos);

    output.clear();
    EXPECT_EQ(RunCli("--profile 9 " + clip, output), 2);

    output.clear();
    const std::string converted = (out / "avi_mpeg4_mp3.mp4").string();
    EXPECT_EQ(RunCli(converted, output, "check"), 0) << output;
    EXPECT_EQ(output, converted + ": plays on iPod\n");
    output.clear();
    EXPECT_EQ(RunCli(converted + " " + clip, output, "check"), 1) << output;
    EXPECT_NE(output.find(clip + ": does not play on iPod\n  file type .avi not playable on iPod\n"),
              std::string::npos) << output;
}

TEST(VersionCommand, PrintsTheProgramsAndTheBoundLibrariesVersions) {
    for (const char* flag : {"--version", "-V"}) {
        std::string output;
        EXPECT_EQ(RunCli("", output, flag), 0) << output;
        EXPECT_EQ(output.rfind("tovrela-cli (Free Tovrela) 3.3\nFFmpeg ", 0), 0u) << output;
        EXPECT_NE(output.find("\nlibavcodec 59."), std::string::npos) << output;
    }
}

}  // namespace
