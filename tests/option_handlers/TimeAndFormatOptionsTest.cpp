#include <limits>
#include <string>

#include "EngineTest.h"

namespace {

using TimeOptionsTest = EngineTest;
using FormatOptionsTest = EngineTest;

TEST_F(TimeOptionsTest, RecordingTimeIsKeptInWholeMilliseconds) {
    engine.SetOption("t", "1:02:03.5");
    EXPECT_EQ(engine.recording_time, 3723500000);
    EXPECT_EQ(engine.total_duration_ms, 3723500);
    engine.SetOption("t", "10.0009");
    EXPECT_EQ(engine.recording_time, 10000000);
    EXPECT_EQ(engine.total_duration_ms, 10000);

    // Durations under a millisecond set no limit.
    engine.SetOption("t", "0.0005");
    EXPECT_EQ(engine.total_duration_ms, 10000);
}

TEST_F(TimeOptionsTest, StartAndOffsetTakeAnyDuration) {
    engine.SetOption("ss", "90");
    EXPECT_EQ(engine.start_time, 90000000);
    engine.SetOption("ss", "00:00:01.25");
    EXPECT_EQ(engine.start_time, 1250000);
    engine.SetOption("itsoffset", "-2.5");
    EXPECT_EQ(engine.input_ts_offset, -2500000);
    engine.SetOption("ss", "0");
    EXPECT_EQ(engine.start_time, 0);
}

TEST_F(TimeOptionsTest, BadTimesNameTheOption) {
    EXPECT_ENGINE_ERROR(engine.SetOption("t", "soon"), "Invalid duration specification for t: soon");
    EXPECT_ENGINE_ERROR(engine.SetOption("ss", "1:xx"), "Invalid duration specification for ss: 1:xx");
    EXPECT_ENGINE_ERROR(engine.SetOption("itsoffset", "abc"), "Invalid duration specification for itsoffset: abc");
    EXPECT_ENGINE_ERROR(engine.SetOption("timestamp", "yesterday"),
                        "Invalid date specification for timestamp: yesterday");
    EXPECT_EQ(engine.recording_time, std::numeric_limits<int64_t>::max());
    EXPECT_EQ(engine.start_time, 0);
    EXPECT_EQ(engine.recording_timestamp, 0);
}

TEST_F(TimeOptionsTest, TimestampIsRoundedToSeconds) {
    engine.SetOption("timestamp", "2009-02-13T23:31:30Z");
    EXPECT_EQ(engine.recording_timestamp, 1234567890);
    engine.SetOption("timestamp", "2009-02-13T23:31:30.6Z");
    EXPECT_EQ(engine.recording_timestamp, 1234567891);
    engine.SetOption("timestamp", "2009-02-13T23:31:30.4Z");
    EXPECT_EQ(engine.recording_timestamp, 1234567890);
    engine.SetOption("timestamp", "now");
    EXPECT_NEAR(engine.recording_timestamp, std::time(nullptr), 5);
}

TEST_F(FormatOptionsTest, FormatNameServesInputAndOutput) {
    engine.SetOption("f", "mp4");
    EXPECT_STREQ(engine.forced_input_format->name, "mov,mp4,m4a,3gp,3g2,mj2");
    EXPECT_STREQ(engine.forced_output_format->name, "mp4");

    // "ipod" is only a muxer: the input side is cleared, no error.
    engine.SetOption("f", "ipod");
    EXPECT_EQ(engine.forced_input_format, nullptr);
    EXPECT_STREQ(engine.forced_output_format->name, "ipod");

    EXPECT_ENGINE_ERROR(engine.SetOption("f", "betamax"), "Unknown input or output format: betamax");
}

TEST_F(FormatOptionsTest, SeparateLookupsRefuseWhatTheirSideLacks) {
    engine.SetInputFormat("avi");
    EXPECT_STREQ(engine.forced_input_format->name, "avi");
    engine.SetOutputFormat("ipod");
    EXPECT_STREQ(engine.forced_output_format->name, "ipod");
    EXPECT_ENGINE_ERROR(engine.SetInputFormat("ipod"), "Unknown input format: ipod");
    EXPECT_ENGINE_ERROR(engine.SetOutputFormat("betamax"), "Unknown output format: betamax");
}

TEST_F(FormatOptionsTest, PgmyuvBecomesImage2) {
    engine.SetOption("f", "pgmyuv");
    EXPECT_EQ(engine.pgmyuv_mode, 1);
    EXPECT_STREQ(engine.forced_input_format->name, "image2");
    EXPECT_STREQ(engine.forced_output_format->name, "image2");
    EXPECT_EQ(logged, std::vector<std::string>{"pgmyuv format is deprecated, use image2"});
}

}  // namespace
