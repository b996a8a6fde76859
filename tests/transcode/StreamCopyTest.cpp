// Stream copy: every generated clip whose codecs the target container takes
// is rewritten packet for packet, and the result decodes completely.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "AVFormatHlpr.h"
#include "ClipCases.h"
#include "MediaAnalysis.h"
#include "MediaWriter.h"
#include "Remux.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

// Whether the container can carry every stream of the clip without re-encoding.
bool TargetTakes(const std::string& clipPath, const std::string& extension) {
    BindTestLibraries();
    const AVOutputFormat* format = ff::av_guess_format(nullptr, ("x" + extension).c_str(), nullptr);
    AVFormatContext* input = nullptr;
    if (!format || ff::avformat_open_input(&input, clipPath.c_str(), nullptr, nullptr) < 0) return false;
    bool takes = ff::avformat_find_stream_info(input, nullptr) >= 0;
    for (unsigned i = 0; takes && i < input->nb_streams; ++i) {
        const AVCodecID codec = input->streams[i]->codecpar->codec_id;
        takes = ff::avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) == 1;
        // Matroska's tag tables list RealVideo, but its muxer refuses it.
        if (codec == AV_CODEC_ID_RV10 && std::string(format->name) == "matroska") takes = false;
    }
    ff::avformat_close_input(&input);
    return takes;
}

using CopyCase = std::tuple<std::string, std::string>;  // clip, target extension

class StreamCopy : public testing::TestWithParam<CopyCase> {};

TEST_P(StreamCopy, KeepsEveryPacketAndTheDuration) {
    const auto& [clipName, extension] = GetParam();
    const std::string input = TestMediaPath(clipName);
    if (!TargetTakes(input, extension)) GTEST_SKIP() << extension << " cannot carry the codecs of " << clipName;
    const std::string output = (ScratchFolder() / ("copy" + extension)).string();

    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(input, {{"vcodec", "copy"}, {"acodec", "copy"}, {"scodec", "copy"}}, output));
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);

    const MediaAnalysis source = AnalyseMedia(input);
    const MediaAnalysis copy = AnalyseMedia(output);
    ASSERT_TRUE(copy.error.empty()) << copy.error;
    const TestClip& clip = FindTestClip(clipName);
    for (int type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
        const StreamAnalysis* in = source.First(type);
        const StreamAnalysis* out = copy.First(type);
        if (!in) {
            EXPECT_EQ(out, nullptr);
            continue;
        }
        ASSERT_NE(out, nullptr) << "media type " << type;
        EXPECT_EQ(out->decodeErrors, 0) << "media type " << type;
        EXPECT_EQ(out->packetCount, in->packetCount) << "media type " << type;
        // Audio decoders may drop their priming samples in one container and
        // not in another, so only pictures are counted after decoding.
        if (type == AVMEDIA_TYPE_VIDEO) {
            EXPECT_EQ(out->frameCount, in->frameCount);
        }
        const int64_t inLength = in->endTimeUs - in->firstTimeUs;
        const int64_t outLength = out->endTimeUs - out->firstTimeUs;
        // One frame, plus a millisecond for the containers' time bases; audio
        // frames hold up to 1536 samples (AC-3).
        const int64_t frame = type == AVMEDIA_TYPE_VIDEO ? clip.FrameDurationUs() : 1536 * 1000000LL / in->sampleRate;
        EXPECT_LE(std::llabs(outLength - inLength), frame + 1000) << "media type " << type;
    }
}

// AVI fills a late start with empty frames and gave up past 60000 of them.
TEST(StreamCopyIntoAvi, AVideoThatStartsAnHourLateIsMovedToTheStart) {
    BindTestLibraries();
    const std::string late = (ScratchFolder() / "late.mkv").string();
    WriteCopyWithJump(TestMediaPath("avi_mpeg4_mp3.avi"), late, 0, 3600000000LL, 0);
    const std::string output = (ScratchFolder() / "copy.avi").string();
    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(late, {{"vcodec", "copy"}, {"acodec", "copy"}}, output));
    task.Run();
    EXPECT_TRUE(task.Logged("Stream #0.0 starts 3600.0 s after the others"));
    const MediaAnalysis copy = AnalyseMedia(output);
    ASSERT_TRUE(copy.error.empty()) << copy.error;
    const StreamAnalysis* video = copy.First(AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->frameCount, 48);
    EXPECT_LT(video->firstTimeUs, 100000);
}

// Rounded onto the copy's frame clock, two packets of a byte clock could
// share a tick, which the AVI muxer refused midway.
TEST(StreamCopyIntoAvi, ByteClockedMp3KeepsEveryPacket) {
    BindTestLibraries();
    const std::string bytes = (ScratchFolder() / "bytes.avi").string();
    WriteByteClockedAudio(TestMediaPath("avi_mpeg4_mp3.avi"), bytes);
    const std::string output = (ScratchFolder() / "copy.avi").string();
    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(bytes, {{"acodec", "copy"}}, output));
    task.Run();
    const MediaAnalysis source = AnalyseMedia(bytes);
    const MediaAnalysis copy = AnalyseMedia(output);
    const StreamAnalysis* in = source.First(AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(copy.First(AVMEDIA_TYPE_AUDIO), nullptr);
    EXPECT_EQ(copy.First(AVMEDIA_TYPE_AUDIO)->packetCount, in->packetCount);
    EXPECT_EQ(copy.First(AVMEDIA_TYPE_AUDIO)->decodeErrors, 0);
}

std::vector<CopyCase> AllCases() {
    std::vector<CopyCase> cases;
    for (const TestClip& clip : TestClips())
        for (const char* extension : {".mkv", ".mp4"}) cases.emplace_back(clip.fileName, extension);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Clips, StreamCopy, testing::ValuesIn(AllCases()), [](const testing::TestParamInfo<CopyCase>& info) {
    return TestNameOf(std::get<0>(info.param) + std::get<1>(info.param));
});

// A program stream carries its sound well ahead of the pictures shown with
// it, so a copy cut where the sound reached the length ran on in pictures.
class StartAndLength : public testing::TestWithParam<const char*> {};

TEST_P(StartAndLength, EveryStreamEndsAtTheLength) {
    BindTestLibraries();
    TestClip clip = FindTestClip("mpeg_ps_mpeg2_mp2.mpg");
    clip.durationUs = 8000000;
    const std::string source = (ScratchFolder() / "long.mpg").string();
    WriteTestClip(clip, source);
    const std::string output = (ScratchFolder() / "cut.mpg").string();
    const bool copy = std::string(GetParam()) == "copy";
    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(source,
                           {{"vcodec", copy ? "copy" : "mpeg2video"},
                            {"acodec", copy ? "copy" : "mp2"},
                            {"ss", "4"},
                            {"t", "3"}},
                           output));
    task.Run();
    const MediaAnalysis cut = AnalyseMedia(output);
    ASSERT_TRUE(cut.error.empty()) << cut.error;
    const StreamAnalysis* video = cut.First(AVMEDIA_TYPE_VIDEO);
    const StreamAnalysis* audio = cut.First(AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    // Each stream is cut at its own frames: they end within one of each.
    const int64_t audioFrameUs = 1152 * 1000000LL / audio->sampleRate;
    EXPECT_LE(std::llabs(video->endTimeUs - audio->endTimeUs), clip.FrameDurationUs() + audioFrameUs);
    EXPECT_NEAR(static_cast<double>(video->endTimeUs - video->firstTimeUs), 3e6, 2.0 * clip.FrameDurationUs());
}

INSTANTIATE_TEST_SUITE_P(CopiedOrEncoded, StartAndLength, testing::Values("copy", "encoded"));

}  // namespace
