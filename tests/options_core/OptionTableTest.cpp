#include <limits>

#include "EngineTest.h"
#include "LibraryBinding.h"
#include "OptionStateDescription.h"
#include "TextConversion.h"

namespace {

using OptionTableTest = EngineTest;

TEST_F(OptionTableTest, ResetRestoresEveryDefault) {
    engine.audio_sample_rate = 22050;
    engine.audio_channels = 1;
    engine.top_field_first = 1;
    engine.ApplyOptionText("vol=512\nmuxpreload=2\nmuxdelay=3\n"
                           "adrift_threshold=1\ndts_delta_threshold=1\naq=3\n"
                           "loop_output=0\nvsync=1\ndc=10\nvframes=5\naframes=5\ndframes=5\n"
                           "alang=eng\nfs=100\nshortest\ncopyts\ng=12");
    engine.SetRecordingTimeMs(1000);
    engine.ResetOptions();

    EXPECT_EQ(engine.audio_sample_rate, 44100);
    EXPECT_EQ(engine.audio_channels, 2);
    EXPECT_EQ(engine.audio_volume, 256);
    EXPECT_FLOAT_EQ(engine.mux_preload, 0.5f);
    EXPECT_FLOAT_EQ(engine.mux_max_delay, 0.7f);
    EXPECT_FLOAT_EQ(engine.audio_drift_threshold, 0.1f);
    EXPECT_FLOAT_EQ(engine.dts_delta_threshold, 10.0f);
    EXPECT_FLOAT_EQ(engine.audio_qscale, -99999.0f);
    EXPECT_EQ(engine.top_field_first, -1);
    EXPECT_EQ(engine.loop_output, -1);
    EXPECT_EQ(engine.video_sync_method, -1);
    EXPECT_EQ(engine.intra_dc_precision, 8);
    EXPECT_EQ(engine.verbose, 1);
    EXPECT_EQ(engine.padcolor_y, 16);
    EXPECT_EQ(engine.padcolor_u, 128);
    EXPECT_EQ(engine.padcolor_v, 128);
    for (int32_t frames : engine.max_frames) EXPECT_EQ(frames, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(engine.recording_time, std::numeric_limits<int64_t>::max());
    EXPECT_EQ(engine.total_duration_ms, -1);
    EXPECT_EQ(engine.frame_pix_fmt, -1);
    EXPECT_EQ(engine.audio_sample_fmt, -1);
    EXPECT_EQ(engine.sws_flags, 4);
    EXPECT_EQ(engine.thread_count, 1);
    EXPECT_TRUE(engine.audio_language.empty());
    EXPECT_EQ(engine.limit_filesize, 0);
    EXPECT_EQ(engine.shortest, 0);
    EXPECT_EQ(engine.copy_ts, 0);
    EXPECT_TRUE(engine.option_names.empty());
}

TEST_F(OptionTableTest, IgnoredOptionsOnlyLogTheirName) {
    const auto before = DescribeOptionState(engine);
    engine.SetOption("i", "movie.avi");
    engine.SetOption("benchmark", "");
    engine.SetOption("vpre", "fast");
    EXPECT_EQ(DescribeOptionState(engine), before);
    EXPECT_EQ(logged, (std::vector<std::string>{"Do nothing: option - i", "Do nothing: option - benchmark",
                                                "Do nothing: option - vpre"}));
}

TEST_F(OptionTableTest, IgnoredOptionsAreSilentWithoutLogHandler) {
    engine.SetLogHandler(nullptr, nullptr);
    engine.SetOption("y", "");
    EXPECT_TRUE(logged.empty());
}

TEST_F(OptionTableTest, ThreadsIsRefused) {
    EXPECT_ENGINE_ERROR(engine.SetOption("threads", "2"), "TODO: option - threads");
}

TEST_F(OptionTableTest, FlagsStoreOneWhateverTheValue) {
    engine.SetOption("vn", "0");
    engine.SetOption("copyts", "no");
    engine.SetOption("xerror", "");
    EXPECT_EQ(engine.video_disable, 1);
    EXPECT_EQ(engine.copy_ts, 1);
    EXPECT_EQ(engine.exit_on_error, 1);
}

TEST_F(OptionTableTest, NumbersReachTheirFields) {
    engine.SetOption("loop_output", "5");
    engine.SetOption("dframes", "7");
    engine.SetOption("aframes", "8");
    engine.SetOption("vframes", "9");
    engine.SetOption("fs", "5000000000");
    engine.SetOption("adrift_threshold", "0.25");
    EXPECT_EQ(engine.loop_output, 5);
    EXPECT_EQ(engine.max_frames, (std::array<int32_t, 4>{9, 8, 7, std::numeric_limits<int32_t>::max()}));
    EXPECT_EQ(engine.limit_filesize, 5000000000LL);
    EXPECT_FLOAT_EQ(engine.audio_drift_threshold, 0.25f);
}

// A number its field gives no meaning to (one that would be an invalid
// discard level, a negative DC precision or a gain that overflows samples)
// is refused by name, and the field keeps its value.
TEST_F(OptionTableTest, NumbersOutsideTheirRowsRangeAreRefused) {
    for (const char* line : {"vdt=49", "vdt=-17", "dc=7", "dc=12", "vol=-1", "vol=65537"})
        EXPECT_THROW(engine.ApplyOptionText(line), FFMpegException) << line;
    try {
        engine.SetOption("vdt", " 1000 ");
        ADD_FAILURE() << "vdt=1000 was taken";
    } catch (const FFMpegException& error) {
        EXPECT_STREQ(error.what(), "Value 1000 of option vdt must lie between -16 and 48");
    }
    EXPECT_EQ(engine.video_discard, 0);
    EXPECT_EQ(engine.intra_dc_precision, 8);
    EXPECT_EQ(engine.audio_volume, 256);
    engine.ApplyOptionText("vdt=48\ndc=11\nvol=65536");
    EXPECT_EQ(engine.video_discard, 48);
    EXPECT_EQ(engine.intra_dc_precision, 11);
    EXPECT_EQ(engine.audio_volume, 65536);
}

TEST_F(OptionTableTest, TextsAreStoredAsGiven) {
    engine.SetOption("alang", " eng ");
    engine.SetOption("passlogfile", "/tmp/pass");
    EXPECT_EQ(engine.audio_language, " eng ");
    EXPECT_EQ(engine.passlogfile, "/tmp/pass");
}

TEST_F(OptionTableTest, MuxDelaysThroughTheTableTakeAnyValue) {
    engine.SetOption("muxdelay", "-1");
    engine.SetOption("muxpreload", "0");
    EXPECT_FLOAT_EQ(engine.mux_max_delay, -1.0f);
    EXPECT_FLOAT_EQ(engine.mux_preload, 0.0f);
}

TEST_F(OptionTableTest, VerboseOptionSetsTheLibraryLevel) {
    engine.SetOption("v", "2");
    EXPECT_EQ(engine.verbose, 2);
    EXPECT_EQ(ff::av_log_get_level(), AV_LOG_DEBUG);
    EXPECT_EQ(CachedLogLevel(), 2);
}

TEST_F(OptionTableTest, BadNumbersRaiseConversionErrors) {
    EXPECT_THROW(engine.SetOption("loop_output", "abc"), ConversionError);
    EXPECT_THROW(engine.SetOption("vsync", "99999999999"), ConversionError);
    EXPECT_THROW(engine.SetOption("fs", "1.5"), ConversionError);
    EXPECT_THROW(engine.SetOption("aq", "x"), ConversionError);
    EXPECT_EQ(engine.loop_output, -1);
    EXPECT_EQ(engine.video_sync_method, -1);
}

TEST_F(OptionTableTest, OptionTextStopsAtTheFirstErrorKeepingEarlierLines) {
    EXPECT_THROW(engine.ApplyOptionText("shortest\nloop_output=x\nvn"), ConversionError);
    EXPECT_EQ(engine.shortest, 1);
    EXPECT_EQ(engine.video_disable, 0);
}

TEST_F(OptionTableTest, OptionTextAcceptsBlankLinesAndAnyLineBreak) {
    engine.ApplyOptionText("\r\n  loop_output=3\r\n\r\nvn\rtitle=a=b\nalang=fr \n\n");
    EXPECT_EQ(engine.loop_output, 3);
    EXPECT_EQ(engine.video_disable, 1);
    EXPECT_EQ(engine.title, "a=b");
    EXPECT_EQ(engine.audio_language, "fr");  // the whole text is trimmed, not each line
}

TEST_F(OptionTableTest, NameWithoutValueHasAnEmptyValue) {
    EXPECT_THROW(engine.ApplyOptionText("ar"), ConversionError);
    engine.ApplyOptionText("an");
    EXPECT_EQ(engine.audio_disable, 1);
}

}  // namespace
