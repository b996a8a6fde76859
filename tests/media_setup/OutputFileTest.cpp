// Creating outputs: their streams and encoder contexts, what set-up does to
// the file on disk, and every failure message.

#include "EngineTest.h"
#include "OutputRules.h"

namespace {

using OutputFileTest = EngineTest;

// Opens the clip and creates the output in the scratch folder.
class OutputFromClipTest : public EngineTest {
protected:
    // The option text is applied between the two, as a task's output options are.
    void CreateOutput(const std::string& clip, const std::string& output, const std::string& options = "") {
        OpenClip(clip);
        engine.ApplyOptionText(options);
        outputName = ScratchFile(output);
        engine.OpenOutputFile(outputName);
    }

    const TOutputStreamSetup& Stream(int index) const { return engine.output_streams[0].at(index); }
    AVFormatContext* Output() const { return engine.output_contexts[0].get(); }

    // After a refused output nothing of it is left behind.
    void ExpectNothingCreated() {
        EXPECT_EQ(engine.output_count, 0);
        EXPECT_FALSE(engine.output_contexts[0]);
        EXPECT_TRUE(engine.output_streams[0].empty());
        EXPECT_EQ(engine.forced_output_format, nullptr);
        EXPECT_FALSE(std::filesystem::exists(outputName));
    }

    std::string outputName;
};

TEST_F(OutputFromClipTest, Mp4WithNamedEncodersTakesThePictureAndSoundOfTheInput) {
    ASSERT_NO_THROW(CreateOutput("mono_22050.avi", "out.mp4", "vcodec=mpeg4\nacodec=libfaac"));
    ASSERT_EQ(engine.output_count, 1);
    EXPECT_STREQ(Output()->oformat->name, "mp4");
    ASSERT_EQ(Output()->nb_streams, 2u);
    ASSERT_EQ(engine.output_streams[0].size(), 2u);

    const AVCodecContext* video = Stream(0).encoder.get();
    EXPECT_EQ(video->codec_id, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(video->width, 176);
    EXPECT_EQ(video->height, 144);
    EXPECT_EQ(av_cmp_q(video->time_base, av_make_q(1, 24)), 0);
    EXPECT_EQ(video->pix_fmt, AV_PIX_FMT_YUV420P);
    EXPECT_TRUE(video->flags & AV_CODEC_FLAG_GLOBAL_HEADER);  // mp4 wants global headers

    // The bound libraries have no libfaac: the native AAC encoder stands in.
    const AVCodecContext* audio = Stream(1).encoder.get();
    EXPECT_EQ(audio->codec_id, AV_CODEC_ID_AAC);
    EXPECT_EQ(audio->ch_layout.nb_channels, 1);
    EXPECT_EQ(audio->sample_rate, 22050);
    EXPECT_EQ(audio->sample_fmt, AV_SAMPLE_FMT_FLTP);
    EXPECT_EQ(Output()->streams[1]->codecpar->codec_id, AV_CODEC_ID_AAC);

    // Pending choices are spent; sizes and rates stay for later streams.
    EXPECT_FALSE(engine.video_codec_name);
    EXPECT_FALSE(engine.audio_codec_name);
    EXPECT_EQ(engine.forced_output_format, nullptr);
    EXPECT_EQ(engine.frame_width, 176);
}

TEST_F(OutputFromClipTest, WithoutEncoderNamesTheContainersDefaultsAreUsed) {
    for (const char* name : {"out.avi", "out.mkv", "out.mp4"}) {
        SCOPED_TRACE(name);
        engine.Initialize();
        ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", name));
        const AVOutputFormat* format = Output()->oformat;
        ASSERT_EQ(engine.output_streams[0].size(), 2u);
        EXPECT_EQ(Stream(0).encoder->codec_id, format->video_codec);
        EXPECT_EQ(Stream(1).encoder->codec_id, format->audio_codec);
    }
}

TEST_F(OutputFromClipTest, AnInputWithSubtitlesGivesASubtitleStreamWhereTheContainerHasOne) {
    engine.audio_language = "fre";
    engine.subtitle_language = "english";
    ASSERT_NO_THROW(CreateOutput("subtitle_track.mkv", "out.mkv"));
    ASSERT_EQ(Output()->nb_streams, 3u);
    EXPECT_EQ(Stream(2).encoder->codec_type, AVMEDIA_TYPE_SUBTITLE);
    EXPECT_EQ(Stream(2).encoder->codec_id, Output()->oformat->subtitle_codec);
    EXPECT_STREQ(ff::av_dict_get(Output()->streams[1]->metadata, "language", nullptr, 0)->value, "fre");
    EXPECT_STREQ(ff::av_dict_get(Output()->streams[2]->metadata, "language", nullptr, 0)->value, "eng");
    EXPECT_TRUE(engine.audio_language.empty());
    EXPECT_TRUE(engine.subtitle_language.empty());
}

TEST_F(OutputFromClipTest, OnlyTheKindsTheInputsHaveAreCreated) {
    ASSERT_NO_THROW(CreateOutput("video_only.avi", "video.mp4"));
    ASSERT_EQ(Output()->nb_streams, 1u);
    EXPECT_EQ(Stream(0).encoder->codec_type, AVMEDIA_TYPE_VIDEO);

    engine.Initialize();
    ASSERT_NO_THROW(CreateOutput("audio_only.mp3", "audio.mp4"));
    ASSERT_EQ(Output()->nb_streams, 1u);
    EXPECT_EQ(Stream(0).encoder->codec_type, AVMEDIA_TYPE_AUDIO);

    engine.Initialize();
    engine.audio_disable = 1;
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "no_audio.mp4"));
    ASSERT_EQ(Output()->nb_streams, 1u);
    EXPECT_EQ(engine.audio_disable, 1);  // no audio stream spent it
}

TEST_F(OutputFromClipTest, CopiedStreamsCarryOnlyTheirKindAndAspect) {
    engine.video_stream_copy = 1;
    engine.audio_stream_copy = 1;
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "copy.mkv"));
    ASSERT_EQ(engine.output_streams[0].size(), 2u);
    EXPECT_TRUE(Stream(0).stream_copy);
    EXPECT_TRUE(Stream(1).stream_copy);
    EXPECT_EQ(Stream(0).encoder->codec_id, AV_CODEC_ID_NONE);
    EXPECT_EQ(av_cmp_q(Output()->streams[0]->sample_aspect_ratio, av_make_q(1, 1)), 0);
    EXPECT_EQ(engine.video_stream_copy, 0);
    EXPECT_EQ(engine.audio_stream_copy, 0);
}

TEST_F(OutputFromClipTest, AnUnsetFrameRateMeansTwentyFive) {
    OpenClip("avi_mpeg4_mp3.avi");
    engine.frame_rate = AVRational{0, 0};
    ASSERT_NO_THROW(engine.OpenOutputFile(ScratchFile("out.avi")));
    EXPECT_EQ(av_cmp_q(Stream(0).encoder->time_base, av_make_q(1, 25)), 0);
}

TEST_F(OutputFromClipTest, AnEncoderWithFixedRatesGetsTheNearestEarlierOneOnATie) {
    OpenClip("avi_mpeg4_mp3.avi");
    engine.frame_rate = AVRational{49, 2};  // 24.5: as near 24 as 25
    engine.SetOption("vcodec", "mpeg1video");
    ASSERT_NO_THROW(engine.OpenOutputFile(ScratchFile("out.mpg")));
    EXPECT_EQ(av_cmp_q(Stream(0).encoder->time_base, av_make_q(1, 24)), 0);
}

TEST(NearestSupportedRate, TakesTheClosestAndTheEarlierOnEqualDistance) {
    const AVRational rates[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {0, 0}};
    EXPECT_EQ(av_cmp_q(*NearestSupportedRate({26, 1}, rates), av_make_q(25, 1)), 0);
    EXPECT_EQ(av_cmp_q(*NearestSupportedRate({49, 2}, rates), av_make_q(24, 1)), 0);
    EXPECT_EQ(av_cmp_q(*NearestSupportedRate({1000, 1}, rates), av_make_q(30000, 1001)), 0);
    EXPECT_FALSE(NearestSupportedRate({25, 1}, nullptr));
}

TEST(RcOverride, EntriesGiveQuantisersOrQualityFactors) {
    std::vector<RcOverride> overrides;
    ASSERT_TRUE(ParseRcOverride("0,100,5/200,300,-50", overrides));
    ASSERT_EQ(overrides.size(), 2u);
    EXPECT_EQ(overrides[0].start_frame, 0);
    EXPECT_EQ(overrides[0].end_frame, 100);
    EXPECT_EQ(overrides[0].qscale, 5);
    EXPECT_FLOAT_EQ(overrides[0].quality_factor, 1.0f);
    EXPECT_EQ(overrides[1].start_frame, 200);
    EXPECT_EQ(overrides[1].end_frame, 300);
    EXPECT_EQ(overrides[1].qscale, 0);
    EXPECT_FLOAT_EQ(overrides[1].quality_factor, 0.5f);
    EXPECT_FALSE(ParseRcOverride("0,100", overrides));
    EXPECT_FALSE(ParseRcOverride("0 100 5", overrides));
}

TEST_F(OutputFromClipTest, VideoEncoderSettingsFollowTheOptions) {
    engine.rc_override.reset(ff::av_strdup("0,100,5/200,300,-50"));
    engine.pass = 2;
    engine.video_qscale = 3;
    engine.intra_only = 1;
    engine.intra_dc_precision = 10;
    ASSERT_TRUE(engine.SetGenericOption("bufsize", "400000"));
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "out.avi"));
    const AVCodecContext* video = Stream(0).encoder.get();
    ASSERT_EQ(video->rc_override_count, 2);
    EXPECT_EQ(video->rc_override[1].qscale, 0);
    EXPECT_FLOAT_EQ(video->rc_override[1].quality_factor, 0.5f);
    EXPECT_TRUE(video->flags & AV_CODEC_FLAG_PASS2);
    EXPECT_FALSE(video->flags & AV_CODEC_FLAG_PASS1);
    EXPECT_TRUE(video->flags & AV_CODEC_FLAG_QSCALE);
    EXPECT_EQ(video->global_quality, 3 * FF_QP2LAMBDA);
    EXPECT_EQ(video->gop_size, 0);
    EXPECT_EQ(video->intra_dc_precision, 2);
    EXPECT_EQ(video->rc_buffer_size, 400000);
    EXPECT_EQ(video->rc_initial_buffer_occupancy, 300000);
}

TEST_F(OutputFromClipTest, OnePassSetsNoPassFlag) {
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "out.avi"));
    EXPECT_FALSE(Stream(0).encoder->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2));
}

TEST_F(OutputFromClipTest, MetadataGoesIntoTheOutputsDictionary) {
    engine.SetTitle("A title");
    engine.SetAuthor("Someone");
    engine.SetYear(2009);
    engine.SetTrack(3);
    engine.recording_timestamp = 1234567890;
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "out.mp4"));
    auto tag = [this](const char* key) {
        const AVDictionaryEntry* entry = ff::av_dict_get(Output()->metadata, key, nullptr, 0);
        return std::string(entry ? entry->value : "(none)");
    };
    EXPECT_EQ(tag("title"), "A title");
    EXPECT_EQ(tag("author"), "Someone");
    EXPECT_EQ(tag("date"), "2009");
    EXPECT_EQ(tag("track"), "3");
    EXPECT_EQ(tag("creation_time"), "2009-02-13T23:31:30.000000Z");
    EXPECT_EQ(tag("comment"), "(none)");
}

TEST_F(OutputFromClipTest, SetUpWritesNothingButKeepsTheNameFromOtherTasks) {
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "out.mp4"));
    EXPECT_FALSE(std::filesystem::exists(outputName));
    TCustomFFmpeg other;
    other.Initialize();
    ASSERT_NO_THROW(other.OpenInputFile(TestMediaPath("avi_mpeg4_mp3.avi")));
    // Another spelling of the same path is the same file.
    const std::string sameFile = ScratchFile("./out.mp4");
    EXPECT_ENGINE_ERROR(other.OpenOutputFile(sameFile), "Could not open '" + sameFile + "': another conversion writes it");
    engine.CleanUp();
    EXPECT_NO_THROW(other.OpenOutputFile(sameFile));
    other.CleanUp();
    EXPECT_FALSE(std::filesystem::exists(outputName));
}

TEST_F(OutputFromClipTest, AnExistingFileIsNeverTruncatedOrRemovedBySetUp) {
    const std::string precious = ScratchFile("out.mp4");
    WriteFile(precious, "precious contents");
    const std::string empty = ScratchFile("empty.mp4");
    WriteFile(empty, "");
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "out.mp4"));
    ASSERT_NO_THROW(engine.OpenOutputFile(empty));
    EXPECT_EQ(engine.output_count, 2);
    EXPECT_EQ(ReadFile(precious), "precious contents");
    engine.CleanUp();
    EXPECT_EQ(ReadFile(precious), "precious contents");
    EXPECT_TRUE(std::filesystem::exists(empty));
}

TEST_F(OutputFromClipTest, TheInputItselfIsRefusedAsOutput) {
    const std::string input = ScratchFile("input.avi");
    std::filesystem::copy_file(TestMediaPath("avi_mpeg4_mp3.avi"), input);
    const std::string before = ReadFile(input);
    ASSERT_NO_THROW(engine.OpenInputFile(input));
    // Another spelling of the same path is the same file.
    const std::string sameFile = ScratchFile("./input.avi");
    EXPECT_ENGINE_ERROR(engine.OpenOutputFile(sameFile), "Could not open '" + sameFile + "': it is the input file itself");
    EXPECT_EQ(engine.output_count, 0);
    engine.CleanUp();
    EXPECT_EQ(ReadFile(input), before);
}

TEST_F(OutputFromClipTest, AFolderThatDoesNotExistCannotBeWritten) {
    OpenClip("avi_mpeg4_mp3.avi");
    outputName = ScratchFile("missing/out.mp4");
    EXPECT_ENGINE_ERROR(engine.OpenOutputFile(outputName), "Could not open '" + outputName + "': No such file or directory");
    ExpectNothingCreated();
}

TEST_F(OutputFromClipTest, AnExtensionNoFormatClaimsIsRefused) {
    OpenClip("avi_mpeg4_mp3.avi");
    outputName = ScratchFile("out.nosuchformat");
    EXPECT_ENGINE_ERROR(engine.OpenOutputFile(outputName), "Unable to find a suitable output format for '" + outputName + "'");
    ExpectNothingCreated();
}

TEST_F(OutputFromClipTest, CropAndFiltersCannotBeCombined) {
    OpenClip("avi_mpeg4_mp3.avi");
    outputName = ScratchFile("out.mp4");
    engine.vfilters = "hflip";
    engine.frame_cropleft = 8;
    EXPECT_ENGINE_ERROR(engine.OpenOutputFile(outputName), "Cannot enable crop options and filters at the same time.");
    ExpectNothingCreated();
}

TEST_F(OutputFromClipTest, PadsCannotBeCombinedWithResizingFilters) {
    OpenClip("avi_mpeg4_mp3.avi");
    outputName = ScratchFile("out.mp4");
    engine.frame_padtop = 16;
    engine.vfilters = "Scale=320:240,hflip";
    EXPECT_ENGINE_ERROR(engine.OpenOutputFile(outputName), "Cannot enable pad options and the filters which resize frame at the same time. "
              "(crop, rotate, scale, transpose, etc.)");
    ExpectNothingCreated();

    engine.vfilters = "hflip,negate";
    EXPECT_NO_THROW(engine.OpenOutputFile(outputName));
    EXPECT_EQ(engine.vfilters_active, 1);
    EXPECT_EQ(Stream(0).encoder->height, 144 + 16);
}

TEST(FiltersKeepFrameSize, OnlyCropRotateScaleAndTransposeResize) {
    EXPECT_TRUE(FiltersKeepFrameSize(""));
    EXPECT_TRUE(FiltersKeepFrameSize("hflip,vflip"));
    EXPECT_TRUE(FiltersKeepFrameSize("scaler=1"));
    EXPECT_FALSE(FiltersKeepFrameSize("hflip,TRANSPOSE=1"));
    EXPECT_FALSE(FiltersKeepFrameSize("crop=100:100:0:0"));
    EXPECT_FALSE(FiltersKeepFrameSize("rotate"));
}

TEST_F(OutputFromClipTest, EncoderNamesMustExistAndFitTheirKind) {
    struct Case {
        const char* option;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"vcodec", "no_such_encoder", "new_video_stream fail: Unknown encoder 'no_such_encoder'"},
        {"vcodec", "mp2", "new_video_stream fail: Invalid encoder type 'mp2'"},
        {"acodec", "no_such_encoder", "new_audio_stream fail: Unknown encoder 'no_such_encoder'"},
        {"acodec", "mpeg4", "new_audio_stream fail: Invalid encoder type 'mpeg4'"},
        {"scodec", "no_such_encoder", "new_subtitle_stream fail: Unknown encoder 'no_such_encoder'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        engine.Initialize();
        OpenClip("subtitle_track.mkv");
        outputName = ScratchFile("out.mkv");
        engine.SetOption(c.option, c.value);
        EXPECT_ENGINE_ERROR(engine.OpenOutputFile(outputName), c.message);
        ExpectNothingCreated();
        EXPECT_FALSE(engine.video_codec_name);
        EXPECT_FALSE(engine.audio_codec_name);
        EXPECT_FALSE(engine.subtitle_codec_name);
    }
}

TEST_F(OutputFromClipTest, AnUnreadableRateControlOverrideFailsTheVideoStream) {
    OpenClip("avi_mpeg4_mp3.avi");
    outputName = ScratchFile("out.mp4");
    engine.rc_override.reset(ff::av_strdup("0,100"));
    EXPECT_ENGINE_ERROR(engine.OpenOutputFile(outputName), "new_video_stream fail: error parsing rc_override");
    ExpectNothingCreated();
}

TEST_F(OutputFromClipTest, BitstreamFiltersMoveToTheirStreamEvenForALaterStream) {
    auto filter = [] {
        AVBSFContext* context = nullptr;
        EXPECT_GE(ff::av_bsf_alloc(ff::av_bsf_get_by_name("null"), &context), 0);
        return TBitstreamFilterPtr(context);
    };
    engine.audio_bitstream_filters.push_back(filter());
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "out.mkv"));
    EXPECT_TRUE(engine.audio_bitstream_filters.empty());
    EXPECT_EQ(engine.stream_bitstream_filters[0][1].size(), 1u);

    engine.video_bitstream_filters.push_back(filter());
    engine.AddNewVideo();
    ASSERT_EQ(Output()->nb_streams, 3u);
    EXPECT_EQ(engine.output_streams[0].size(), 3u);
    EXPECT_EQ(engine.stream_bitstream_filters[0][2].size(), 1u);
    EXPECT_TRUE(engine.stream_bitstream_filters[1][2].empty());
}

TEST_F(OutputFromClipTest, AnOutputHoldsAtMostTwentyStreams) {
    ASSERT_NO_THROW(CreateOutput("avi_mpeg4_mp3.avi", "out.mkv"));
    for (int count = 2; count < kMaxStreams; ++count) engine.SetOption("newaudio", "");
    EXPECT_ENGINE_ERROR(engine.AddNewAudio(), "Could not alloc stream");
    EXPECT_EQ(Output()->nb_streams, static_cast<unsigned>(kMaxStreams));
    EXPECT_EQ(engine.output_streams[0].size(), static_cast<size_t>(kMaxStreams));
}

TEST_F(OutputFileTest, NewStreamsNeedAnOutput) {
    for (auto add : {&TCustomFFmpeg::AddNewVideo, &TCustomFFmpeg::AddNewAudio, &TCustomFFmpeg::AddNewSubtitle})
        EXPECT_ENGINE_ERROR((engine.*add)(), "At least one output file must be specified");
    EXPECT_THROW(engine.SetOption("newaudio", ""), FFMpegException);
}

TEST_F(OutputFromClipTest, MuxerOptionsReachTheMuxer) {
    ASSERT_TRUE(engine.SetGenericOption("muxrate", "2000000"));
    ASSERT_TRUE(engine.SetGenericOption("packetsize", "2048"));
    engine.SetMuxPreload(0.25f);
    engine.SetMuxMaxDelay(0.5f);
    ASSERT_NO_THROW(CreateOutput("mpeg_ps_mpeg2_mp2.mpg", "out.mpg"));
    int64_t value = 0;
    ASSERT_GE(ff::av_opt_get_int(Output(), "muxrate", AV_OPT_SEARCH_CHILDREN, &value), 0);
    EXPECT_EQ(value, 2000000);
    ASSERT_GE(ff::av_opt_get_int(Output(), "preload", AV_OPT_SEARCH_CHILDREN, &value), 0);
    EXPECT_EQ(value, 250000);
    EXPECT_EQ(Output()->packet_size, 2048u);
    EXPECT_EQ(Output()->max_delay, 500000);
}

}  // namespace
