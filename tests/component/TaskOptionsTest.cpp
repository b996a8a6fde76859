// The options records: what each field does to a task's engine, and what it
// leaves alone at its reset value.

#include <gtest/gtest.h>

#include <ctime>

#include "EngineTest.h"
#include "FFmpegTask.h"
#include "OptionStateDescription.h"
#include "TaskOptions.h"

namespace {

using TaskOptionsTest = EngineFixture<TFFmpeg>;

TEST_F(TaskOptionsTest, ResetRecordsLeaveTheEngineDefaultsExceptTheAlwaysAppliedFields) {
    TFFmpeg untouched;
    untouched.Initialize();
    TInputOptions input;
    ResetInputOptions(input);
    ApplyInputOptions(engine, input);
    TOutputOptions output;
    ResetOutputOptions(output);
    ApplyOutputOptions(engine, output);
    // The always-applied fields carry the engine's defaults at reset; the
    // pad colour is black in the engine's own conversion.
    untouched.SetPadColor(0);
    EXPECT_EQ(DescribeOptionState(engine), DescribeOptionState(untouched));
    EXPECT_EQ(engine.option_names.size(), 0u);
    EXPECT_EQ(engine.recording_timestamp, 0);
    EXPECT_EQ(engine.total_duration_ms, -1);
    untouched.CleanUp();
}

TEST_F(TaskOptionsTest, AlwaysAppliedFieldsOverwriteWhatTheExtraOptionsSet) {
    TOutputOptions output;
    output.ExtraOptions = "vsync=2\nasync=5\nalang=fre\nslang=ger\ncopyts\npadcolor=255\nkeepshape";
    ApplyOutputOptions(engine, output);
    EXPECT_EQ(engine.video_sync_method, -1);
    EXPECT_EQ(engine.audio_sync_method, 0);
    EXPECT_EQ(engine.audio_language, "");
    EXPECT_EQ(engine.subtitle_language, "");
    EXPECT_EQ(engine.copy_ts, 0);
    EXPECT_EQ(engine.keep_shape, 0);
    // Black.
    TFFmpeg black;
    black.SetPadColor(0);
    EXPECT_EQ(engine.padcolor_y, black.padcolor_y);
    EXPECT_EQ(engine.padcolor_u, black.padcolor_u);
    EXPECT_EQ(engine.padcolor_v, black.padcolor_v);
}

TEST_F(TaskOptionsTest, FieldsReachTheirEngineState) {
    TOutputOptions output;
    output.AudioVolume = 0;
    output.AudioChannels = 1;
    output.AudioSampleRate = 22050;
    output.DisableSubtitle = true;
    output.DisableVideo = true;
    output.FrameSize = "320x240";
    output.FrameRate = "30000/1001";
    output.CropTop = 0;
    output.PadLeft = 8;
    output.MuxDelay = 0;
    output.MuxPreload = 1.5f;
    output.Year = 2009;
    output.Track = 0;
    SetFixedText(output.Title, "A title");
    output.AudioLanguage = "eng";
    output.CopyTimestamps = true;
    output.KeepShape = true;
    ApplyOutputOptions(engine, output);
    EXPECT_EQ(engine.audio_volume, 0);
    EXPECT_EQ(engine.audio_channels, 1);
    EXPECT_EQ(engine.audio_sample_rate, 22050);
    EXPECT_EQ(engine.subtitle_disable, 1);
    EXPECT_EQ(engine.video_disable, 1);
    EXPECT_EQ(engine.audio_disable, 0);
    EXPECT_EQ(engine.frame_width, 320);
    EXPECT_EQ(engine.frame_height, 240);
    EXPECT_EQ(engine.frame_rate.num, 30000);
    EXPECT_EQ(engine.frame_rate.den, 1001);
    EXPECT_EQ(engine.frame_padleft, 8);
    EXPECT_FLOAT_EQ(engine.mux_max_delay, 0.7f);
    EXPECT_FLOAT_EQ(engine.mux_preload, 1.5f);
    EXPECT_EQ(engine.year, 2009);
    EXPECT_EQ(engine.track, 0);
    EXPECT_EQ(engine.title, "A title");
    EXPECT_EQ(engine.audio_language, "eng");
    EXPECT_EQ(engine.copy_ts, 1);
    EXPECT_EQ(engine.keep_shape, 1);
}

TEST_F(TaskOptionsTest, AFullFixedTextIsTakenWhole) {
    TOutputOptions output;
    std::fill(std::begin(output.Genre), std::end(output.Genre), 'g');
    ApplyOutputOptions(engine, output);
    EXPECT_EQ(engine.genre, std::string(32, 'g'));
}

TEST_F(TaskOptionsTest, DurationSetsTheRecordingTimeInSixtyFourBits) {
    TOutputOptions output;
    output.DurationMs = 3000000;
    ApplyOutputOptions(engine, output);
    EXPECT_EQ(engine.recording_time, 3000000000LL);
    EXPECT_EQ(engine.total_duration_ms, 3000000);
}

TEST_F(TaskOptionsTest, StartTimeAndProgramFollowTheirConditions) {
    TInputOptions input;
    input.StartTimeMs = 0;
    input.ProgramId = 0;
    ApplyInputOptions(engine, input);
    EXPECT_EQ(engine.start_time, 0);
    EXPECT_EQ(engine.program_id, 0);
    input.StartTimeMs = 2500000;
    input.ProgramId = 3;
    ApplyInputOptions(engine, input);
    EXPECT_EQ(engine.start_time, 2500000000LL);
    EXPECT_EQ(engine.program_id, 3);
}

TEST_F(TaskOptionsTest, OptionErrorsPassWithTheirMessages) {
    TOutputOptions output;
    output.AudioTag = "mp4";
    EXPECT_THROW(ApplyOutputOptions(engine, output), FFMpegException);
    TInputOptions input;
    input.InputFormat = "no-such-format";
    EXPECT_ENGINE_ERROR(ApplyInputOptions(engine, input), "Unknown input format: no-such-format");
}

TEST_F(TaskOptionsTest, TargetPresetUsesTheNormTexts) {
    TOutputOptions output;
    output.TargetType = 3;
    output.TargetNorm = 1;
    ApplyOutputOptions(engine, output);
    EXPECT_EQ(engine.frame_width, 720);
    EXPECT_EQ(engine.frame_height, 576);
}

TEST(HookTimeRanges, ParseDropAndSinglePoints) {
    EXPECT_EQ(ParseHookTimeRanges("1000-2000, 500-800"),
              (std::vector<THookTimeRange>{{1000000, 2000000}, {500000, 800000}}));
    EXPECT_TRUE(ParseHookTimeRanges("5-3").empty());
    EXPECT_EQ(ParseHookTimeRanges(" 1500 "), (std::vector<THookTimeRange>{{1500000, 1500000}}));
    EXPECT_TRUE(ParseHookTimeRanges("").empty());
    // An unreadable end reads -1 and drops the range.
    EXPECT_TRUE(ParseHookTimeRanges("100-x").empty());
    EXPECT_EQ(ParseHookTimeRanges("x-100"), (std::vector<THookTimeRange>{{-1000, 100000}}));
}

TEST(Timestamp, LocalStandardTimeAndNow) {
    setenv("TZ", "EST5EDT", 1);
    tzset();
    // 1 January 2000, 00:00 local standard time is 05:00 UTC.
    EXPECT_EQ(TimestampToUnixSeconds(36526.0), 946702800);
    // In summer the standard bias still applies.
    EXPECT_EQ(TimestampToUnixSeconds(36708.0), 946702800 + 182 * 86400);
    const int64_t now = std::time(nullptr);
    EXPECT_NEAR(static_cast<double>(TimestampToUnixSeconds(0)), static_cast<double>(now), 2.0);
    unsetenv("TZ");
    tzset();
}

TEST(RecordReset, OutputRecordResetsEveryBlock) {
    TOutputOptions output;
    output.Timestamp = 5;
    output.Year = 7;
    SetFixedText(output.Album, "x");
    output.TargetFallbackNorm = 2;
    ResetOutputOptions(output);
    EXPECT_EQ(output.Timestamp, -1.0);
    EXPECT_EQ(output.Year, -1);
    EXPECT_EQ(output.Album[0], '\0');
    EXPECT_EQ(output.TargetFallbackNorm, 1);
}

}  // namespace
