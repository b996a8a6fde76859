// Runs the built tovrela-cli's set-up commands as a user would.

#include "CommandRun.h"
#include "EngineTest.h"

namespace {

class SetupCommandTest : public EngineTest {
protected:
    CommandResult Run(const std::vector<std::string>& words) const {
        std::vector<std::string> all = {TOVRELA_CLI};
        all.insert(all.end(), words.begin(), words.end());
        return RunCommand(all);
    }

    CommandResult SetUpOnly(const std::string& input, const std::string& output) const {
        return Run({"transcode", "--setup-only", "-i", input, "-x", "acodec=libfaac", "-x", "vcodec=mpeg4", output});
    }
};

TEST_F(SetupCommandTest, EveryClipSetsUpAnMp4AndLeavesNoFileBehind) {
    const std::string output = ScratchFile("out.mp4");
    for (const TestClip& clip : TestClips()) {
        SCOPED_TRACE(clip.fileName);
        const CommandResult result = SetUpOnly(TestMediaPath(clip.fileName), output);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find("Output #0, mp4, to '" + output + "'"), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("Video: mpeg4") != std::string::npos, clip.HasVideo()) << result.out;
        EXPECT_EQ(result.out.find("Audio: aac") != std::string::npos, clip.HasAudio()) << result.out;
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

TEST_F(SetupCommandTest, AnExistingOutputIsUntouched) {
    const std::string output = ScratchFile("out.mp4");
    WriteFile(output, "an earlier conversion");
    const CommandResult result = SetUpOnly(TestMediaPath("avi_mpeg4_mp3.avi"), output);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadFile(output), "an earlier conversion");
}

TEST_F(SetupCommandTest, FailuresPrintTheMessageAndExitWithTwo) {
    const std::string output = ScratchFile("out.mp4");
    CommandResult result = Run({"transcode", "--setup-only", "-i", TestMediaPath("avi_mpeg4_mp3.avi"), "-x",
                            "vcodec=no_such_encoder", output});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.substr(result.err.rfind("new_video_stream")),
              "new_video_stream fail: Unknown encoder 'no_such_encoder'\n");

    const std::string missing = ScratchFile("missing.avi");
    result = SetUpOnly(missing, output);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(missing + ": no such file or directory\n"), std::string::npos) << result.err;

    result = Run({"transcode", "--setup-only", "-i", TestMediaPath("avi_mpeg4_mp3.avi"), "-x", "threads=2", output});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("TODO: option - threads\n"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(SetupCommandTest, TheInputCannotBeItsOwnOutput) {
    const std::string input = ScratchFile("clip.avi");
    std::filesystem::copy_file(TestMediaPath("avi_mpeg4_mp3.avi"), input);
    const std::string before = ReadFile(input);
    const CommandResult result = Run({"transcode", "--setup-only", "-i", input, input});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("it is the input file itself"), std::string::npos) << result.err;
    EXPECT_EQ(ReadFile(input), before);
}

TEST_F(SetupCommandTest, UsageAndHelp) {
    const std::string clip = TestMediaPath("avi_mpeg4_mp3.avi");
    EXPECT_EQ(Run({"transcode", "--setup-only", "-i", clip, "-i", clip, ScratchFile("out.mp4")}).status, 2);
    EXPECT_EQ(Run({"transcode", "--setup-only", ScratchFile("out.mp4")}).status, 2);
    const CommandResult help = Run({"transcode", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--setup-only"), std::string::npos);
    EXPECT_NE(Run({"options", "--help"}).out.find("-i INPUT"), std::string::npos);
}

TEST_F(SetupCommandTest, OptionsAfterAnInputSeeItsProperties) {
    CommandResult result = Run({"options", "-i", TestMediaPath("mono_22050.avi")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\naudio_channels=1\n"), std::string::npos);
    EXPECT_NE(result.out.find("\naudio_sample_rate=22050\n"), std::string::npos);

    // A preset given after the input works on what the input left.
    result = Run({"options", "-i", TestMediaPath("mono_22050.avi"), "-x", "target=pal-svcd"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\naudio_channels=2\n"), std::string::npos);
    EXPECT_NE(result.out.find("\nframe_width=480\n"), std::string::npos);

    result = Run({"options", "-i", ScratchFile("missing.avi")});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(ScratchFile("missing.avi") + ": no such file or directory"), std::string::npos);
}

}  // namespace
