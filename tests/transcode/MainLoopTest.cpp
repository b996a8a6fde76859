// The main loop's limits, its stop request, its timestamp correction, and
// when the output file is truncated.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "LibraryBinding.h"
#include "MediaAnalysis.h"
#include "Remux.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

const TOptionList kCopy = {{"vcodec", "copy"}, {"acodec", "copy"}};
constexpr int64_t kFrameUs = 1000000 / 24;

int64_t Length(const StreamAnalysis* stream) { return stream->endTimeUs - stream->firstTimeUs; }

// A task whose output (or input) could not be set up has nothing to run:
// it says so instead of crashing.
struct UnsetRun {
    bool withInput;
    const char* message;
};
class RunWithoutSetUp : public testing::TestWithParam<UnsetRun> {};

TEST_P(RunWithoutSetUp, IsRefusedWithItsReason) {
    TranscodeTask task;
    if (GetParam().withInput) {
        task.engine.OpenInputFile(TestMediaPath("avi_mpeg4_mp3.avi"));
        EXPECT_ANY_THROW(task.engine.OpenOutputFile((ScratchFolder() / "missing" / "out.mp4").string()));
    }
    EXPECT_EQ(task.RunError(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(MainLoop, RunWithoutSetUp,
                         testing::Values(UnsetRun{false, "Must supply at least one output file"},
                                         UnsetRun{true, "Must supply at least one output file"}));

TEST(MainLoop, RecordingTimeEndsEveryStreamThere) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mkv").string();
    TOptionList options = kCopy;
    options.emplace_back("t", "1");
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), options, output));
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_TRUE(result.error.empty()) << result.error;
    for (int type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
        ASSERT_NE(result.First(type), nullptr);
        EXPECT_EQ(result.First(type)->decodeErrors, 0);
        EXPECT_NEAR(static_cast<double>(Length(result.First(type))), 1000000.0, 2.0 * kFrameUs) << type;
    }
}

TEST(MainLoop, AVideoFrameLimitStopsTheRunAlthoughAudioRemains) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mkv").string();
    TOptionList options = kCopy;
    options.emplace_back("vframes", "12");
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), options, output));
    task.Run();
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->packetCount, 12);
    ASSERT_NE(result.First(AVMEDIA_TYPE_AUDIO), nullptr);
    EXPECT_LT(Length(result.First(AVMEDIA_TYPE_AUDIO)), 1000000);
}

// Stops the run from its own thread once it has reported progress a few
// times, as a stop from the window would between two passes of the loop.
void StopAfterProgress(void* user_data, TCustomFFmpeg* sender, int, const std::string& text) {
    auto* lines = static_cast<std::vector<std::string>*>(user_data);
    lines->push_back(text);
    auto isProgress = [](const std::string& line) { return line.find("size=") != std::string::npos; };
    if (isProgress(text) && std::count_if(lines->begin(), lines->end(), isProgress) == 20)
        sender->stop_requested = true;
}

// The pictures the closing progress report counts as handed out.
int ReportedPictures(const std::vector<std::string>& log) {
    for (auto line = log.rbegin(); line != log.rend(); ++line)
        if (line->find(" L") != std::string::npos && line->rfind("frame=", 0) == 0) return std::stoi(line->substr(6));
    return -1;
}

// Whatever the stages still held when the stop came is in the file: every
// picture the run handed out, none cut off.
TEST(MainLoop, AStopRequestFinishesAPlayableFile) {
    for (const TOptionList& codecs : {kCopy, TOptionList{{"vcodec", "mpeg4"}, {"acodec", "aac"}}}) {
        TranscodeTask task;
        const std::string output = (ScratchFolder() / "out.mp4").string();
        ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), codecs, output));
        task.engine.SetLogHandler(StopAfterProgress, &task.log);
        task.engine.verbose = 1;
        task.engine.progress_interval_us = -1;  // a report on every pass
        task.Run();
        EXPECT_FALSE(task.engine.finished_normally);
        // A stopped file goes beside the one the run before left.
        ASSERT_FALSE(task.engine.written_outputs.empty());
        const MediaAnalysis result = AnalyseMedia(task.engine.written_outputs[0]);
        ASSERT_TRUE(result.error.empty()) << result.error;
        const StreamAnalysis* video = result.First(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->decodeErrors, 0);
        EXPECT_GT(video->frameCount, 0);
        EXPECT_LT(video->frameCount, 48);
        EXPECT_EQ(video->frameCount, ReportedPictures(task.log));
    }
}

TEST(MainLoop, ATimestampJumpIsClosedUnlessTimestampsAreKept) {
    BindTestLibraries();
    const std::filesystem::path folder = ScratchFolder();
    const std::string jumping = (folder / "jump.mkv").string();
    // The second half lies 30 seconds later.
    WriteCopyWithJump(TestMediaPath("avi_mpeg4_mp3.avi"), jumping, 1000000, 30000000);
    {
        TranscodeTask task;
        const std::string output = (folder / "closed.mkv").string();
        ASSERT_NO_THROW(task.SetUp(jumping, kCopy, output));
        task.engine.verbose = 3;
        task.Run();
        EXPECT_TRUE(task.Logged("timestamp discontinuity"));
        const MediaAnalysis result = AnalyseMedia(output);
        EXPECT_LT(Length(result.First(AVMEDIA_TYPE_VIDEO)), 3000000);
        EXPECT_LT(Length(result.First(AVMEDIA_TYPE_AUDIO)), 3000000);
    }
    {
        TranscodeTask task;
        const std::string output = (folder / "kept.mkv").string();
        TOptionList options = kCopy;
        options.emplace_back("copyts", "");
        ASSERT_NO_THROW(task.SetUp(jumping, options, output));
        task.Run();
        EXPECT_FALSE(task.Logged("timestamp discontinuity"));
        const MediaAnalysis result = AnalyseMedia(output);
        EXPECT_GT(Length(result.First(AVMEDIA_TYPE_VIDEO)), 30000000);
    }
}

TEST(MainLoop, AnExistingFileIsTruncatedOnlyWhenTheTranscodeStarts) {
    const std::filesystem::path output = ScratchFolder() / "out.mkv";
    const std::string before(5000, 'x');
    WriteFile(output, before);
    {
        // Set up, then refused by the mapping: the file stays as it was.
        TranscodeTask task;
        TOptionList options = kCopy;
        options.emplace_back("map", "0:0");
        ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), options, output.string()));
        EXPECT_EQ(ReadFile(output), before);
        EXPECT_THROW(task.Run(), FFMpegException);
        EXPECT_EQ(ReadFile(output), before);
    }
    EXPECT_EQ(ReadFile(output), before);
    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), kCopy, output.string()));
    EXPECT_EQ(ReadFile(output), before);
    task.Run();
    EXPECT_NE(ReadFile(output).substr(0, 100), before.substr(0, 100));
    EXPECT_TRUE(AnalyseMedia(output.string()).error.empty());
}

TEST(MainLoop, AFileSizeLimitStopsTheRun) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mp4").string();
    TOptionList options = kCopy;
    options.emplace_back("fs", "30000");
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), options, output));
    task.Run();
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_TRUE(result.error.empty()) << result.error;
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_GT(result.First(AVMEDIA_TYPE_VIDEO)->frameCount, 0);
    EXPECT_LT(result.First(AVMEDIA_TYPE_VIDEO)->frameCount, 48);
    // What the muxer still holds (the index) comes on top of the limit.
    EXPECT_LT(std::filesystem::file_size(output), 40000u);
}

TEST(MainLoop, FramesBeforeTheStartTimeAreDecodedButNotEncoded) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mp4").string();
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"), {{"vcodec", "mpeg4"}, {"ss", "1"}}, output));
    task.Run();
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->frameCount, 24);
    // The first frame encoded is the one drawn with number 24.
    ASSERT_FALSE(result.First(AVMEDIA_TYPE_VIDEO)->frameNumbers.empty());
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->frameNumbers.front(), 24);
}

// Copied packets used to keep their timestamps, so the copy began at the
// start time and the recording time cut it short.
TEST(MainLoop, ACopyFromTheMiddleStartsAtZeroAndLastsTheRecordingTime) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mkv").string();
    TOptionList options = kCopy;
    options.insert(options.end(), {{"ss", "1"}, {"t", "0.4"}});
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), options, output));
    task.Run();
    const MediaAnalysis result = AnalyseMedia(output);
    const StreamAnalysis* video = result.First(AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(video, nullptr);
    ASSERT_FALSE(video->frameNumbers.empty());
    // The copy begins with the first key frame from the start time on, at
    // its distance from the start time.
    const int first = video->frameNumbers.front();
    EXPECT_GE(first, 24);
    EXPECT_NEAR(static_cast<double>(video->firstTimeUs), (first - 24) * static_cast<double>(kFrameUs), 1000.0);
    EXPECT_NEAR(static_cast<double>(video->endTimeUs), 400000.0, 2.0 * kFrameUs);
}

// Three pictures of an image sequence, written as plain grey maps.
std::string WriteImageSequence() {
    const std::filesystem::path folder = ScratchFolder();
    for (int i = 1; i <= 3; ++i) {
        std::ofstream image(folder / ("image" + std::to_string(i) + ".pgm"), std::ios::binary);
        image << "P5\n16 16\n255\n" << std::string(16 * 16, static_cast<char>(60 * i));
    }
    return (folder / "image%d.pgm").string();
}

TEST(MainLoop, ALoopedImageSequenceRunsForTheRecordingTime) {
    const std::string images = WriteImageSequence();
    for (const bool loop : {false, true}) {
        TranscodeTask task;
        const std::string output = (ScratchFolder() / "out.mkv").string();
        TOptionList inputOptions;
        if (loop) inputOptions.emplace_back("loop_input", "");
        ASSERT_NO_THROW(task.SetUp(images, {{"vcodec", "mpeg4"}, {"t", "1"}}, output, inputOptions));
        task.Run();
        const MediaAnalysis result = AnalyseMedia(output);
        ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
        EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->frameCount, loop ? 25 : 3);
    }
}

TEST(MainLoop, RateEmulationReadsNoFasterThanThePictureRate) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mkv").string();
    TOptionList options = kCopy;
    options.emplace_back("vframes", "12");
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"), options, output, {{"re", ""}}));
    const auto start = std::chrono::steady_clock::now();
    task.Run();
    // Twelve frames at 24 per second take half a second, less the first
    // frame's length and the 50 ms the reader may run ahead.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(350));
}

TEST(MainLoop, EncodesVideoAndAudioIntoAnMp4) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mp4").string();
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, output));
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_TRUE(result.error.empty()) << result.error;
    const StreamAnalysis* video = result.First(AVMEDIA_TYPE_VIDEO);
    const StreamAnalysis* audio = result.First(AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->codecName, "mpeg4");
    EXPECT_EQ(audio->codecName, "aac");
    EXPECT_EQ(video->decodeErrors + audio->decodeErrors, 0);
    EXPECT_EQ(video->frameCount, 48);
    EXPECT_NEAR(static_cast<double>(Length(audio)), 2000000.0, 50000.0);
}

TEST(MainLoop, TwoPassesShareTheirStatisticsFile) {
    const std::filesystem::path folder = ScratchFolder();
    const std::string prefix = (folder / "stats").string();
    for (const char* pass : {"1", "2"}) {
        TranscodeTask task;
        const std::string output = (folder / (std::string("pass") + pass + ".mp4")).string();
        ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"),
                               {{"vcodec", "mpeg4"}, {"pass", pass}, {"passlogfile", prefix}}, output));
        task.Run();
        EXPECT_GT(std::filesystem::file_size(prefix + "-0.log"), 0u) << pass;
    }
    TranscodeTask task;
    const std::string output = (folder / "missing.mp4").string();
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"),
                           {{"vcodec", "mpeg4"}, {"pass", "2"}, {"passlogfile", prefix + "-missing"}}, output));
    EXPECT_EQ(task.RunError(), "creat open fail: " + prefix + "-missing-0.log");
}

}  // namespace
