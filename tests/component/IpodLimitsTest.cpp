// Each device's limits on what a file holds, and the settings a conversion
// for a device runs with.

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
    const char* device;
    std::function<void(TMediaFacts&)> change;
    std::vector<std::string> breaks;
    TModelVideoLimit model = {};
};

constexpr TModelVideoLimit kFifthGeneration = {AV_CODEC_ID_MPEG4, 480, 480, "the fifth-generation iPod"};

class IpodLimitsTest : public testing::TestWithParam<LimitCase> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

TEST_P(IpodLimitsTest, NamesEachLimitTheFileBreaks) {
    TMediaFacts facts = PlayableFacts();
    GetParam().change(facts);
    EXPECT_EQ(DeviceLimitBreaks(DeviceAt(*FindDevice(GetParam().device)), facts, GetParam().model),
              GetParam().breaks);
}

const LimitCase kCases[] = {
    {"within", "ipod", [](TMediaFacts&) {}, {}},
    {"h264_baseline_3", "ipod", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_H264;
                                             f.Video->Profile = FF_PROFILE_H264_CONSTRAINED_BASELINE;
                                             f.Video->Level = 30; f.Video->BitRate = 1500000; }, {}},
    // An iPod takes H.264 at level 1.3 only up to 320x240 and 768 kbit/s,
    // and the larger "low-complexity" level 3.0 only up to 1.5 Mbit/s.
    {"h264_level_1_3_large", "ipod-h264", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_H264;
                                             f.Video->Profile = FF_PROFILE_H264_BASELINE; f.Video->Level = 13;
                                             f.Video->BitRate = 768000; },
     {"too wide for iPod: 640 > 320", "too tall for iPod: 480 > 240"}},
    {"h264_fast_for_ipod", "ipod", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_H264;
                                             f.Video->Profile = FF_PROFILE_H264_BASELINE; f.Video->Level = 30; },
     {"video bit rate too high for iPod: 2500 > 1500 kbit/s"}},
    {"h264_on_iphone", "iphone", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_H264;
                                             f.Video->Profile = FF_PROFILE_H264_BASELINE; f.Video->Level = 30; }, {}},
    // A model that plays less of one codec than its row holds MPEG-4 files
    // to its own limit (the H.264 row plays MPEG-4 by the MPEG-4 row's).
    {"mpeg4_on_fifth_generation", "ipod-h264", [](TMediaFacts&) {},
     {"too wide for the fifth-generation iPod: 640 > 480"}, kFifthGeneration},
    {"mp4_for_rockbox", "rockbox", [](TMediaFacts&) {},
     {"file type .m4v not playable on Rockbox", "video codec mpeg4 not playable on Rockbox",
      "audio codec aac not playable on Rockbox"}},
    {"wide_and_fast", "ipod", [](TMediaFacts& f) { f.Video->Width = 720; f.Video->FrameRate = 60; },
     {"too wide for iPod: 720 > 640", "frame rate too high for iPod: 60 > 30"}},
    {"tall", "ipod", [](TMediaFacts& f) { f.Video->Height = 576; }, {"too tall for iPod: 576 > 480"}},
    {"video_rate", "ipod", [](TMediaFacts& f) { f.Video->BitRate = 4000000; },
     {"video bit rate too high for iPod: 4000 > 2500 kbit/s"}},
    {"mpeg4_asp", "ipod", [](TMediaFacts& f) { f.Video->Profile = FF_PROFILE_MPEG4_ADVANCED_SIMPLE; },
     {"not MPEG-4 Simple Profile, which iPod needs"}},
    {"h264_high_4", "ipod", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_H264; f.Video->Profile = FF_PROFILE_H264_HIGH;
                                         f.Video->Level = 40; f.Video->BitRate = 1500000; },
     {"not H.264 Baseline Profile, which iPod needs", "H.264 level too high for iPod: 4.0 > 3.0"}},
    {"other_video", "ipod", [](TMediaFacts& f) { f.Video->Codec = AV_CODEC_ID_WMV2; },
     {"video codec wmv2 not playable on iPod"}},
    {"audio", "ipod", [](TMediaFacts& f) { f.Audio->Codec = AV_CODEC_ID_MP3; f.Audio->BitRate = 192000;
                                   f.Audio->SampleRate = 96000; f.Audio->Channels = 6; },
     {"audio codec mp3 not playable on iPod", "audio bit rate too high for iPod: 192 > 160 kbit/s",
      "audio sample rate too high for iPod: 96000 > 48000 Hz", "too many audio channels for iPod: 6 > 2"}},
    {"he_aac", "ipod", [](TMediaFacts& f) { f.Audio->Profile = FF_PROFILE_AAC_HE; }, {"not AAC-LC audio, which iPod needs"}},
    {"avi", "ipod", [](TMediaFacts& f) { f.Container = "avi"; f.Extension = ".avi"; },
     {"file type .avi not playable on iPod"}},
    {"nothing", "ipod", [](TMediaFacts& f) { f.Video.reset(); f.Audio.reset(); }, {"no video or audio for iPod to play"}},
};

INSTANTIATE_TEST_SUITE_P(Facts, IpodLimitsTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<LimitCase>& info) { return info.param.name; });

TEST(DevicePlan, TheDefaultsRunAsTheyAreWhatADeviceCannotPlayIsFittedAndSaid) {
    BindComponentTestLibraries();
    TConversionSettings settings;
    TDevicePlan plan = PlanForDevice(settings);
    EXPECT_TRUE(plan.Changes.empty() && plan.Refusal.empty());
    EXPECT_EQ(plan.Level.Level, 4);  // MPEG-4 Simple Profile level 4a: 512 kbit/s is more than CIF's level 3

    settings.Device = *FindDevice("ipod-h264");
    settings.FrameSize = "720x306";
    settings.FrameRate = "60";
    settings.AudioBitrateKbps = 192;
    settings.VideoBitrateKbps = 1500;
    plan = PlanForDevice(settings);
    EXPECT_EQ(plan.Changes,
              (std::vector<std::string>{
                  "frame size 720x306 is larger than iPod plays: using 640x272",
                  "frame rate 60 is more than iPod plays: using 30",
                  "video bit rate 1500 kbps lowered to 1290 kbps, so that no second goes over the 1500 kbps iPod plays",
                  "audio bit rate 192 kbps is more than iPod plays: using 160 kbps"}));
    // Sound files alone are asked nothing of the picture.
    EXPECT_EQ(PlanForDevice(settings, false).Changes,
              (std::vector<std::string>{"audio bit rate 192 kbps is more than iPod plays: using 160 kbps"}));
    EXPECT_EQ(plan.Settings.FrameSize, "640x272");
    EXPECT_EQ(plan.Level.Level, 30);
    EXPECT_EQ(plan.Level.MaxReferences, 1);
    // The model's own limit holds for its codec only.
    settings.Model = kFifthGeneration;
    settings.FrameSize = "640x480";
    EXPECT_EQ(PlanForDevice(settings).Settings.FrameSize, "640x480");
    settings.Device = kDefaultDeviceIndex;
    EXPECT_EQ(PlanForDevice(settings).Changes.front(),
              "frame size 640x480 is larger than the fifth-generation iPod plays: using 480x360");

    settings = TConversionSettings();
    settings.Device = *FindDevice("rockbox");
    settings.AudioBitrateKbps = 90;
    settings.AudioSampleRate = 8000;
    settings.VideoBitrateKbps = 128;
    plan = PlanForDevice(settings);
    EXPECT_EQ(plan.Changes, (std::vector<std::string>{
                                "video bit rate 128 kbps raised to 184 kbps, the least Rockbox plays",
                                "audio bit rate 90 kbps is not one Rockbox plays: using 96 kbps",
                                "audio sample rate 8000 Hz is less than Rockbox plays: using 32000 Hz"}));

    settings = TConversionSettings();
    settings.VideoBitrateKbps = 3000;
    EXPECT_EQ(PlanForDevice(settings).Refusal,
              "The video bit rate of 3000 kbps is more than iPod (any model with video) plays: at most 2500 kbps.");
    settings.Device = Devices().size();  // a row the table lacks is the default one
    EXPECT_EQ(PlanForDevice(settings).Settings.Device, kDefaultDeviceIndex);
}

}  // namespace

// "Auto" keeps a rate the device plays and drops pictures evenly from one it
// does not; a rate nobody knows is left to the engine.
TEST(DevicePlan, AutoFrameRateKeepsWhatTheDevicePlaysAndHalvesWhatItDoesNot) {
    const TDevice& ipod = DeviceAt(kDefaultDeviceIndex);
    EXPECT_EQ(AutoFrameRateFor(ipod, {25, 1}), "");
    EXPECT_EQ(AutoFrameRateFor(ipod, {30000, 1001}), "");
    EXPECT_EQ(AutoFrameRateFor(ipod, {0, 1}), "");
    EXPECT_EQ(AutoFrameRateFor(ipod, {50, 1}), "50/2");
    EXPECT_EQ(AutoFrameRateFor(ipod, {60000, 1001}), "60000/2002");
    EXPECT_EQ(AutoFrameRateFor(ipod, {120, 1}), "120/4");
}
