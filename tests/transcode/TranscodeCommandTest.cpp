// tovrela-cli transcode: sets a task up, converts it on the calling thread,
// reports a failure with exit status 2, and finishes the output on Ctrl-C.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "CommandRun.h"
#include "MediaAnalysis.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

// Starts "tovrela-cli transcode" with the arguments.
StartedCommand Start(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {TOVRELA_CLI, "transcode"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return StartedCommand(words);
}

TEST(TranscodeCommand, ConvertsAndLogsToStandardError) {
    BindTestLibraries();
    const std::string output = (ScratchFolder() / "out.mkv").string();
    StartedCommand command =
        Start({"-i", TestMediaPath("avi_mpeg4_mp3.avi"), "-x", "vcodec=copy", "-x", "acodec=copy", output});
    EXPECT_EQ(command.Wait(), 0) << command.Err();
    EXPECT_NE(command.Err().find("Stream mapping:"), std::string::npos);
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_TRUE(result.error.empty()) << result.error;
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->frameCount, 48);
}

TEST(TranscodeCommand, ARaisedErrorIsPrintedWithStatusTwo) {
    const std::string output = (ScratchFolder() / "out.mkv").string();
    StartedCommand command = Start({"-i", TestMediaPath("avi_mpeg4_mp3.avi"), "-x", "vcodec=copy", "-x",
                                    "acodec=copy", "-x", "map=0:0", output});
    EXPECT_EQ(command.Wait(), 2);
    EXPECT_NE(command.Err().find("Number of stream maps must match number of output streams"),
              std::string::npos);
}

// Reads at the clip's own pace, so that the run lasts two seconds, and
// returns once the conversion has shown progress.
StartedCommand StartSlowConversion(const std::string& output) {
    StartedCommand command =
        Start({"-x", "re", "-i", TestMediaPath("video_only.avi"), "-x", "vcodec=copy", output});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (command.Err().find('\r') == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NE(command.Err().find('\r'), std::string::npos) << "no progress shown";
    return command;
}

std::vector<std::string> Temporaries(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().find(".tovrela-part-") != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

class StopSignalTest : public testing::TestWithParam<int> {};

TEST_P(StopSignalTest, FinishesTheOutputUnderItsFinalName) {
    BindTestLibraries();
    const std::string output = (ScratchFolder() / "out.mkv").string();
    StartedCommand command = StartSlowConversion(output);
    EXPECT_FALSE(std::filesystem::exists(output));  // only complete files carry the final name
    command.Signal(GetParam());
    EXPECT_EQ(command.Wait(), 0) << command.Err();
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_TRUE(result.error.empty()) << result.error;
    const StreamAnalysis* video = result.First(AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->decodeErrors, 0);
    EXPECT_GT(video->frameCount, 0);
    EXPECT_LT(video->frameCount, 48);
    EXPECT_TRUE(Temporaries(ScratchFolder()).empty());
}

INSTANTIATE_TEST_SUITE_P(TranscodeCommand, StopSignalTest, testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST(TranscodeCommand, AKillLeavesTheReplacedFileAsItWasAndALaterRunRemovesTheTemporary) {
    BindTestLibraries();
    const std::string output = (ScratchFolder() / "out.mkv").string();
    // A second stop signal ends the program at once; it removes its temporary itself.
    StartedCommand command = StartSlowConversion(output);
    command.Signal(SIGTERM);
    command.Signal(SIGTERM);
    command.Wait();
    EXPECT_TRUE(Temporaries(ScratchFolder()).empty());

    WriteFile(output, "earlier");

    command = StartSlowConversion(output);
    command.Signal(SIGKILL);
    command.Wait();
    EXPECT_EQ(Temporaries(ScratchFolder()).size(), 1u);
    EXPECT_EQ(ReadFile(output), "earlier");

    const std::string other = (ScratchFolder() / "other.mkv").string();
    StartedCommand later = Start({"-i", TestMediaPath("video_only.avi"), "-x", "vcodec=copy", other});
    EXPECT_EQ(later.Wait(), 0) << later.Err();
    EXPECT_TRUE(Temporaries(ScratchFolder()).empty());
    EXPECT_TRUE(AnalyseMedia(other).error.empty());
}

}  // namespace
