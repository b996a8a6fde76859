// A run over a list of files: statuses that follow each file's own task, the
// end of the run, stopping, and the command-line converter built on it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "../../cli/EventLoop.h"
#include "AVProbe.h"
#include "ComponentTestSupport.h"
#include "ConversionRun.h"

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

TEST_F(ConversionRunTest, AFileBeyondTheIpodsLimitsCompletesWithTheLimitsItBreaks) {
    settings.FrameSize = "720x320";
    settings.FrameRate = "60";
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi")}, settings, 1));
    RunUntilIdle(run);
    EXPECT_EQ(view.statuses,
              (std::vector<std::string>{"Completed (too wide for iPod: 720 > 640; frame rate too high for iPod: 60 > 30)"}));
    EXPECT_EQ(run.Outcome(0), TRowOutcome::Completed);
}

TEST_F(ConversionRunTest, ARefusedFileKeepsItsOwnStatusAndTheOthersStayOnTheirRows) {
    const std::string missing = (ScratchFolder() / "missing.avi").string();
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({missing, ClipPath("avi_mpeg4_mp3.avi"), ClipPath("mov_mpeg4_aac.mov")}, settings, 1));
    RunUntilIdle(run);
    const std::string refusal = "Convertion of file \"" + missing + "\" is not supported.";
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

TEST_F(ConversionRunTest, StoppingMarksTheUnfinishedFilesStoppedWithoutTheFinishMessage) {
    TConversionRun run(component, view, post);
    ASSERT_TRUE(run.Start({ClipPath("avi_mpeg4_mp3.avi"), ClipPath("wmv_wmv2_wmav2.wmv")}, settings, 1));
    run.Stop();
    RunUntilIdle(run);
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"Stopped", "Stopped"}));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.finished.empty());
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
