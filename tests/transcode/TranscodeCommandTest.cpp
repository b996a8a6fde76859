// tovrela-cli transcode: sets a task up, converts it on the calling thread,
// reports a failure with exit status 2, and finishes the output on Ctrl-C.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "MediaAnalysis.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

extern char** environ;

namespace {

struct Command {
    pid_t pid = -1;
    std::filesystem::path errors;
};

// Starts the command line tool with standard error going to a file.
Command Start(const std::vector<std::string>& words) {
    Command command;
    command.errors = ScratchFolder() / "stderr.txt";
    std::vector<std::string> all = {TOVRELA_CLI, "transcode"};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& word : all) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, command.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    EXPECT_EQ(posix_spawn(&command.pid, TOVRELA_CLI, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return command;
}

int Wait(const Command& command) {
    int status = 0;
    waitpid(command.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ErrorText(const Command& command) {
    std::ifstream file(command.errors);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(TranscodeCommand, ConvertsAndLogsToStandardError) {
    BindTestLibraries();
    const std::string output = (ScratchFolder() / "out.mkv").string();
    const Command command =
        Start({"-i", TestMediaPath("avi_mpeg4_mp3.avi"), "-x", "vcodec=copy", "-x", "acodec=copy", output});
    EXPECT_EQ(Wait(command), 0) << ErrorText(command);
    EXPECT_NE(ErrorText(command).find("Stream mapping:"), std::string::npos);
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_TRUE(result.error.empty()) << result.error;
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->frameCount, 48);
}

TEST(TranscodeCommand, ARaisedErrorIsPrintedWithStatusTwo) {
    const std::string output = (ScratchFolder() / "out.mkv").string();
    const Command command = Start({"-i", TestMediaPath("avi_mpeg4_mp3.avi"), "-x", "vcodec=copy", "-x",
                                   "acodec=copy", "-x", "map=0:0", output});
    EXPECT_EQ(Wait(command), 2);
    EXPECT_NE(ErrorText(command).find("Number of stream maps must match number of output streams"),
              std::string::npos);
}

// Reads at the clip's own pace, so that the run lasts two seconds, and
// returns once the conversion has shown progress.
Command StartSlowConversion(const std::string& output) {
    const Command command =
        Start({"-x", "re", "-i", TestMediaPath("video_only.avi"), "-x", "vcodec=copy", output});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ErrorText(command).find('\r') == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NE(ErrorText(command).find('\r'), std::string::npos) << "no progress shown";
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
    const Command command = StartSlowConversion(output);
    EXPECT_FALSE(std::filesystem::exists(output));  // only complete files carry the final name
    kill(command.pid, GetParam());
    EXPECT_EQ(Wait(command), 0) << ErrorText(command);
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
    Command command = StartSlowConversion(output);
    kill(command.pid, SIGTERM);
    kill(command.pid, SIGTERM);
    Wait(command);
    EXPECT_TRUE(Temporaries(ScratchFolder()).empty());

    std::ofstream(output, std::ios::trunc) << "earlier";

    command = StartSlowConversion(output);
    kill(command.pid, SIGKILL);
    Wait(command);
    EXPECT_EQ(Temporaries(ScratchFolder()).size(), 1u);
    std::ifstream kept(output);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "earlier");

    const std::string other = (ScratchFolder() / "other.mkv").string();
    const Command later = Start({"-i", TestMediaPath("video_only.avi"), "-x", "vcodec=copy", other});
    EXPECT_EQ(Wait(later), 0) << ErrorText(later);
    EXPECT_TRUE(Temporaries(ScratchFolder()).empty());
    EXPECT_TRUE(AnalyseMedia(other).error.empty());
}

}  // namespace
