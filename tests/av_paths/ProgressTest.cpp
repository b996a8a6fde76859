// The progress report as the component sees it, and the per-frame video
// statistics file.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

void Keep(void* user_data, TCustomFFmpeg*, const TCustomFFmpeg::TProgressValues& values) {
    static_cast<std::vector<TCustomFFmpeg::TProgressValues>*>(user_data)->push_back(values);
}

std::vector<TCustomFFmpeg::TProgressValues> Reports(const std::string& clip, const std::string& output) {
    std::vector<TCustomFFmpeg::TProgressValues> reports;
    TranscodeTask task;
    task.engine.progress_handler = &Keep;
    task.engine.progress_user_data = &reports;
    task.engine.progress_interval_us = -1;  // a report on every pass
    EXPECT_NO_THROW(task.SetUp(TestMediaPath(clip), {{"acodec", "libfaac"}, {"vcodec", "mpeg4"}}, output));
    task.Run();
    return reports;
}

TEST(Progress, AnAudioOnlyTaskReportsNoFramesAndATimeFromZeroUpwards) {
    const auto reports = Reports("audio_only.mp3", (ScratchFolder() / "audio.m4a").string());
    ASSERT_GT(reports.size(), 2u);
    EXPECT_EQ(reports.front().current_duration_ms, 0);
    int32_t previous = 0;
    for (const auto& values : reports) {
        EXPECT_EQ(values.frame_number, -1);
        EXPECT_EQ(values.fps, -1);
        EXPECT_EQ(values.quality, -1.0f);
        EXPECT_GE(values.current_duration_ms, previous);
        EXPECT_LT(values.current_duration_ms, 3000);
        previous = values.current_duration_ms;
    }
    EXPECT_GT(reports.back().current_duration_ms, 1800);
    EXPECT_GT(reports.back().current_size, 0);
}

TEST(Progress, AVideoTaskReportsOnlyOnceAPictureIsOut) {
    const auto reports = Reports("avi_mpeg4_mp3.avi", (ScratchFolder() / "video.mp4").string());
    ASSERT_FALSE(reports.empty());
    int32_t frames = 0;
    int32_t time = 0;
    for (const auto& values : reports) {
        EXPECT_GE(values.frame_number, 1);
        EXPECT_GE(values.frame_number, frames);
        EXPECT_GE(values.current_duration_ms, time);
        EXPECT_GT(values.quality, 0.0f);
        frames = values.frame_number;
        time = values.current_duration_ms;
    }
    EXPECT_EQ(reports.back().fps, 0) << "the whole task takes less than a second";
}

// "frame=   12 q= 2.0 f_size=  1234 s_size=   56kB time= 0.480 br=  20.6kbits/s
// avg_br=  18.3kbits/s type= P", all of it.
bool IsStatisticsLine(const std::string& text) {
    int frame = 0, frameSize = 0, streamSize = 0, consumed = -1;
    float quality = 0, time = 0, bitRate = 0, averageBitRate = 0;
    char type = 0;
    std::sscanf(text.c_str(), "frame=%d q= %f f_size=%d s_size=%dkB time= %f br=%fkbits/s avg_br=%fkbits/s type= %c%n",
                &frame, &quality, &frameSize, &streamSize, &time, &bitRate, &averageBitRate, &type, &consumed);
    return consumed == static_cast<int>(text.size()) && type != 0 && std::strchr("IPB", type) != nullptr;
}

TEST(VideoStatistics, OneLinePerCodedPicture) {
    const std::string statistics = (ScratchFolder() / "vstats.log").string();
    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"),
                           {{"vcodec", "mpeg4"}, {"vstats_file", statistics}, {"r", "24"}},
                           (ScratchFolder().parent_path() / "vstats.mp4").string()));
    task.Run();
    std::ifstream file(statistics);
    int lines = 0;
    std::string text;
    while (std::getline(file, text)) {
        EXPECT_TRUE(IsStatisticsLine(text)) << text;
        ++lines;
    }
    EXPECT_EQ(lines, 48);
}

}  // namespace
