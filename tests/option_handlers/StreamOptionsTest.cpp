#include <string>

#include "EngineTest.h"
#include "OptionStateDescription.h"
#include "TextConversion.h"

namespace {

using StreamOptionsTest = EngineTest;

void ExpectMap(const TStreamMap& map, int file, int stream, int syncFile, int syncStream) {
    EXPECT_EQ(map.file_index, file);
    EXPECT_EQ(map.stream_index, stream);
    EXPECT_EQ(map.sync_file_index, syncFile);
    EXPECT_EQ(map.sync_stream_index, syncStream);
}

TEST_F(StreamOptionsTest, StreamMapWithOrWithoutSyncStream) {
    engine.SetOption("map", "0.1");
    engine.SetOption("map", "0:1");  // any one character separates
    engine.SetOption("map", "1.0:0.2");
    engine.SetOption("map", "0x2.010");  // hexadecimal and octal numbers
    ASSERT_EQ(engine.stream_map_count, 4);
    ExpectMap(engine.stream_maps[0], 0, 1, 0, 1);
    ExpectMap(engine.stream_maps[1], 0, 1, 0, 1);
    ExpectMap(engine.stream_maps[2], 1, 0, 0, 2);
    ExpectMap(engine.stream_maps[3], 2, 8, 2, 8);
}

TEST_F(StreamOptionsTest, StreamMapBeyondTheTableIsRefused) {
    for (int i = 0; i < kMaxStreamMaps; ++i) engine.SetOption("map", "0." + std::to_string(i % 20));
    EXPECT_EQ(engine.stream_map_count, 400);
    EXPECT_ENGINE_ERROR(engine.SetOption("map", "1.1"), "Too many stream maps: at most 400 are allowed");
    EXPECT_EQ(engine.stream_map_count, 400);
    ExpectMap(engine.stream_maps[399], 0, 19, 0, 19);
}

TEST_F(StreamOptionsTest, MetaDataMapsPairOutputWithInput) {
    engine.SetOption("map_meta_data", "0:1");
    engine.SetOption("map_meta_data", "1.0");
    ASSERT_EQ(engine.meta_data_map_count, 2);
    EXPECT_EQ(engine.meta_data_maps[0].out_file, 0);
    EXPECT_EQ(engine.meta_data_maps[0].in_file, 1);
    EXPECT_EQ(engine.meta_data_maps[1].out_file, 1);
    EXPECT_EQ(engine.meta_data_maps[1].in_file, 0);
}

TEST_F(StreamOptionsTest, MetaDataMapBeyondTheTableIsRefused) {
    for (int i = 0; i < kMaxMetaDataMaps; ++i) engine.SetOption("map_meta_data", "0:0");
    EXPECT_ENGINE_ERROR(engine.SetOption("map_meta_data", "0:1"),
                        "Too many metadata maps: at most 20 are allowed");
    EXPECT_EQ(engine.meta_data_map_count, 20);
}

TEST_F(StreamOptionsTest, TimestampScaleAppliesToTheNextInput) {
    engine.SetOption("itsscale", "1:2.5");
    EXPECT_EQ(engine.input_ts_scales[0][1], 2.5);
    engine.input_count = 3;
    engine.SetOption("itsscale", "19:0.5");
    EXPECT_EQ(engine.input_ts_scales[3][19], 0.5);
    EXPECT_EQ(engine.input_ts_scales[0][19], 0.0);

    EXPECT_ENGINE_ERROR(engine.SetOption("itsscale", "20:1.0"), "stream index over MAX_STREAMS(20)");
    EXPECT_ENGINE_ERROR(engine.SetOption("itsscale", "-1:1.0"), "stream index over MAX_STREAMS(20)");
}

// Cut to 32 bits these numbers named stream 1 or map 0.1.
TEST_F(StreamOptionsTest, IndexesTooLargeForAnyTableAreRefused) {
    for (const auto& [option, text] : {std::pair<std::string, std::string>{"map", "4294967296.1"},
                                       {"map", "0.1:0.99999999999999999999"},
                                       {"map_meta_data", "0:4294967296"},
                                       {"itsscale", "4294967297:2.5"}})
        EXPECT_ENGINE_ERROR(engine.SetOption(option, text), "Index out of range in option " + option + ": " + text);
    EXPECT_EQ(engine.stream_map_count, 0);
    EXPECT_EQ(engine.meta_data_map_count, 0);
    EXPECT_EQ(engine.input_ts_scales[0][1], 0.0);
}

TEST_F(StreamOptionsTest, TimestampScaleWithNoInputLeftToOpenIsRefused) {
    engine.input_count = kMaxFiles;
    EXPECT_THROW(engine.SetOption("itsscale", "0:2"), FFMpegException);
}

TEST_F(StreamOptionsTest, CaptureAndAudioSettings) {
    engine.SetOption("vc", "3");
    EXPECT_EQ(engine.video_channel, 3);
    engine.SetOption("tvstd", "ntsc");
    engine.SetOption("tvstd", "pal");
    EXPECT_STREQ(engine.video_standard.get(), "pal");

    engine.SetOption("ar", "22050");
    engine.SetOption("ac", "1");
    EXPECT_EQ(engine.audio_sample_rate, 22050);
    EXPECT_EQ(engine.audio_channels, 1);
    // Rates and channel counts that mean nothing leave the setting alone.
    engine.SetOption("ar", "0");
    engine.SetOption("ac", "-2");
    EXPECT_EQ(engine.audio_sample_rate, 22050);
    EXPECT_EQ(engine.audio_channels, 1);
    EXPECT_THROW(engine.SetOption("ar", ""), ConversionError);
}

TEST_F(StreamOptionsTest, FilterTextIsKept) {
    engine.SetOption("vfilters", "crop=320:240:0:0");
    EXPECT_EQ(engine.vfilters, "crop=320:240:0:0");
}

TEST_F(StreamOptionsTest, HookWhoseModuleCannotBeLoadedFails) {
    const std::string text = "/nonexistent/watermark.so -f logo.png";
    EXPECT_ENGINE_ERROR(engine.SetOption("vhook", text), "Failed to add video hook function: " + text);
    EXPECT_EQ(engine.vhook_active, 0);
    EXPECT_ENGINE_ERROR(engine.SetOption("vhook", "|||"), "Failed to add video hook function: |||");
}

TEST_F(StreamOptionsTest, HookTextSplitsAtBarsOrBlanks) {
    const std::string module = TOVRELA_TEST_HOOK_MODULE;
    // With a "|" the blanks belong to the words, so the module is not found.
    EXPECT_ENGINE_ERROR(engine.SetOption("vhook", module + " |-x"),
                        "Failed to add video hook function: " + module + " |-x");
    engine.SetOption("vhook", module + "|-x 1");
    EXPECT_EQ(engine.vhook_active, 1);
    engine.vhook_active = 0;
    engine.SetOption("vhook", module + "  -x   1");
    EXPECT_EQ(engine.vhook_active, 1);
    EXPECT_EQ(engine.frame_hooks.entries.size(), 2u);
}

TEST_F(StreamOptionsTest, HookWithMoreThanSixtyFourWordsIsRefused) {
    std::string text = TOVRELA_TEST_HOOK_MODULE;
    for (int i = 1; i < 64; ++i) text += " a" + std::to_string(i);
    engine.SetOption("vhook", text);  // 64 words fit
    EXPECT_EQ(engine.vhook_active, 1);

    engine.vhook_active = 0;
    text += " one-too-many";
    EXPECT_ENGINE_ERROR(engine.SetOption("vhook", text),
                        "A video hook takes at most 64 words, module name included: " + text);
    EXPECT_EQ(engine.vhook_active, 0);
}

// Every handler that reads a text leaves the option state alone when the
// text is empty.
TEST_F(StreamOptionsTest, EmptyTextChangesNothing) {
    engine.frame_width = 640;
    engine.frame_height = 480;
    const TOptionStateLines before = DescribeOptionState(engine);
    for (const char* name :
         {"f", "map", "map_meta_data", "t", "ss", "itsoffset", "itsscale", "timestamp", "r", "s", "aspect",
          "pix_fmt", "sample_fmt", "rc_override", "vcodec", "acodec", "scodec", "vtag", "atag", "vstats_file",
          "vhook", "vfilters", "intra_matrix", "inter_matrix", "tvstd", "absf", "vbsf", "sbsf", "b", "vb",
          "ab"}) {
        engine.SetOption(name, "");
        EXPECT_EQ(DescribeOptionState(engine), before) << name;
    }
    EXPECT_TRUE(logged.empty());
}

}  // namespace
