// Runs the built tovrela-cli as a user would and reads what it prints.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "CommandRun.h"
#include "TestFiles.h"
#include "TestMedia.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kKeys = {
    "file",          "format",           "duration_us", "start_time_us", "bit_rate",    "streams",
    "programs",      "video_streams",    "audio_streams", "subtitle_streams", "first_video", "first_audio",
    "first_subtitle", "title",           "author",      "copyright",     "comment",     "album",
    "year",          "track",            "genre"};

// One described file: its key=value lines in the order printed.
using Description = std::vector<std::pair<std::string, std::string>>;

std::vector<Description> ParseDescriptions(const std::string& out) {
    std::vector<Description> descriptions;
    Description current;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) {
            descriptions.push_back(std::move(current));
            current.clear();
            continue;
        }
        const size_t equals = line.find('=');
        current.emplace_back(line.substr(0, equals), equals == std::string::npos ? "" : line.substr(equals + 1));
    }
    EXPECT_TRUE(current.empty()) << "the last description is not ended by a blank line";
    return descriptions;
}

std::vector<std::string> KeysOf(const Description& description) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : description) keys.push_back(key);
    return keys;
}

std::string ValueOf(const Description& description, const std::string& key) {
    for (const auto& [name, value] : description)
        if (name == key) return value;
    return "<missing " + key + ">";
}

// Runs "tovrela-cli probe" with the arguments.
CommandResult RunProbe(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {TOVRELA_CLI, "probe"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return RunCommand(words);
}

TEST(ProbeCommandTest, DescribesEveryClipInOneRun) {
    std::vector<std::string> files;
    for (const TestClip& clip : TestClips()) files.push_back(TestMediaPath(clip.fileName));
    const CommandResult run = RunProbe(files);
    EXPECT_EQ(run.status, 0) << run.err;

    const std::vector<Description> descriptions = ParseDescriptions(run.out);
    ASSERT_EQ(descriptions.size(), TestClips().size());
    for (size_t i = 0; i < descriptions.size(); ++i) {
        const TestClip& clip = TestClips()[i];
        const Description& description = descriptions[i];
        SCOPED_TRACE(clip.fileName);
        EXPECT_EQ(KeysOf(description), kKeys);
        EXPECT_EQ(ValueOf(description, "file"), files[i]);
        const int64_t duration = std::stoll(ValueOf(description, "duration_us"));
        if (clip.containerKnowsDuration) {
            EXPECT_GE(duration, clip.MinContainerDurationUs());
            EXPECT_LE(duration, clip.MaxContainerDurationUs());
        } else {
            EXPECT_EQ(duration, INT64_MIN);
        }
        EXPECT_EQ(ValueOf(description, "streams"), std::to_string(clip.streams.size()));
        EXPECT_EQ(ValueOf(description, "video_streams"), std::to_string(clip.CountOf(TestStreamKind::Video)));
        EXPECT_EQ(ValueOf(description, "audio_streams"), std::to_string(clip.CountOf(TestStreamKind::Audio)));
        EXPECT_EQ(ValueOf(description, "subtitle_streams"), std::to_string(clip.CountOf(TestStreamKind::Subtitle)));
        EXPECT_EQ(ValueOf(description, "first_video"), std::to_string(clip.FirstOf(TestStreamKind::Video)));
        EXPECT_EQ(ValueOf(description, "first_audio"), std::to_string(clip.FirstOf(TestStreamKind::Audio)));
        EXPECT_EQ(ValueOf(description, "first_subtitle"), std::to_string(clip.FirstOf(TestStreamKind::Subtitle)));
        EXPECT_EQ(ValueOf(description, "title"), clip.Tag("title"));
        EXPECT_EQ(ValueOf(description, "author"), clip.Tag("artist"));
        EXPECT_EQ(ValueOf(description, "genre"), clip.Tag("genre"));
    }
}

TEST(ProbeCommandTest, FailedFileIsReportedAndTheRunGoesOn) {
    const std::string missing = ScratchFile("missing.avi");
    const std::string sample = TestMediaPath(kSampleClipName);
    const CommandResult run = RunProbe({missing, sample});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(missing + ": no such file or directory\n"), std::string::npos) << run.err;
    const std::vector<Description> descriptions = ParseDescriptions(run.out);
    ASSERT_EQ(descriptions.size(), 1u);
    EXPECT_EQ(ValueOf(descriptions[0], "file"), sample);
    EXPECT_EQ(ValueOf(descriptions[0], "streams"), "2");
}

TEST(ProbeCommandTest, NamesWithPercentSignsArePrintedAsTheyAre) {
    const std::string copy = ScratchFile("clip %s%n%d.avi");
    fs::copy_file(TestMediaPath(kSampleClipName), copy);
    const std::string missing = ScratchFile("%s%n gone.avi");
    const CommandResult run = RunProbe({copy, missing});
    EXPECT_EQ(run.status, 1);
    const std::vector<Description> descriptions = ParseDescriptions(run.out);
    ASSERT_EQ(descriptions.size(), 1u);
    EXPECT_EQ(ValueOf(descriptions[0], "file"), copy);
    EXPECT_NE(run.err.find(missing + ": no such file or directory\n"), std::string::npos) << run.err;
}

TEST(ProbeCommandTest, LibrariesThatCannotBeBoundEndTheRun) {
    fs::create_directory(ScratchFolder() / "no-libraries");
    const CommandResult run = RunProbe({"--libav", ScratchFile("no-libraries"), TestMediaPath(kSampleClipName)});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err.rfind("Load libraray ", 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
}

}  // namespace
