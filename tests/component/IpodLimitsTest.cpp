// The iPod's limits on what a file holds and on what settings will write.

#include <gtest/gtest.h>

#include <functional>

#include "ComponentTestSupport.h"
#include "IpodLimits.h"

namespace {

TMediaFacts PlayableFacts() {
    TMediaFacts facts;
    facts.Container = "mov,mp4,m4a,3gp,3g2,mj2";
    facts.Extension = ".m4v";
    facts.Video = TVideoFacts{AV_CODEC_ID_MPEG4, FF_PROFILE_MPEG4_SIMPLE, 3, 640, 480, 30000.0 / 1001, 2500000};
    facts.Audio = TAudioFacts{AV_CODEC_ID_AAC, FF_PROFILE_AAC_LOW, 48000, 2, 160000};
    return facts;
}

struct LimitCase {
    const char* name;
    std::function<void(TMediaFacts&)> change;
    std::vector<std::string> breaks;
};

class IpodLimitsTest : public testing::TestWithParam<LimitCase> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

TEST_P(IpodLimitsTest, NamesEachLimitTheFileBreaks) {
    TMediaFacts facts = PlayableFacts();
    GetParam().change(facts);
    EXPECT_EQ(IpodLimitBreaks(facts), GetParam().breaks);
}

const LimitCase kCases[] = {
    {"within", [](TMediaFacts&) {}, {}},
    {"h264_baseline_3", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_H264;
                                             f.Video->Profile = FF_PROFILE_H264_CONSTRAINED_BASELINE;
                                             f.Video->Level = 30; }, {}},
    {"wide_and_fast", [](TMediaFacts& f) { f.Video->Width = 720; f.Video->FrameRate = 60; },
     {"too wide for iPod: 720 > 640", "frame rate too high for iPod: 60 > 30"}},
    {"tall", [](TMediaFacts& f) { f.Video->Height = 576; }, {"too tall for iPod: 576 > 480"}},
    {"video_rate", [](TMediaFacts& f) { f.Video->BitRate = 4000000; },
     {"video bit rate too high for iPod: 4000 > 2500 kbit/s"}},
    {"mpeg4_asp", [](TMediaFacts& f) { f.Video->Profile = FF_PROFILE_MPEG4_ADVANCED_SIMPLE; },
     {"not MPEG-4 Simple Profile, which iPod needs"}},
    {"h264_high_4", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_H264; f.Video->Profile = FF_PROFILE_H264_HIGH;
                                         f.Video->Level = 40; },
     {"not H.264 Baseline Profile, which iPod needs", "H.264 level too high for iPod: 4.0 > 3.0"}},
    {"other_video", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_WMV2; },
     {"video codec wmv2 not playable on iPod"}},
    {"audio", [](TMediaFacts& f) { f.Audio->Codec = AV_CODEC_ID_MP3; f.Audio->BitRate = 192000;
                                   f.Audio->SampleRate = 96000; f.Audio->Channels = 6; },
     {"audio codec mp3 not playable on iPod", "audio bit rate too high for iPod: 192 > 160 kbit/s",
      "audio sample rate too high for iPod: 96000 > 48000 Hz", "too many audio channels for iPod: 6 > 2"}},
    {"he_aac", [](TMediaFacts& f) { f.Audio->Profile = FF_PROFILE_AAC_HE; }, {"not AAC-LC audio, which iPod needs"}},
    {"avi", [](TMediaFacts& f) { f.Container = "avi"; f.Extension = ".avi"; },
     {"file type .avi not playable on iPod"}},
    {"nothing", [](TMediaFacts& f) { f.Video.reset(); f.Audio.reset(); }, {"no video or audio for iPod to play"}},
};

INSTANTIATE_TEST_SUITE_P(Facts, IpodLimitsTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<LimitCase>& info) { return info.param.name; });

TEST(IpodLimitsOfSettings, TheWindowsWideSizesAndSixtyFramesBreakALimitTheDefaultsDoNot) {
    TConversionSettings settings;
    EXPECT_TRUE(IpodLimitBreaks(PlannedFacts(settings)).empty());
    settings.FrameRate = "Auto";
    EXPECT_TRUE(IpodLimitBreaks(PlannedFacts(settings)).empty());
    settings.FrameSize = "720x306";
    settings.FrameRate = "60";
    EXPECT_EQ(CompletedStatus(IpodLimitBreaks(PlannedFacts(settings))),
              "Completed (too wide for iPod: 720 > 640; frame rate too high for iPod: 60 > 30)");
}

}  // namespace
