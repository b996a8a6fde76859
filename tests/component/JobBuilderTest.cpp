// Building one task per file: the output name rule, the refusals, the
// settings translated into output options, and the texts people see.

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "ComponentTestSupport.h"
#include "DefaultOutputFolder.h"
#include "JobBuilder.h"
#include "RunTexts.h"

namespace {

void Touch(const std::filesystem::path& path, const std::string& content = "") {
    std::ofstream(path) << content;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream stream(path);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

TEST(OutputName, TakesTheFirstFreeNumberUnlessOverwriting) {
    const std::filesystem::path folder = ScratchFolder();
    Touch(folder / "clip.mp4");
    Touch(folder / "clip(1).mp4");
    EXPECT_EQ(ChooseOutputName(folder.string(), "clip", ".mp4", false, "/elsewhere/clip.avi"), "clip(2)");
    EXPECT_EQ(ChooseOutputName(folder.string(), "clip", ".mp4", true, "/elsewhere/clip.avi"), "clip");
    EXPECT_EQ(ChooseOutputName(folder.string(), "other", ".mp4", false, "/elsewhere/other.avi"), "other");
}

TEST(OutputName, TheInputItselfCountsAsTakenEvenWhenOverwriting) {
    const std::filesystem::path folder = ScratchFolder();
    Touch(folder / "movie.mp4", "original");
    const std::string input = (folder / "movie.mp4").string();
    EXPECT_EQ(ChooseOutputName(folder.string(), "movie", ".mp4", true, input), "movie(1)");
}

TEST(OutputName, BaseNameAndType) {
    EXPECT_EQ(BaseNameOf("/a/b/movie.final.wmv"), "movie.final");
    EXPECT_EQ(TypeTextOf("/a/b/movie.final.wmv"), "WMV");
    EXPECT_EQ(BaseNameOf("/a/noextension"), "noextension");
    EXPECT_EQ(TypeTextOf("/a/noextension"), "");
}

TEST(RunTexts, DurationsStatusesAndProgressLine) {
    EXPECT_EQ(RunTexts::DurationText(5025), "01:23:45");
    EXPECT_EQ(RunTexts::DurationText(59), "00:00:59");
    EXPECT_EQ(RunTexts::DurationText(360000), "100:00:00");
    EXPECT_EQ(RunTexts::ProgressStatus(30500, 61000), "50% Completed");
    EXPECT_EQ(RunTexts::ProgressStatus(65000, -1), "00:01:05");
    EXPECT_EQ(RunTexts::ProgressLine(120, 30500, 25), "Current Frame=120 Time=30 FPS=25");
    EXPECT_EQ(RunTexts::ProgressLine(12, 500, 0), "Current Frame=12 Time=0");
    EXPECT_EQ(RunTexts::ProgressLine(-1, 4200, -1), "Time=4");
    EXPECT_EQ(RunTexts::ProgressBarLine("a.avi", 12, 0, 500, 1000, -1),
              "a.avi [############............] 50% frame=12 time=00:00:00 ETA --:--:--");
    EXPECT_EQ(RunTexts::ProgressBarLine("a.mp3", -1, 0, 500, 0, -1), "a.mp3 time=00:00:00 ETA --:--:--");
    EXPECT_EQ(RunTexts::InputEndedEarly(2500, 10000), "input ended at 0:02 of 0:10");
    EXPECT_EQ(RunTexts::ShortDurationText(3723), "1:02:03");
    // A name may hold a line break; a summary line never does.
    EXPECT_EQ(RunTexts::ResultLine("a\nb.avi", "out/a\nb.mp4", "Completed"), "a\\nb.avi -> out/a\\nb.mp4: Completed");
}

// The window shows a profile by its label alone, so each label must say what
// its row applies.
TEST(Profiles, EachLabelStatesItsRatesAndChannels) {
    for (const TOutputProfile& profile : OutputProfiles()) {
        const std::string label = profile.Label;
        EXPECT_NE(label.find("Video:" + std::to_string(profile.VideoBitrateKbps) + "kbps"), std::string::npos) << label;
        EXPECT_NE(label.find("Audio:" + std::to_string(profile.AudioBitrateKbps) + "kbps"), std::string::npos) << label;
        EXPECT_NE(label.find(profile.Channels == 1 ? "Mono" : "Stereo"), std::string::npos) << label;
    }
}

// With HOME unset the home folder comes from the password database, never
// from the folder the program was started in.
TEST(Settings, DefaultOutputFolderIsInTheHomeFolder) {
    const char* home = std::getenv("HOME");
    const std::optional<std::string> saved = home ? std::optional<std::string>(home) : std::nullopt;
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(DefaultOutputFolder(), "/home/someone/My iPod Files/");
    unsetenv("HOME");
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(DefaultOutputFolder(), WithTrailingSlash(entry->pw_dir) + "My iPod Files/");
    if (saved) setenv("HOME", saved->c_str(), 1);
}

TEST(Settings, TranslatedIntoTheOutputRecord) {
    TConversionSettings settings;
    settings.Channels = 1;
    settings.AudioBitrateKbps = 48;
    settings.VideoBitrateKbps = 256;
    settings.FrameSize = "160x120";
    settings.FrameRate = "29.97";
    settings.AudioSampleRate = 22050;
    const TOutputOptions options = BuildOutputOptions(settings, "/out/x.mp4");
    EXPECT_EQ(options.VideoCodec, "mpeg4");
    EXPECT_EQ(options.AudioCodec, "libfaac");
    EXPECT_EQ(options.AudioChannels, 1);
    EXPECT_EQ(options.AudioBitrate, 48000);
    EXPECT_EQ(options.VideoBitrate, 256000);
    EXPECT_EQ(options.FrameSize, "160x120");
    EXPECT_EQ(options.FrameRate, "30000/1001");
    EXPECT_EQ(options.AudioSampleRate, 22050);
    EXPECT_EQ(options.Timestamp, 0.0);
    EXPECT_EQ(options.FileExt, ".mp4");
    EXPECT_EQ(options.FileName, "/out/x.mp4");
    EXPECT_TRUE(options.KeepShape);
    EXPECT_EQ(options.GopSize, 30);
    settings.KeepShape = false;
    EXPECT_FALSE(BuildOutputOptions(settings, "/out/x.mp4").KeepShape);
    // Key frames as far apart as the device allows, but never beyond two seconds.
    settings.Device = *FindDevice("ipod-h264");
    EXPECT_EQ(BuildOutputOptions(settings, "/out/x.m4v").GopSize, 59);
    settings.FrameRate = "Auto";
    EXPECT_EQ(BuildOutputOptions(settings, "/out/x.m4v").GopSize, 60);
    EXPECT_EQ(FrameRateOption("Auto"), "");
    EXPECT_EQ(FrameRateOption("23.97"), "24000/1001");
    EXPECT_EQ(FrameRateOption("15"), "15");
}

class AddJobTest : public testing::Test {
protected:
    void SetUp() override {
        BindComponentTestLibraries();
        settings.OutputFolder = ScratchFolder().string();
    }
    TVexmoConverter component;
    TConversionSettings settings;
};

TEST_F(AddJobTest, TwoInputsWithOneBaseNameGetDifferentNamesAndClearingLeavesNothing) {
    const std::filesystem::path sources = ScratchFolder() / "sources";
    std::filesystem::create_directories(sources / "a");
    std::filesystem::create_directories(sources / "b");
    std::filesystem::copy_file(ClipPath("avi_mpeg4_mp3.avi"), sources / "a" / "clip.avi");
    std::filesystem::copy_file(ClipPath("wmv_wmv2_wmav2.wmv"), sources / "b" / "clip.wmv");
    const TJob first = AddJob(component, (sources / "a" / "clip.avi").string(), settings);
    const TJob second = AddJob(component, (sources / "b" / "clip.wmv").string(), settings);
    ASSERT_FALSE(first.Refusal) << first.Refusal->text;
    ASSERT_FALSE(second.Refusal) << second.Refusal->text;
    EXPECT_EQ(first.OutputName, "clip");
    EXPECT_EQ(second.OutputName, "clip(1)");
    EXPECT_EQ(first.DurationText, "00:00:02");
    EXPECT_EQ(second.TypeText, "WMV");
    component.ClearTasks();
    EXPECT_FALSE(std::filesystem::exists(ScratchFolder() / "clip.mp4"));
    EXPECT_FALSE(std::filesystem::exists(ScratchFolder() / "clip(1).mp4"));
}

TEST_F(AddJobTest, ExistingFilesSurviveAddingRemovingAndClearing) {
    settings.Overwrite = true;
    Touch(ScratchFolder() / "avi_mpeg4_mp3.mp4", "keep me");
    const TJob job = AddJob(component, ClipPath("avi_mpeg4_mp3.avi"), settings);
    ASSERT_FALSE(job.Refusal);
    EXPECT_EQ(job.OutputName, "avi_mpeg4_mp3");
    EXPECT_EQ(ReadAll(ScratchFolder() / "avi_mpeg4_mp3.mp4"), "keep me");
    component.RemoveTask(job.TaskIndex);
    EXPECT_EQ(ReadAll(ScratchFolder() / "avi_mpeg4_mp3.mp4"), "keep me");
    ASSERT_FALSE(AddJob(component, ClipPath("avi_mpeg4_mp3.avi"), settings).Refusal);
    component.ClearTasks();
    EXPECT_EQ(ReadAll(ScratchFolder() / "avi_mpeg4_mp3.mp4"), "keep me");
}

// Each refusal keeps the refusal's own words and says why after them.
struct RefusalCase {
    const char* name;
    const char* reason;
    // Makes the file to add in `folder` and returns its path.
    std::string (*make)(const std::filesystem::path& folder);
};

class RefusalTest : public AddJobTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, SaysWhyTheFileIsNotSupportedAndLeavesNoTask) {
    const std::string path = GetParam().make(ScratchFolder());
    if (path.empty()) GTEST_SKIP() << "cannot be set up for this user";
    const TJob job = AddJob(component, path, settings);
    ASSERT_TRUE(job.Refusal);
    EXPECT_EQ(job.Refusal->text, "Convertion of file \"" + path + "\" is not supported. " + GetParam().reason);
    EXPECT_EQ(job.Refusal->caption, "Error");
    EXPECT_EQ(job.Refusal->icon, TMessageIcon::Error);
    EXPECT_EQ(job.RefusalReason, GetParam().reason);
    EXPECT_EQ(job.DurationText, "");
    EXPECT_EQ(component.TaskCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    AddJob, RefusalTest,
    testing::Values(
        RefusalCase{"Missing", "It could not be opened: No such file or directory.",
                    [](const std::filesystem::path& folder) { return (folder / "missing.avi").string(); }},
        RefusalCase{"SymlinkLoop", "It could not be opened: Too many levels of symbolic links.",
                    [](const std::filesystem::path& folder) {
                        std::filesystem::create_symlink(folder / "loop.avi", folder / "loop.avi");
                        return (folder / "loop.avi").string();
                    }},
        RefusalCase{"Unreadable", "It could not be read: Permission denied.",
                    [](const std::filesystem::path& folder) {
                        if (geteuid() == 0) return std::string();  // reads everything
                        std::filesystem::copy_file(ClipPath("avi_mpeg4_mp3.avi"), folder / "locked.avi");
                        std::filesystem::permissions(folder / "locked.avi", std::filesystem::perms::none);
                        return (folder / "locked.avi").string();
                    }},
        RefusalCase{"Fifo", "It is not a regular file.",
                    [](const std::filesystem::path& folder) {
                        mkfifo((folder / "pipe.avi").c_str(), 0600);
                        return (folder / "pipe.avi").string();
                    }},
        RefusalCase{"Empty", "It is empty (0 bytes).",
                    [](const std::filesystem::path& folder) {
                        Touch(folder / "empty.avi");
                        return (folder / "empty.avi").string();
                    }},
        RefusalCase{"NetworkAddress", "It is not a local file.",
                    [](const std::filesystem::path&) { return std::string("http://example.com/clip.avi"); }},
        RefusalCase{"NoMedia", "It is not a video or sound file this program can read.",
                    [](const std::filesystem::path& folder) {
                        Touch(folder / "notes.avi", std::string(4096, 'x'));
                        return (folder / "notes.avi").string();
                    }},
        RefusalCase{"SubtitlesOnly", "It has no picture and no sound.",
                    [](const std::filesystem::path& folder) {
                        Touch(folder / "words.srt", "1\n00:00:00,000 --> 00:00:01,000\nHello\n\n");
                        return (folder / "words.srt").string();
                    }}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(AddJobTest, AnOutputThatCannotBeCreatedIsRefusedAndItsTaskRemoved) {
    settings.OutputFolder = (ScratchFolder() / "no" / "such" / "folder").string();
    const TJob job = AddJob(component, ClipPath("avi_mpeg4_mp3.avi"), settings);
    ASSERT_TRUE(job.Refusal);
    EXPECT_EQ(job.Refusal->text, "Cannot convert: Could not open '" + settings.OutputFolder +
                                     "/avi_mpeg4_mp3.mp4': No such file or directory");
    EXPECT_EQ(component.TaskCount(), 0u);
    settings.OutputFolder = (ScratchFolder() / "a file").string();
    Touch(settings.OutputFolder);
    EXPECT_EQ(AddJob(component, ClipPath("avi_mpeg4_mp3.avi"), settings).Refusal->text,
              "Cannot convert: Could not open '" + settings.OutputFolder + "/avi_mpeg4_mp3.mp4': Not a directory");
}

TEST_F(AddJobTest, AnUnreadableFrameRateIsRefusedWithTheEngineMessage) {
    settings.FrameRate = "fast";
    const TJob job = AddJob(component, ClipPath("avi_mpeg4_mp3.avi"), settings);
    ASSERT_TRUE(job.Refusal);
    EXPECT_EQ(job.Refusal->text, "Cannot convert: Incorrect frame rate");
}

}  // namespace
