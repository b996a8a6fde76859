#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandRun.h"
#include "TestFiles.h"

namespace {

// Runs "tovrela-cli options" with the arguments.
CommandResult RunOptions(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {TOVRELA_CLI, "options"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return RunCommand(words);
}

TEST(OptionsCommandTest, PrintsTheDefaultStateOneFieldPerLine) {
    const CommandResult result = RunOptions({});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("input_contexts=\n", 0), 0u);
    EXPECT_EQ(result.Field("audio_sample_rate"), "44100");
    EXPECT_EQ(result.Field("max_frames"), "2147483647,2147483647,2147483647,2147483647");
    EXPECT_EQ(result.Field("frame_rate"), "0/0");
    EXPECT_EQ(result.Field("mux_max_delay"), "0.7");
    EXPECT_EQ(result.Field("recording_time"), "9223372036854775807");
}

TEST(OptionsCommandTest, AppliesLinesAndTextFilesInOrder) {
    const std::string textFile = ScratchFile("options.txt");
    WriteFile(textFile, "loop_output=4\r\nvn\r\ng=25\r\n");
    const CommandResult result = RunOptions({"-x", "loop_output=2", "--text-file", textFile, "-x", "i=ignored.avi"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.Field("loop_output"), "4");
    EXPECT_EQ(result.Field("video_disable"), "1");
    EXPECT_EQ(result.Field("option_names"), "g");
    EXPECT_EQ(result.err, "Do nothing: option - i\n");
}

TEST(OptionsCommandTest, RefusedOptionExitsWithItsMessage) {
    const CommandResult result = RunOptions({"-x", "vn", "-x", "threads=2"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "TODO: option - threads\n");
    EXPECT_EQ(result.out, "");
}

TEST(OptionsCommandTest, OddFrameSizeIsRefused) {
    const CommandResult result = RunOptions({"-x", "s=641x480"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("Frame size must be a multiple of 2"), std::string::npos) << result.err;
}

TEST(OptionsCommandTest, AspectAndPadColourArePrinted) {
    const CommandResult result = RunOptions({"-x", "aspect=16:9", "-x", "padcolor=255"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.Field("frame_aspect_ratio"), "1.77778");
    EXPECT_EQ(result.Field("padcolor_y") + "/" + result.Field("padcolor_u") + "/" + result.Field("padcolor_v"),
              "76/85/255");
}

TEST(OptionsCommandTest, UsageErrorsExitWithTwo) {
    EXPECT_EQ(RunOptions({"-x"}).status, 2);
    EXPECT_EQ(RunOptions({"--bogus"}).status, 2);
    EXPECT_EQ(RunOptions({"--text-file", "/nonexistent/options.txt"}).status, 2);
}

}  // namespace
