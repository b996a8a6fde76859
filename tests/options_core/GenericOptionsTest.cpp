#include "EngineTest.h"
#include "LibraryBinding.h"
#include "OptionStateDescription.h"

namespace {

using GenericOptionsTest = EngineTest;

AVCodecContext* Kind(TCustomFFmpeg& engine, int kind) { return engine.codec_option_contexts[kind].get(); }

TEST_F(GenericOptionsTest, OptionContextsExistPerMediaKindUntilCleanUp) {
    for (int kind = 0; kind < kMediaKindCount; ++kind) {
        ASSERT_NE(Kind(engine, kind), nullptr);
        EXPECT_EQ(Kind(engine, kind)->codec_type, kind);
    }
    EXPECT_NE(engine.format_option_context, nullptr);
    EXPECT_NE(engine.scaler_option_context, nullptr);
    engine.CleanUp();
    EXPECT_EQ(Kind(engine, 0), nullptr);
    EXPECT_EQ(engine.format_option_context, nullptr);
    EXPECT_EQ(engine.scaler_option_context, nullptr);
    EXPECT_FALSE(engine.SetGenericOption("g", "12"));
}

TEST_F(GenericOptionsTest, CodecOptionGoesToEveryContextOfMatchingKind) {
    engine.SetOption("g", "25");  // a video option
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->gop_size, 25);
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_DATA)->gop_size, 25);
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_ATTACHMENT)->gop_size, 25);
    EXPECT_NE(Kind(engine, AVMEDIA_TYPE_AUDIO)->gop_size, 25);
    EXPECT_NE(Kind(engine, AVMEDIA_TYPE_SUBTITLE)->gop_size, 25);

    EXPECT_TRUE(engine.SetGenericOption("b", "300000"));  // video and audio
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->bit_rate, 300000);
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_AUDIO)->bit_rate, 300000);
    EXPECT_NE(Kind(engine, AVMEDIA_TYPE_SUBTITLE)->bit_rate, 300000);
}

TEST_F(GenericOptionsTest, AcceptedNamesAreRecordedOncePerAcceptance) {
    engine.SetOption("cutoff", "15000");
    engine.SetOption("cutoff", "16000");
    engine.SetOption("packetsize", "2324");
    engine.SetOption("sws_flags", "bilinear");
    EXPECT_EQ(engine.option_names,
              (std::vector<std::string>{"cutoff", "cutoff", "packetsize", "sws_flags"}));
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_AUDIO)->cutoff, 16000);
    EXPECT_EQ(engine.format_option_context->packet_size, 2324u);
}

TEST_F(GenericOptionsTest, KindLetterIsDroppedWhenTheWholeNameIsUnknown) {
    EXPECT_TRUE(engine.SetGenericOption("vb", "500000"));
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->bit_rate, 500000);
    EXPECT_NE(Kind(engine, AVMEDIA_TYPE_AUDIO)->bit_rate, 500000);
    engine.SetOption("vg", "30");
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->gop_size, 30);
    EXPECT_NE(Kind(engine, AVMEDIA_TYPE_DATA)->gop_size, 30);
    EXPECT_EQ(engine.option_names, (std::vector<std::string>{"b", "g"}));
}

TEST_F(GenericOptionsTest, AudioBitrateReachesOnlyTheAudioContext) {
    EXPECT_TRUE(engine.SetGenericOption("ab", "64000"));
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_AUDIO)->bit_rate, 64000);
    EXPECT_NE(Kind(engine, AVMEDIA_TYPE_VIDEO)->bit_rate, 64000);
}

TEST_F(GenericOptionsTest, OldNameReachesTheCurrentSetting) {
    engine.SetOption("gop", "15");
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->gop_size, 15);
    EXPECT_EQ(engine.option_names, std::vector<std::string>{"g"});
}

TEST_F(GenericOptionsTest, UnknownOrRefusedOptionsAreDroppedSilently) {
    const auto before = DescribeOptionState(engine);
    engine.SetOption("VCODEC", "mpeg4");
    engine.SetOption("no_such_option", "1");
    engine.SetOption("g", "twelve");
    engine.SetOption("flags", "+scan_offset");
    EXPECT_FALSE(engine.SetGenericOption("g", " \t"));
    EXPECT_FALSE(engine.SetGenericOption(" ", "1"));
    EXPECT_EQ(DescribeOptionState(engine), before);
    EXPECT_TRUE(logged.empty());
}

TEST_F(GenericOptionsTest, MuxerAndEncoderOptionsAreKeptForLater) {
    EXPECT_TRUE(engine.SetGenericOption("muxrate", "1411200"));
    EXPECT_TRUE(engine.SetGenericOption("aac_coder", "fast"));
    ASSERT_EQ(engine.private_options.size(), 2u);
    EXPECT_EQ(engine.private_options[0].name, "muxrate");
    EXPECT_EQ(engine.private_options[0].value, "1411200");
    EXPECT_EQ(engine.private_options[0].owner, TPrivateOptionOwner::Muxer);
    EXPECT_EQ(engine.private_options[1].owner, TPrivateOptionOwner::Encoder);
    EXPECT_TRUE(engine.private_options[1].flags & AV_OPT_FLAG_AUDIO_PARAM);
    EXPECT_EQ(engine.option_names, (std::vector<std::string>{"muxrate", "aac_coder"}));
}

TEST_F(GenericOptionsTest, CodecOptionWithBadValueIsNotKeptAsPrivate) {
    EXPECT_FALSE(engine.SetGenericOption("b", "lots"));
    EXPECT_TRUE(engine.private_options.empty());
}

TEST_F(GenericOptionsTest, LibraryDebuggingRaisesVerbosity) {
    engine.SetOption("bufsize", "1000");
    EXPECT_EQ(engine.verbose, 1);
    engine.SetOption("debug", "qp");
    EXPECT_EQ(engine.verbose, 2);
    EXPECT_EQ(ff::av_log_get_level(), AV_LOG_DEBUG);
    EXPECT_EQ(CachedLogLevel(), 2);
}

TEST_F(GenericOptionsTest, FormatDebuggingRaisesVerbosity) {
    engine.SetOption("fdebug", "ts");
    EXPECT_EQ(engine.verbose, 2);
}

TEST_F(GenericOptionsTest, IntegerVariantFormatsInDecimal) {
    EXPECT_TRUE(engine.SetGenericOptionInt("bufsize", 1835008));
    EXPECT_EQ(Kind(engine, AVMEDIA_TYPE_VIDEO)->rc_buffer_size, 1835008);
}

}  // namespace
