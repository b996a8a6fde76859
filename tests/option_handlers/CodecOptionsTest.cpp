#include <filesystem>
#include <string>

#include "EngineTest.h"
#include "TextConversion.h"

namespace {

using CodecOptionsTest = EngineTest;

constexpr char kLowBitrate[] =
    "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";

AVCodecContext* Kind(TCustomFFmpeg& engine, int kind) { return engine.codec_option_contexts[kind].get(); }

TEST_F(CodecOptionsTest, BitrateBelowOneKilobitIsWarnedAbout) {
    engine.SetOption("b", "64");
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->bit_rate, 64);
    EXPECT_EQ(logged, std::vector<std::string>{kLowBitrate});

    logged.clear();
    engine.SetOption("b", "64000");
    engine.SetOption("vb", "1000");
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->bit_rate, 1000);
    EXPECT_TRUE(logged.empty());
}

TEST_F(CodecOptionsTest, AudioBitrateIsCheckedOnTheAudioContext) {
    engine.SetOption("vb", "600000");
    engine.SetOption("ab", "128");
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_AUDIO)->bit_rate, 128);
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->bit_rate, 600000);
    EXPECT_EQ(logged, std::vector<std::string>{kLowBitrate});

    logged.clear();
    engine.SetOption("ab", "128000");
    EXPECT_TRUE(logged.empty());
}

TEST_F(CodecOptionsTest, BitrateWithoutValueOrRejectedIsSilent) {
    engine.SetBitrate("b", "");
    engine.SetBitrate("", "64");
    EXPECT_TRUE(engine.option_names.empty());
    engine.SetOption("b", "lots");  // the library refuses it
    EXPECT_TRUE(engine.option_names.empty());
    EXPECT_TRUE(logged.empty());
}

TEST_F(CodecOptionsTest, CodecNamesAreKeptUntilUsed) {
    engine.SetOption("vcodec", "mpeg4");
    engine.SetOption("acodec", "aac");
    engine.SetOption("scodec", "mov_text");
    EXPECT_STREQ(engine.video_codec_name.get(), "mpeg4");
    EXPECT_STREQ(engine.audio_codec_name.get(), "aac");
    EXPECT_STREQ(engine.subtitle_codec_name.get(), "mov_text");
    // Whether a name is an encoder is found out when a stream uses it.
    engine.SetOption("vcodec", "no_such_codec");
    EXPECT_STREQ(engine.video_codec_name.get(), "no_such_codec");
    EXPECT_EQ(engine.video_stream_copy, 0);
}

TEST_F(CodecOptionsTest, CopyDropsTheNameAndCopiesTheStream) {
    engine.SetOption("vcodec", "mpeg4");
    engine.SetOption("vcodec", "copy");
    EXPECT_EQ(engine.video_codec_name, nullptr);
    EXPECT_EQ(engine.video_stream_copy, 1);
    EXPECT_EQ(engine.audio_stream_copy, 0);

    engine.SetOption("acodec", "copy");
    engine.SetOption("scodec", "copy");
    EXPECT_EQ(engine.audio_codec_name, nullptr);
    EXPECT_EQ(engine.audio_stream_copy, 1);
    EXPECT_EQ(engine.subtitle_stream_copy, 1);
}

TEST_F(CodecOptionsTest, TagsArePackedFirstCharacterLow) {
    engine.SetOption("vtag", "XVID");
    EXPECT_EQ(engine.video_codec_tag, MKTAG('X', 'V', 'I', 'D'));
    engine.SetOption("atag", "mp4a");
    EXPECT_EQ(engine.audio_codec_tag, MKTAG('m', 'p', '4', 'a'));
    engine.SetOption("vtag", "\xff\xfe\x01\x02");
    EXPECT_EQ(static_cast<uint32_t>(engine.video_codec_tag), 0x0201FEFFu);
}

TEST_F(CodecOptionsTest, TagsOfOtherLengthsAreRefused) {
    const auto expectRefused = [&](const char* option, const char* tag, const std::string& message) {
        try {
            engine.SetOption(option, tag);
            ADD_FAILURE() << option << "=" << tag << " raised nothing";
        } catch (const FFMpegException& error) {
            EXPECT_EQ(std::string(error.what()).rfind(message + " (", 0), 0u) << error.what();
        }
    };
    expectRefused("vtag", "DIV", "video tag parameter must be 4 chars");
    expectRefused("vtag", "DIVX5", "video tag parameter must be 4 chars");
    expectRefused("atag", "mp4", "audio tag parameter must be 4 chars");
    EXPECT_EQ(engine.video_codec_tag, 0);
    EXPECT_EQ(engine.audio_codec_tag, 0);
}

std::string CountingMatrix(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(i + 1);
    return text;
}

TEST_F(CodecOptionsTest, MatrixTakesSixtyFourCoefficients) {
    engine.SetOption("intra_matrix", CountingMatrix(64));
    ASSERT_NE(engine.intra_matrix, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(engine.intra_matrix[i], i + 1);
    EXPECT_EQ(engine.inter_matrix, nullptr);

    // A second matrix replaces the first; values past the 64th are not read.
    engine.SetOption("intra_matrix", CountingMatrix(70));
    EXPECT_EQ(engine.intra_matrix[63], 64);
    engine.SetOption("inter_matrix", " 16, +2," + CountingMatrix(62));
    EXPECT_EQ(engine.inter_matrix[0], 16);
    EXPECT_EQ(engine.inter_matrix[1], 2);
    EXPECT_EQ(engine.inter_matrix[63], 62);
}

TEST_F(CodecOptionsTest, ShortMatrixNamesTheMissingCoefficient) {
    const std::string text = CountingMatrix(63);
    EXPECT_ENGINE_ERROR(engine.SetOption("intra_matrix", text),
                        "Syntax error in matrix \"" + text + "\" at coeff 62");
    EXPECT_ENGINE_ERROR(engine.SetOption("inter_matrix", "8 8 8"), "Syntax error in matrix \"8 8 8\" at coeff 0");
}

// A zero coefficient made the MPEG encoders divide by zero; values past 255
// do not fit the encoders' tables.
TEST_F(CodecOptionsTest, MatrixCoefficientsOutsideOneTo255AreRefused) {
    for (const char* bad : {"0", "256", "-2"}) {
        const std::string text = CountingMatrix(10) + "," + bad + "," + CountingMatrix(53);
        engine.SetOption("inter_matrix", CountingMatrix(64));
        EXPECT_ENGINE_ERROR(engine.SetOption("inter_matrix", text),
                            "inter_matrix: coefficient 10 of matrix \"" + text + "\" must lie between 1 and 255");
        EXPECT_EQ(engine.inter_matrix, nullptr) << bad;
    }
    engine.SetOption("intra_matrix", "255," + CountingMatrix(63));
    EXPECT_EQ(engine.intra_matrix[0], 255);
}

TEST_F(CodecOptionsTest, PassIsOneOrTwo) {
    engine.SetOption("pass", "2");
    EXPECT_EQ(engine.pass, 2);
    engine.SetOption("pass", "1");
    EXPECT_EQ(engine.pass, 1);
    EXPECT_ENGINE_ERROR(engine.SetOption("pass", "0"), "pass number can be only 1 or 2");
    EXPECT_ENGINE_ERROR(engine.SetOption("pass", "3"), "pass number can be only 1 or 2");
    EXPECT_EQ(engine.pass, 1);
}

TEST_F(CodecOptionsTest, StatisticsFileIsNamedOrMadeUp) {
    engine.SetOption("vstats_file", "/tmp/stats.log");
    EXPECT_STREQ(engine.vstats_file.get(), "/tmp/stats.log");

    engine.SetOption("vstats", "");
    ASSERT_NE(engine.vstats_file, nullptr);
    const std::filesystem::path made(engine.vstats_file.get());
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    EXPECT_EQ(made.parent_path().string(), program);
    const std::string name = made.filename().string();
    ASSERT_EQ(name.size(), std::string("vstats_hhmmss.log").size()) << name;
    EXPECT_EQ(name.substr(0, 7), "vstats_");
    EXPECT_EQ(name.find_first_not_of("0123456789", 7), 13u) << name;
    EXPECT_EQ(name.substr(13), ".log");
}

TEST_F(CodecOptionsTest, BitstreamFiltersAreAppendedPerMediaKind) {
    engine.SetOption("vbsf", "h264_mp4toannexb");
    engine.SetOption("vbsf", "dump_extra=freq=keyframe");
    engine.SetOption("absf", "aac_adtstoasc");
    engine.SetOption("sbsf", "null");
    ASSERT_EQ(engine.video_bitstream_filters.size(), 2u);
    EXPECT_STREQ(engine.video_bitstream_filters[0]->filter->name, "h264_mp4toannexb");
    EXPECT_STREQ(engine.video_bitstream_filters[1]->filter->name, "dump_extra");
    ASSERT_EQ(engine.audio_bitstream_filters.size(), 1u);
    EXPECT_STREQ(engine.audio_bitstream_filters[0]->filter->name, "aac_adtstoasc");
    ASSERT_EQ(engine.subtitle_bitstream_filters.size(), 1u);
    EXPECT_STREQ(engine.subtitle_bitstream_filters[0]->filter->name, "null");
}

TEST_F(CodecOptionsTest, UnknownBitstreamFilterIsRefused) {
    engine.SetOption("vbsf", "null");
    EXPECT_ENGINE_ERROR(engine.SetOption("vbsf", "no_such_filter=x "), "Unknown bitstream filter no_such_filter=x");
    EXPECT_EQ(engine.video_bitstream_filters.size(), 1u);
    // Text that starts with "=" names no filter.
    engine.SetOption("absf", "=aac_adtstoasc");
    EXPECT_TRUE(engine.audio_bitstream_filters.empty());
}

}  // namespace
