// The audio path's corrections: silence in front of sound that starts late,
// samples discarded from sound that starts early, the cap on one silenced
// block, and what small drifts do with and without the resampler.

#include <gtest/gtest.h>

#include <cstdio>

#include "AudioSync.h"
#include "ConvertedFile.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

TEST(AudioDrift, SmallDriftsAreLeftAlone) {
    EXPECT_EQ(DecideAudioCorrection(50, true, 4410, 1, 44100, 44100, 2, 1152).kind, TAudioCorrection::None);
    EXPECT_EQ(DecideAudioCorrection(-50, true, 4410, 2, 44100, 44100, 2, 1152).kind, TAudioCorrection::None);
}

TEST(AudioDrift, AtTheStartSilenceFillsTheWholeGapWhenTheBlockFits) {
    const TAudioCorrection c = DecideAudioCorrection(22050, true, 4410, 1, 44100, 44100, 2, 1152);
    EXPECT_EQ(c.kind, TAudioCorrection::Silence);
    EXPECT_EQ(c.samples, 22050);
    EXPECT_TRUE(c.clears_start);
}

TEST(AudioDrift, SilenceIsCappedAndTheRestFollowsLater) {
    // 131072 bytes of 16-bit stereo are 32768 samples.
    const TAudioCorrection c = DecideAudioCorrection(40000, true, 4410, 1, 44100, 44100, 2, 1152);
    EXPECT_EQ(c.kind, TAudioCorrection::Silence);
    EXPECT_EQ(c.samples, 32768 - 1152);
    EXPECT_FALSE(c.clears_start);
}

TEST(AudioDrift, ABlockLargerThanTheCapNeverGetsANegativeSilence) {
    const TAudioCorrection c = DecideAudioCorrection(22050, true, 4410, 1, 44100, 44100, 2, 40000);
    EXPECT_EQ(c.kind, TAudioCorrection::Silence);
    EXPECT_GT(c.samples, 0);
    EXPECT_LE(c.samples, 32768);
    EXPECT_FALSE(c.clears_start);
}

TEST(AudioDrift, SoundAheadOfItsClockLosesItsFirstSamplesInInputUnits) {
    const TAudioCorrection c = DecideAudioCorrection(-4410, true, 4410, 1, 44100, 22050, 1, 1152);
    EXPECT_EQ(c.kind, TAudioCorrection::Discard);
    EXPECT_EQ(c.samples, 1152);  // 2205 input samples asked for, the block holds 1152
}

TEST(AudioDrift, AfterTheStartSmallDriftsAreCompensatedOnlyAboveAsyncOne) {
    EXPECT_EQ(DecideAudioCorrection(300, false, 4410, 1, 44100, 44100, 2, 1152).kind, TAudioCorrection::None);
    const TAudioCorrection c = DecideAudioCorrection(300, false, 4410, 100, 44100, 44100, 2, 1152);
    EXPECT_EQ(c.kind, TAudioCorrection::Compensate);
    EXPECT_EQ(c.samples, 100);
    EXPECT_EQ(DecideAudioCorrection(5000, false, 4410, 100, 44100, 44100, 2, 1152).kind,
              TAudioCorrection::Silence);
}

TEST(AudioGaps, OnlyLargeOrLastingLeadsOfTheClockAreFilled) {
    TAudioGapWatch watch;
    // A clock that wavers 0.2 s ahead and back never opens a hole.
    for (int block = 0; block < 400; ++block)
        EXPECT_EQ(AudioGapToFill(watch, block % 40 < 20 ? 8820 : 0, 44100, 1024), 0) << block;
    EXPECT_EQ(AudioGapToFill(watch, 44100, 44100, 1024), 44100);
    // A small lead that stays is filled with the least of it, once.
    int64_t filled = 0;
    for (int block = 0; block < 200; ++block) filled += AudioGapToFill(watch, 4410 + block % 3 * 100, 44100, 1024);
    EXPECT_EQ(filled, 4410);
}

// The whole clip moved by an input offset: its sound no longer starts at the
// output's origin.
TranscodeTask& Shifted(TranscodeTask& task, const std::string& offset, const std::string& output) {
    task.engine.SetVerbose(3);
    EXPECT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"),
                           {{"acodec", "libfaac"}, {"vcodec", "mpeg4"}, {"async", "1"}, {"r", "24"}}, output,
                           {{"itsoffset", offset}}));
    task.Run();
    return task;
}

TEST(AudioSyncInConversion, SoundStartingHalfASecondLateGetsSilenceInFront) {
    const std::string output = (ScratchFolder() / "late.mp4").string();
    TranscodeTask task;
    Shifted(task, "0.5", output);
    int silence = 0;
    for (const std::string& line : task.log) std::sscanf(line.c_str(), "adding %d audio samples of silence", &silence);
    EXPECT_NEAR(silence, 22050, 1200) << "half a second of silence, less the decoder's own start";
    const ConvertedFile file = ReadConvertedFile(output);
    const StreamAnalysis* audio = file.analysis.First(AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(audio, nullptr);
    EXPECT_NEAR(static_cast<double>(audio->endTimeUs - audio->firstTimeUs), 2500000, 150000);
    EXPECT_LE(audio->firstTimeUs, 30000);
}

TEST(AudioSyncInConversion, SoundStartingBeforeTheOriginLosesItsFirstSamples) {
    const std::string output = (ScratchFolder() / "early.mp4").string();
    TranscodeTask task;
    Shifted(task, "-0.5", output);
    EXPECT_TRUE(task.Logged("discarding ")) << "samples before the origin are discarded";
    const ConvertedFile file = ReadConvertedFile(output);
    const StreamAnalysis* audio = file.analysis.First(AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(audio, nullptr);
    EXPECT_NEAR(static_cast<double>(audio->endTimeUs - audio->firstTimeUs), 1500000, 150000);
}

// Twenty seconds are no gap to fill with copies of the first picture and with
// silence: the output starts with the clip.
TEST(AudioSyncInConversion, AClipStartingFarFromTheOriginIsNotPaddedOut) {
    const std::string output = (ScratchFolder() / "far.mp4").string();
    TranscodeTask task;
    Shifted(task, "20", output);
    EXPECT_LT(task.engine.frames_duplicated, 3);
    EXPECT_FALSE(task.Logged("adding "));
    EXPECT_TRUE(task.Logged("clock jump of 20.0"));
    const ConvertedFile file = ReadConvertedFile(output);
    for (int type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
        const StreamAnalysis* stream = file.analysis.First(type);
        ASSERT_NE(stream, nullptr);
        EXPECT_NEAR(static_cast<double>(stream->endTimeUs), 2000000, 150000) << "media type " << type;
    }
}

}  // namespace
