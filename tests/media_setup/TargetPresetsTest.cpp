// Target presets: the norm each one is applied in and the values it leaves.

#include "EngineTest.h"

namespace {

using TargetPresetsTest = EngineTest;

std::string Name(const TLibraryString& text) { return text ? text.get() : "(none)"; }

int64_t CodecOption(const TCustomFFmpeg& engine, AVMediaType kind, const char* name) {
    int64_t value = -1;
    EXPECT_GE(ff::av_opt_get_int(engine.codec_option_contexts[kind].get(), name, 0, &value), 0) << name;
    return value;
}

std::string PrivateOption(const TCustomFFmpeg& engine, const std::string& name) {
    for (const TPrivateOption& option : engine.private_options)
        if (option.name == name) return option.value;
    return "(none)";
}

TEST_F(TargetPresetsTest, PalDvdOnAnyInputNeedsNoMessage) {
    OpenClip("avi_mpeg4_mp3.avi");
    engine.SetOption("target", "pal-dvd");
    EXPECT_TRUE(logged.empty());
    EXPECT_EQ(Name(engine.video_codec_name), "mpeg2video");
    EXPECT_EQ(Name(engine.audio_codec_name), "ac3");
    ASSERT_NE(engine.forced_output_format, nullptr);
    EXPECT_STREQ(engine.forced_output_format->name, "dvd");
    EXPECT_EQ(engine.frame_width, 720);
    EXPECT_EQ(engine.frame_height, 576);
    EXPECT_EQ(av_cmp_q(engine.frame_rate, av_make_q(25, 1)), 0);
    EXPECT_EQ(CodecOption(engine, AVMEDIA_TYPE_VIDEO, "g"), 15);
    EXPECT_EQ(CodecOption(engine, AVMEDIA_TYPE_VIDEO, "b"), 6000000);
    EXPECT_EQ(CodecOption(engine, AVMEDIA_TYPE_VIDEO, "maxrate"), 9000000);
    EXPECT_EQ(CodecOption(engine, AVMEDIA_TYPE_VIDEO, "bufsize"), 1835008);
    EXPECT_EQ(CodecOption(engine, AVMEDIA_TYPE_AUDIO, "b"), 448000);
    EXPECT_EQ(engine.format_option_context->packet_size, 2048u);
    EXPECT_EQ(PrivateOption(engine, "muxrate"), "10080000");
    EXPECT_EQ(engine.audio_sample_rate, 48000);
    EXPECT_EQ(engine.audio_channels, 2);
}

TEST_F(TargetPresetsTest, VcdAtNtscRateIsNtscAndSaysSo) {
    OpenClip("avi_mpeg4_mp3.avi");
    engine.frame_rate = AVRational{30000, 1001};
    engine.SetOption("target", "vcd");
    EXPECT_TRUE(Logged("Assuming NTSC for target."));
    EXPECT_EQ(engine.frame_width, 352);
    EXPECT_EQ(engine.frame_height, 240);
    EXPECT_EQ(CodecOption(engine, AVMEDIA_TYPE_VIDEO, "g"), 18);
    EXPECT_EQ(CodecOption(engine, AVMEDIA_TYPE_VIDEO, "minrate"), 1150000);
    EXPECT_EQ(CodecOption(engine, AVMEDIA_TYPE_AUDIO, "b"), 224000);
    EXPECT_EQ(PrivateOption(engine, "muxrate"), "1411200");
    EXPECT_FLOAT_EQ(engine.mux_preload, 0.44f);
    EXPECT_EQ(engine.audio_sample_rate, 44100);
}

TEST_F(TargetPresetsTest, APalRateMeansPal) {
    OpenClip("avi_mpeg4_mp3.avi");
    engine.frame_rate = AVRational{25, 1};
    engine.SetTarget("svcd");
    EXPECT_TRUE(Logged("Assuming PAL for target."));
    EXPECT_EQ(engine.frame_height, 576);
}

TEST_F(TargetPresetsTest, WithoutANormRateTheFallbackDecides) {
    // The clips run at 24 frames per second, which is no norm's rate.
    OpenClip("avi_mpeg4_mp3.avi");
    engine.SetTarget("dvd");
    EXPECT_TRUE(Logged("Assuming NTSC for target."));
    EXPECT_EQ(engine.frame_height, 480);
    EXPECT_EQ(av_cmp_q(engine.frame_rate, av_make_q(30000, 1001)), 0);

    engine.Initialize();
    OpenClip("avi_mpeg4_mp3.avi");
    engine.SetTargetWithNorm("dvd", "", "pal");
    EXPECT_EQ(engine.frame_height, 576);

    engine.Initialize();
    OpenClip("avi_mpeg4_mp3.avi");
    engine.SetTargetWithNorm("dvd", "", "film");
    EXPECT_EQ(av_cmp_q(engine.frame_rate, av_make_q(24000, 1001)), 0);
}

TEST_F(TargetPresetsTest, TheNormMessageNeedsVerbosity) {
    OpenClip("avi_mpeg4_mp3.avi");
    engine.verbose = 0;
    engine.SetTarget("vcd");
    EXPECT_FALSE(Logged("Assuming NTSC for target."));
}

TEST_F(TargetPresetsTest, FilmDvUsesNtscSizesAndItsOwnRate) {
    OpenClip("avi_mpeg4_mp3.avi");
    engine.SetTarget("film-dv");
    EXPECT_STREQ(engine.forced_output_format->name, "dv");
    EXPECT_EQ(engine.frame_width, 720);
    EXPECT_EQ(engine.frame_height, 480);
    EXPECT_EQ(engine.frame_pix_fmt, AV_PIX_FMT_YUV411P);
    EXPECT_EQ(av_cmp_q(engine.frame_rate, av_make_q(24000, 1001)), 0);
    EXPECT_EQ(engine.audio_sample_rate, 48000);

    engine.SetTarget("pal-dv");
    EXPECT_EQ(engine.frame_pix_fmt, AV_PIX_FMT_YUV420P);
    engine.SetTarget("ntsc-dv50");
    EXPECT_EQ(engine.frame_pix_fmt, AV_PIX_FMT_YUV422P);
}

TEST_F(TargetPresetsTest, SvcdMakesMonoStereoButKeepsMoreChannels) {
    OpenClip("mono_22050.avi");
    engine.SetTarget("pal-svcd");
    EXPECT_EQ(engine.audio_channels, 2);
    EXPECT_EQ(engine.audio_sample_rate, 44100);

    engine.Initialize();
    OpenClip("surround_48000.mov");
    engine.SetTarget("pal-svcd");
    EXPECT_EQ(engine.audio_channels, 6);

    engine.SetTarget("pal-vcd");
    EXPECT_EQ(engine.audio_channels, 2);
}

TEST_F(TargetPresetsTest, AnUnsetAspectRatioIsAssumed) {
    engine.SetTarget("ntsc-vcd");
    EXPECT_TRUE(Logged("Assuming 4:3 for aspect ratio"));
    EXPECT_NEAR(engine.frame_aspect_ratio, 4.0 / 3.0, 1e-5);

    engine.Initialize();
    engine.SetTarget("pal-dvd");
    EXPECT_TRUE(Logged("Assuming 16:9 for aspect ratio"));
    EXPECT_NEAR(engine.frame_aspect_ratio, 16.0 / 9.0, 1e-5);
}

TEST_F(TargetPresetsTest, RefusedTargets) {
    EXPECT_ENGINE_ERROR(engine.SetTarget("pal-betamax"), "Unknown target type");
    EXPECT_EQ(engine.forced_output_format, nullptr);
    // No input: no frame rate to tell the norm.
    EXPECT_ENGINE_ERROR(engine.SetTarget("vcd"), "frame_rate is invalid.");
    EXPECT_EQ(engine.frame_width, 0);
}

TEST_F(TargetPresetsTest, ADvdPresetGivesADvdOutput) {
    OpenClip("avi_mpeg4_mp3.avi");
    engine.SetTarget("pal-dvd");
    ASSERT_NO_THROW(engine.OpenOutputFile(ScratchFile("out.vob")));
    const AVFormatContext* output = engine.output_contexts[0].get();
    EXPECT_STREQ(output->oformat->name, "dvd");
    const AVCodecContext* video = engine.output_streams[0][0].encoder.get();
    EXPECT_EQ(video->codec_id, AV_CODEC_ID_MPEG2VIDEO);
    EXPECT_EQ(video->width, 720);
    EXPECT_EQ(video->gop_size, 15);
    EXPECT_EQ(video->bit_rate, 6000000);
    const AVCodecContext* audio = engine.output_streams[0][1].encoder.get();
    EXPECT_EQ(audio->codec_id, AV_CODEC_ID_AC3);
    EXPECT_EQ(audio->bit_rate, 448000);
    EXPECT_EQ(audio->sample_rate, 48000);
    int64_t muxrate = 0;
    ASSERT_GE(ff::av_opt_get_int(engine.output_contexts[0].get(), "muxrate", AV_OPT_SEARCH_CHILDREN, &muxrate), 0);
    EXPECT_EQ(muxrate, 10080000);
}

}  // namespace
