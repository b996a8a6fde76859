// Packets on their way out: bitstream filters that work and ones that fail,
// and subtitles copied or encoded.

#include <gtest/gtest.h>

#include <filesystem>

#include "MediaAnalysis.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

const TOptionList kCopy = {{"vcodec", "copy"}, {"acodec", "copy"}};

// Copies a clip with a video bitstream filter; returns the raised message,
// empty when the run succeeded.
std::string CopyWithVideoFilter(TranscodeTask& task, const std::string& filter, const std::string& output,
                                bool exitOnError, const std::string& clip = "avi_mpeg4_mp3.avi") {
    TOptionList options = kCopy;
    if (!filter.empty()) options.emplace_back("vbsf", filter);
    if (exitOnError) options.emplace_back("xerror", "");
    EXPECT_NO_THROW(task.SetUp(TestMediaPath(clip), options, output));
    return task.RunError();
}

TEST(PacketWriter, AWorkingFilterChangesThePacketsItPasses) {
    const std::filesystem::path folder = ScratchFolder();
    TranscodeTask plain;
    // QuickTime keeps the MPEG-4 headers apart from the frames.
    ASSERT_EQ(CopyWithVideoFilter(plain, "", (folder / "plain.mkv").string(), false, "mov_mpeg4_aac.mov"), "");
    TranscodeTask filtered;
    // Repeats the stream's headers in front of every key frame.
    ASSERT_EQ(CopyWithVideoFilter(filtered, "dump_extra", (folder / "filtered.mkv").string(), false,
                                  "mov_mpeg4_aac.mov"),
              "");
    EXPECT_GT(std::filesystem::file_size(folder / "filtered.mkv"), std::filesystem::file_size(folder / "plain.mkv"));
    const MediaAnalysis result = AnalyseMedia((folder / "filtered.mkv").string());
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->frameCount, 48);
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->decodeErrors, 0);
}

TEST(PacketWriter, AFailingFilterIsLoggedAndThePacketsPassUnfiltered) {
    const std::string output = (ScratchFolder() / "out.mkv").string();
    TranscodeTask task;
    // An H.264 filter cannot work on MPEG-4 video.
    ASSERT_EQ(CopyWithVideoFilter(task, "h264_mp4toannexb", output, false), "");
    EXPECT_TRUE(task.Logged("h264_mp4toannexb failed for stream 0, codec copy"));
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_NE(result.First(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_EQ(result.First(AVMEDIA_TYPE_VIDEO)->frameCount, 48);
}

TEST(PacketWriter, AFailingFilterEndsTheRunWithExitOnError) {
    TranscodeTask task;
    const std::string message =
        CopyWithVideoFilter(task, "h264_mp4toannexb", (ScratchFolder() / "out.mkv").string(), true);
    EXPECT_EQ(message.rfind("h264_mp4toannexb failed for stream 0, codec copy", 0), 0u) << message;
}

TEST(PacketWriter, SubtitlesAreCopiedOrEncoded) {
    const std::filesystem::path folder = ScratchFolder();
    const int cues = static_cast<int>(std::size(kTestCues));
    {
        TranscodeTask task;
        const std::string output = (folder / "copy.mkv").string();
        TOptionList options = kCopy;
        options.emplace_back("scodec", "copy");
        ASSERT_NO_THROW(task.SetUp(TestMediaPath("subtitle_track.mkv"), options, output));
        task.Run();
        const MediaAnalysis result = AnalyseMedia(output);
        const StreamAnalysis* subtitles = result.First(AVMEDIA_TYPE_SUBTITLE);
        ASSERT_NE(subtitles, nullptr);
        EXPECT_EQ(subtitles->frameCount, cues);
    }
    {
        TranscodeTask task;
        const std::string output = (folder / "encoded.mp4").string();
        TOptionList options = kCopy;
        options.emplace_back("scodec", "mov_text");
        ASSERT_NO_THROW(task.SetUp(TestMediaPath("subtitle_track.mkv"), options, output));
        task.Run();
        const MediaAnalysis result = AnalyseMedia(output);
        const StreamAnalysis* subtitles = result.First(AVMEDIA_TYPE_SUBTITLE);
        ASSERT_NE(subtitles, nullptr);
        EXPECT_EQ(subtitles->codecName, "mov_text");
        EXPECT_EQ(subtitles->frameCount, cues);
        const MediaAnalysis original = AnalyseMedia(TestMediaPath("subtitle_track.mkv"));
        const StreamAnalysis* source = original.First(AVMEDIA_TYPE_SUBTITLE);
        ASSERT_EQ(subtitles->markTimesUs.size(), source->markTimesUs.size());
        for (size_t i = 0; i < source->markTimesUs.size(); ++i)
            EXPECT_NEAR(static_cast<double>(subtitles->markTimesUs[i]), static_cast<double>(source->markTimesUs[i]),
                        1000.0);
    }
}

}  // namespace
