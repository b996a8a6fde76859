// Every generated clip, of every container kind, converted with the window's
// iPod settings: the MP4 decodes completely, with 320x240 MPEG-4 video at the
// requested rate and stereo 44.1 kHz AAC, keeps the clip's duration, comes
// near the bit rates asked for and keeps sound and picture together.

#include <gtest/gtest.h>

#include <cstdlib>

#include "ClipCases.h"
#include "ConvertedFile.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace {

constexpr int64_t kDurationToleranceUs = 300000;
constexpr int64_t kSyncToleranceUs = 40000;

// Half the clips at NTSC's rate, half at a whole 30.
std::string FrameRateFor(const std::string& clipName) {
    int index = 0;
    for (const TestClip& clip : TestClips()) {
        if (clipName == clip.fileName) break;
        ++index;
    }
    return index % 2 == 0 ? "30000/1001" : "30";
}

AVRational ParseRate(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return AVRational{std::atoi(text.c_str()), 1};
    return AVRational{std::atoi(text.substr(0, slash).c_str()), std::atoi(text.substr(slash + 1).c_str())};
}

int64_t Length(const StreamAnalysis& stream) { return stream.endTimeUs - stream.firstTimeUs; }

class IpodConversion : public testing::TestWithParam<std::string> {};

TEST_P(IpodConversion, GivesACompleteIpodFile) {
    const TestClip& clip = FindTestClip(GetParam());
    const std::string rateText = FrameRateFor(clip.fileName);
    const AVRational rate = ParseRate(rateText);
    const std::string input = TestMediaPath(clip.fileName);
    const std::string output = (ScratchFolder() / "ipod.mp4").string();

    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(input, IpodOptions(rateText), output));
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);

    const ConvertedFile file = ReadConvertedFile(output);
    ASSERT_TRUE(file.error.empty()) << file.error;
    ASSERT_TRUE(file.analysis.error.empty()) << file.analysis.error;
    const MediaAnalysis source = AnalyseMedia(input);

    const StreamAnalysis* video = file.analysis.First(AVMEDIA_TYPE_VIDEO);
    const StreamAnalysis* audio = file.analysis.First(AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(video != nullptr, clip.HasVideo());
    EXPECT_EQ(audio != nullptr, clip.HasAudio());
    int pictureAndSound = 0;
    for (const StreamAnalysis& stream : file.analysis.streams)
        if (stream.mediaType == AVMEDIA_TYPE_VIDEO || stream.mediaType == AVMEDIA_TYPE_AUDIO) ++pictureAndSound;
    EXPECT_EQ(pictureAndSound, clip.HasVideo() + clip.HasAudio());

    if (video) {
        SCOPED_TRACE("video");
        const ConvertedStream& stream = *file.First(AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(video->codecName, "mpeg4");
        EXPECT_EQ(video->width, 320);
        EXPECT_EQ(video->height, 240);
        EXPECT_EQ(video->decodeErrors, 0);
        EXPECT_EQ(av_cmp_q(stream.frameRate, rate), 0) << stream.frameRate.num << "/" << stream.frameRate.den;
        EXPECT_LE(std::llabs(Length(*video) - clip.durationUs), kDurationToleranceUs) << Length(*video);
        const double expectedFrames = static_cast<double>(Length(*video)) * av_q2d(rate) / 1000000;
        EXPECT_NEAR(static_cast<double>(video->frameCount), expectedFrames, 1.5);
        // Two seconds are too short for the rate control to settle on the
        // target; it starts generously.
        EXPECT_GT(file.BitRate(stream), 512000 * 0.5);
        EXPECT_LT(file.BitRate(stream), 512000 * 2.0);
    }
    if (audio) {
        SCOPED_TRACE("audio");
        const ConvertedStream& stream = *file.First(AVMEDIA_TYPE_AUDIO);
        EXPECT_EQ(audio->codecName, "aac");
        EXPECT_EQ(audio->sampleRate, 44100);
        EXPECT_EQ(audio->channels, 2);
        EXPECT_EQ(audio->decodeErrors, 0);
        EXPECT_LE(std::llabs(Length(*audio) - clip.durationUs), kDurationToleranceUs) << Length(*audio);
        // Mostly silence: the encoder needs far less than it may use, but
        // never much more.
        EXPECT_LE(file.BitRate(stream), 80000 * 1.25);
        EXPECT_GT(file.BitRate(stream), 0);
    }
    if (video && audio) {
        // The source's own offset (AVI, SWF and RealMedia cannot signal the
        // audio encoder's priming) is kept, not added to.
        const std::vector<int64_t> before =
            AudioVideoOffsetsUs(*source.First(AVMEDIA_TYPE_VIDEO), *source.First(AVMEDIA_TYPE_AUDIO));
        const std::vector<int64_t> after = AudioVideoOffsetsUs(*video, *audio);
        ASSERT_EQ(after.size(), clip.markTimesUs.size());
        ASSERT_EQ(before.size(), after.size());
        for (size_t i = 0; i < after.size(); ++i)
            EXPECT_LE(std::llabs(after[i] - before[i]), kSyncToleranceUs)
                << "mark " << i << ": " << before[i] << " us in the clip, " << after[i] << " us converted";
    }
}

std::vector<std::string> AllClips() {
    std::vector<std::string> names;
    for (const TestClip& clip : TestClips()) names.emplace_back(clip.fileName);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Clips, IpodConversion, testing::ValuesIn(AllClips()),
                         [](const testing::TestParamInfo<std::string>& info) { return TestNameOf(info.param); });

}  // namespace
