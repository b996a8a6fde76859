// Opening inputs: what the option state takes over from the clips, the
// seeking and offsets, and the messages of a failed open.

#include <cmath>

#include "EngineTest.h"
#include "Remux.h"

namespace {

using InputFileTest = EngineTest;

TEST_F(InputFileTest, EveryClipLeavesItsPictureAndSoundInTheOptionState) {
    for (const TestClip& clip : TestClips()) {
        SCOPED_TRACE(clip.fileName);
        engine.Initialize();
        OpenClip(clip.fileName);
        EXPECT_EQ(engine.input_count, 1);
        ASSERT_EQ(engine.input_decoders[0].size(), clip.streams.size());
        if (clip.HasVideo()) {
            EXPECT_EQ(engine.frame_width, clip.width);
            EXPECT_EQ(engine.frame_height, clip.height);
            EXPECT_EQ(av_cmp_q(engine.frame_rate, av_make_q(clip.frameRateNum, clip.frameRateDen)), 0)
                << engine.frame_rate.num << "/" << engine.frame_rate.den;
            EXPECT_NE(engine.frame_pix_fmt, AV_PIX_FMT_NONE);
            // Square pixels: the display aspect ratio is the picture's own.
            EXPECT_NEAR(engine.frame_aspect_ratio, static_cast<float>(clip.width) / clip.height, 0.01);
        } else {
            EXPECT_EQ(engine.frame_width, 0);
            EXPECT_EQ(engine.frame_rate.den, 0);
        }
        if (clip.HasAudio()) {
            EXPECT_EQ(engine.audio_channels, clip.channels);
            EXPECT_EQ(engine.audio_sample_rate, clip.sampleRate);
            EXPECT_NE(engine.audio_sample_fmt, AV_SAMPLE_FMT_NONE);
        } else {
            EXPECT_EQ(engine.audio_sample_fmt, AV_SAMPLE_FMT_NONE);
        }
    }
}

TEST_F(InputFileTest, TheSecondInputOverwritesWhatTheFirstLeft) {
    OpenClip("mono_22050.avi");
    EXPECT_EQ(engine.audio_channels, 1);
    OpenClip("surround_48000.mov");
    EXPECT_EQ(engine.input_count, 2);
    EXPECT_EQ(engine.audio_channels, 6);
    EXPECT_EQ(engine.audio_sample_rate, 48000);
    ASSERT_TRUE(engine.input_contexts[1]);
}

TEST_F(InputFileTest, AnUnknownDurationTakesTheInputsAndALongerOneStays) {
    OpenClip("avi_mpeg4_mp3.avi");
    EXPECT_NEAR(static_cast<double>(engine.total_duration_ms), 2000.0, 100.0);

    engine.Initialize();
    engine.SetRecordingTimeMs(600000);
    OpenClip("avi_mpeg4_mp3.avi");
    EXPECT_EQ(engine.total_duration_ms, 600000);
}

TEST_F(InputFileTest, StartTimeSeeksAndShiftsTheInputOffset) {
    engine.SetStartTime(1200000);
    engine.input_ts_offset = 300000;
    OpenClip("avi_mpeg4_mp3.avi");
    EXPECT_EQ(engine.start_time, 0);
    const AVFormatContext* input = engine.input_contexts[0].get();
    const int64_t fileStart = input->start_time == AV_NOPTS_VALUE ? 0 : input->start_time;
    EXPECT_EQ(engine.input_ts_offsets[0], 300000 - (1200000 + fileStart));

    // Reading goes on from the key frame at or before the position, not from the start.
    AVPacket* packet = ff::av_packet_alloc();
    const int video = FindTestClip("avi_mpeg4_mp3.avi").FirstOf(TestStreamKind::Video);
    int64_t firstVideoUs = AV_NOPTS_VALUE;
    while (firstVideoUs == AV_NOPTS_VALUE && ff::av_read_frame(engine.input_contexts[0].get(), packet) >= 0) {
        if (packet->stream_index == video && packet->pts != AV_NOPTS_VALUE)
            firstVideoUs = ff::av_rescale_q(packet->pts, input->streams[video]->time_base, AV_TIME_BASE_Q);
        ff::av_packet_unref(packet);
    }
    ff::av_packet_free(&packet);
    EXPECT_GT(firstVideoUs, 0);
    EXPECT_LE(firstVideoUs, 1200000);
}

TEST_F(InputFileTest, WithCopiedTimestampsTheOffsetIsTheOptionsAlone) {
    engine.SetStartTime(500000);
    engine.input_ts_offset = 250000;
    engine.copy_ts = 1;
    OpenClip("mpeg_ps_mpeg2_mp2.mpg");
    EXPECT_EQ(engine.input_ts_offsets[0], 250000);
}

TEST_F(InputFileTest, WithoutStartTimeTheOffsetRemovesTheFilesOwnStart) {
    OpenClip("mpeg_ps_mpeg2_mp2.mpg");
    const int64_t fileStart = engine.input_contexts[0]->start_time;
    ASSERT_NE(fileStart, AV_NOPTS_VALUE);
    EXPECT_EQ(engine.input_ts_offsets[0], -fileStart);
}

TEST_F(InputFileTest, DisabledKindsAreDiscardedAndTheOthersKeepTheDiscardMode) {
    engine.video_disable = 1;
    engine.audio_disable = 1;
    engine.subtitle_disable = 1;
    OpenClip("subtitle_track.mkv");
    for (unsigned i = 0; i < engine.input_contexts[0]->nb_streams; ++i)
        EXPECT_EQ(engine.input_contexts[0]->streams[i]->discard, AVDISCARD_ALL) << i;

    engine.Initialize();
    engine.video_discard = AVDISCARD_NONKEY;
    OpenClip("avi_mpeg4_mp3.avi");
    const AVFormatContext* input = engine.input_contexts[0].get();
    EXPECT_EQ(input->streams[0]->discard, AVDISCARD_NONKEY);
    EXPECT_EQ(input->streams[1]->discard, AVDISCARD_DEFAULT);
}

// Copies the clip's packets into an MPEG transport stream, whose muxer puts
// every stream into one program, number 1.
void RemuxToTransportStream(const std::string& source, const std::string& target) {
    AVFormatContext* input = nullptr;
    ASSERT_GE(ff::avformat_open_input(&input, source.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(ff::avformat_find_stream_info(input, nullptr), 0);
    AVFormatContext* output = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&output, nullptr, "mpegts", target.c_str()), 0);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* stream = ff::avformat_new_stream(output, nullptr);
        ff::avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar);
        stream->codecpar->codec_tag = 0;
    }
    ASSERT_GE(ff::avio_open(&output->pb, target.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(ff::avformat_write_header(output, nullptr), 0);
    AVPacket* packet = ff::av_packet_alloc();
    while (ff::av_read_frame(input, packet) >= 0) {
        const int index = packet->stream_index;
        ff::av_packet_rescale_ts(packet, input->streams[index]->time_base, output->streams[index]->time_base);
        ff::av_interleaved_write_frame(output, packet);
    }
    ff::av_packet_free(&packet);
    ff::av_write_trailer(output);
    ff::avio_closep(&output->pb);
    ff::avformat_free_context(output);
    ff::avformat_close_input(&input);
}

TEST_F(InputFileTest, OnlyTheChosenProgramIsRead) {
    const std::string name = ScratchFile("programs.ts");
    RemuxToTransportStream(TestMediaPath("mpeg_ps_mpeg2_mp2.mpg"), name);
    engine.SetProgramId(3);
    ASSERT_NO_THROW(engine.OpenInputFile(name));
    const AVFormatContext* input = engine.input_contexts[0].get();
    ASSERT_EQ(input->nb_programs, 1u);
    EXPECT_EQ(input->programs[0]->id, 1);
    EXPECT_EQ(input->programs[0]->discard, AVDISCARD_ALL);

    engine.Initialize();
    engine.SetProgramId(1);
    ASSERT_NO_THROW(engine.OpenInputFile(name));
    EXPECT_NE(engine.input_contexts[0]->programs[0]->discard, AVDISCARD_ALL);
}

TEST_F(InputFileTest, DecodingOptionsReachTheDecoderContexts) {
    ASSERT_TRUE(engine.SetGenericOption("skip_frame", "32"));
    ASSERT_TRUE(engine.SetGenericOption("request_sample_fmt", "s16"));
    OpenClip("avi_mpeg4_mp3.avi");
    EXPECT_EQ(engine.input_decoders[0][0]->skip_frame, AVDISCARD_NONKEY);
    EXPECT_EQ(engine.input_decoders[0][1]->request_sample_fmt, AV_SAMPLE_FMT_S16);
    EXPECT_EQ(engine.input_decoders[0][0]->codec_id, AV_CODEC_ID_MPEG4);
}

TEST_F(InputFileTest, ANamedDecoderReplacesTheOneTheFileAsksFor) {
    engine.video_codec_name.reset(ff::av_strdup("h264"));
    OpenClip("avi_mpeg4_mp3.avi");
    EXPECT_EQ(engine.input_contexts[0]->streams[0]->codecpar->codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(engine.input_decoders[0][0]->codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(engine.input_decoders[0][1]->codec_id, AV_CODEC_ID_MP3);
}

TEST_F(InputFileTest, RealMediaNamesGetPlanarYuvWhenTheDecoderCannotTell) {
    // A decoder that cannot read the pictures leaves their format unknown.
    for (const char* name : {"clip.RM", "clip.rmv", "clip.rmvb", "clip.mp4"}) {
        SCOPED_TRACE(name);
        const std::string copy = ScratchFile(name);
        std::filesystem::copy_file(TestMediaPath("rm_rv10_ac3.rm"), copy);
        engine.Initialize();
        engine.video_codec_name.reset(ff::av_strdup("rawvideo"));
        ASSERT_NO_THROW(engine.OpenInputFile(copy));
        const bool realMedia = std::string(name) != "clip.mp4";
        EXPECT_EQ(engine.frame_pix_fmt, realMedia ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_NONE);
        EXPECT_EQ(engine.input_decoders[0][0]->pix_fmt, engine.frame_pix_fmt);
    }
}

TEST_F(InputFileTest, ARateThatDiffersFromTheContainersIsReported) {
    const std::string prefix = "Seems stream 0 codec frame rate differs from container frame rate: ";
    auto reported = [&] {
        return std::any_of(logged.begin(), logged.end(), [&](const std::string& line) {
            return line.starts_with(prefix) && line.ends_with(" -> 24.00 (24/1)");
        });
    };
    // QuickTime averages 48 frames over 47 frame durations; that is no
    // difference worth a warning.
    OpenClip("mov_mpeg4_aac.mov");
    OpenClip("avi_mpeg4_mp3.avi");
    OpenClip("subtitle_track.mkv");  // no average rate: nothing to compare
    EXPECT_FALSE(reported());
    EXPECT_EQ(av_cmp_q(engine.frame_rate, av_make_q(24, 1)), 0);

    // A second away in the middle, 48 frames average 16 per second.
    const std::string jumping = ScratchFile("jump.mov");
    WriteCopyWithJump(TestMediaPath("mov_mpeg4_aac.mov"), jumping, 1000000, 1000000);
    engine.Initialize();
    engine.verbose = 0;
    ASSERT_NO_THROW(engine.OpenInputFile(jumping));
    EXPECT_FALSE(reported());
    engine.Initialize();
    ASSERT_NO_THROW(engine.OpenInputFile(jumping));
    EXPECT_TRUE(reported());
}

TEST_F(InputFileTest, AMissingFileIsReportedByName) {
    const std::string name = ScratchFile("missing.avi");
    EXPECT_ENGINE_ERROR(engine.OpenInputFile(name), name + ": no such file or directory");
    EXPECT_EQ(engine.input_count, 0);
}

TEST_F(InputFileTest, AFileNoDemuxerKnowsIsAnUnknownFormat) {
    const std::string name = ScratchFile("noise.avi");
    std::string noise(4096, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + 13) % 251);
    WriteFile(name, noise);
    EXPECT_ENGINE_ERROR(engine.OpenInputFile(name), name + ": Unknown format");
}

TEST_F(InputFileTest, AForcedFormatThatDoesNotFitFailsAndIsNotKept) {
    engine.forced_input_format = ff::av_find_input_format("mpegts");
    ASSERT_NE(engine.forced_input_format, nullptr);
    const std::string name = TestMediaPath("avi_mpeg4_mp3.avi");
    try {
        engine.OpenInputFile(name);
        ADD_FAILURE() << "the file was opened";
    } catch (const FFMpegException& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with(name + ": ")) << error.what();
    }
    EXPECT_EQ(engine.forced_input_format, nullptr);
    EXPECT_EQ(engine.input_count, 0);
}

TEST_F(InputFileTest, DecoderNamesMustExistAndFitTheirKind) {
    engine.video_codec_name.reset(ff::av_strdup("no_such_decoder"));
    engine.video_channel = 3;
    EXPECT_ENGINE_ERROR(engine.OpenInputFile(TestMediaPath("avi_mpeg4_mp3.avi")), "Unknown decoder 'no_such_decoder'");
    // Every pending input option is spent even though the open failed.
    EXPECT_FALSE(engine.video_codec_name);
    EXPECT_EQ(engine.video_channel, 0);

    engine.audio_codec_name.reset(ff::av_strdup("mpeg4"));
    EXPECT_ENGINE_ERROR(engine.OpenInputFile(TestMediaPath("avi_mpeg4_mp3.avi")), "Invalid decoder type 'mpeg4'");
    EXPECT_FALSE(engine.audio_codec_name);
    EXPECT_EQ(engine.input_count, 0);
}

TEST_F(InputFileTest, ASuccessfulOpenSpendsThePendingInputOptions) {
    engine.audio_codec_name.reset(ff::av_strdup("mp3float"));
    engine.rate_emulation = 1;
    engine.forced_output_format = ff::av_guess_format("mp4", nullptr, nullptr);
    OpenClip("avi_mpeg4_mp3.avi");
    EXPECT_FALSE(engine.audio_codec_name);
    EXPECT_EQ(engine.rate_emulation, 0);
    EXPECT_EQ(engine.forced_output_format, nullptr);
    EXPECT_EQ(engine.input_rate_emulation[0], 1);
    EXPECT_EQ(engine.input_contexts[0]->audio_codec_id, AV_CODEC_ID_MP3);
}

}  // namespace
