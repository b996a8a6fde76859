// The generated clips hold what the catalogue says, as the analysis reads it
// back: every frame in order, the white frames and beeps at the mark instants,
// the streams in their order with their sizes and rates.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "MediaAnalysis.h"
#include "ClipCases.h"
#include "TestMedia.h"
#include "TestPattern.h"

namespace {

constexpr int kVideo = 0;
constexpr int kAudio = 1;
constexpr int kSubtitle = 3;
// Beep onsets are found to within a fraction of a millisecond; lossy coding
// blurs them a little more.
constexpr int64_t kOnsetToleranceUs = 2000;

int MediaTypeOf(TestStreamKind kind) {
    switch (kind) {
        case TestStreamKind::Video:
            return kVideo;
        case TestStreamKind::Audio:
            return kAudio;
        case TestStreamKind::Subtitle:
            return kSubtitle;
    }
    return -1;
}

class ClipContentTest : public ::testing::TestWithParam<TestClip> {
protected:
    static void SetUpTestSuite() { BindTestLibraries(); }
};

void ExpectVideo(const TestClip& clip, const StreamAnalysis& video) {
    const int64_t frames = clip.durationUs * clip.frameRateNum / (int64_t{1000000} * clip.frameRateDen);
    EXPECT_EQ(video.codecName.empty(), false);
    EXPECT_EQ(video.width, clip.width);
    EXPECT_EQ(video.height, clip.height);
    EXPECT_EQ(video.decodeErrors, 0);
    EXPECT_EQ(video.frameCount, frames);
    // Containers with millisecond clocks round the frame times.
    EXPECT_NEAR(video.endTimeUs - video.firstTimeUs, clip.durationUs, 1000);
    ASSERT_EQ(video.frameNumbers.size(), static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        EXPECT_EQ(video.frameNumbers[static_cast<size_t>(n)], IsMarkFrame(clip, n) ? -1 : n) << "frame " << n;
    }
    ASSERT_EQ(video.markTimesUs.size(), clip.markTimesUs.size());
    for (size_t i = 0; i < clip.markTimesUs.size(); ++i)
        EXPECT_NEAR(video.markTimesUs[i] - video.firstTimeUs, clip.markTimesUs[i], 1000);
}

void ExpectAudio(const TestClip& clip, const StreamAnalysis& audio) {
    EXPECT_EQ(audio.sampleRate, clip.sampleRate);
    EXPECT_EQ(audio.channels, clip.channels);
    EXPECT_EQ(audio.decodeErrors, 0);
    EXPECT_GE(audio.endTimeUs - audio.firstTimeUs, clip.durationUs - clip.FrameDurationUs());
    ASSERT_EQ(audio.markTimesUs.size(), clip.markTimesUs.size());
    EXPECT_NEAR(audio.markTimesUs[1] - audio.markTimesUs[0], clip.markTimesUs[1] - clip.markTimesUs[0],
                kOnsetToleranceUs);
}

TEST_P(ClipContentTest, HoldsWhatTheCatalogueSays) {
    const TestClip& clip = GetParam();
    const MediaAnalysis analysis = AnalyseMedia(TestMediaPath(clip.fileName));
    ASSERT_EQ(analysis.error, "");
    ASSERT_EQ(analysis.streams.size(), clip.streams.size());
    for (size_t i = 0; i < clip.streams.size(); ++i) {
        const StreamAnalysis& stream = analysis.streams[i];
        SCOPED_TRACE("stream " + std::to_string(i) + " " + stream.codecName);
        ASSERT_EQ(stream.mediaType, MediaTypeOf(clip.streams[i]));
        EXPECT_EQ(stream.packetCount > 0, true);
        if (stream.mediaType == kVideo) ExpectVideo(clip, stream);
        if (stream.mediaType == kAudio) ExpectAudio(clip, stream);
    }

    const StreamAnalysis* video = analysis.First(kVideo);
    const StreamAnalysis* audio = analysis.First(kAudio);
    if (video && audio) {
        for (int64_t offset : AudioVideoOffsetsUs(*video, *audio))
            EXPECT_NEAR(offset, clip.audioLagUs, kOnsetToleranceUs);
    } else if (audio) {
        // The MP3 demuxer skips the encoder's priming: the first sample heard
        // is the clip's first.
        for (size_t i = 0; i < clip.markTimesUs.size(); ++i)
            EXPECT_NEAR(audio->markTimesUs[i] - audio->firstTimeUs, clip.markTimesUs[i], kOnsetToleranceUs);
    }
    if (const StreamAnalysis* subtitles = analysis.First(kSubtitle)) {
        ASSERT_NE(video, nullptr);
        ASSERT_EQ(subtitles->frameCount, static_cast<int64_t>(std::size(kTestCues)));
        ASSERT_EQ(subtitles->markTimesUs.size(), std::size(kTestCues));
        for (size_t i = 0; i < std::size(kTestCues); ++i)
            EXPECT_EQ(subtitles->markTimesUs[i] - video->firstTimeUs, kTestCues[i].startUs);
        EXPECT_EQ(subtitles->endTimeUs - video->firstTimeUs, std::end(kTestCues)[-1].endUs);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryClip, ClipContentTest, ::testing::ValuesIn(TestClips().begin(), TestClips().end()),
                         ClipCaseName);

TEST(MediaAnalysisTest, UnreadableFileIsReportedNotThrown) {
    BindTestLibraries();
    const MediaAnalysis analysis = AnalyseMedia(TestMediaPath("no such clip.avi"));
    EXPECT_NE(analysis.error.find("no such clip.avi"), std::string::npos);
    EXPECT_TRUE(analysis.streams.empty());
}

}  // namespace
