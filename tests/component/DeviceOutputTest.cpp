// A file made for each device, read back, is what that device plays: codec,
// profile, level, size, rate and peak, the marks an iPod looks for, and
// AAC-LC sound without noise substitution; also when the input comes from
// another program's muxer, with the sound kept in step.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "AacSections.h"
#include "ClipCases.h"
#include "ComponentTestSupport.h"
#include "EngineConversion.h"
#include "IpodLimits.h"
#include "JobBuilder.h"
#include "MediaAnalysis.h"
#include "MediaWriter.h"
#include "TestMedia.h"
#include "VideoRate.h"

namespace {

constexpr int64_t kTenSecondsUs = 10000000;
constexpr int64_t kSyncToleranceUs = 40000;
constexpr TestStreamKind kVideoAudio[] = {TestStreamKind::Video, TestStreamKind::Audio};
// The iPod's box after the H.264 stream's configuration: size, "uuid", its id.
constexpr char kIpodUuidBox[] = "\x00\x00\x00\x1cuuid\x6b\x68\x40\xf2\x5f\x24\x4f\xc5\xba\x39\xa5\x1b\xcf\x03\x23\xf3";

struct DeviceCase {
    const char* shortName;
    const char* frameSize;
    int32_t videoKbps;
    int expectedLevel;
};

// Grainy pictures and noisy sound: hard for the rate control, and the kind
// of sound an AAC encoder would replace with noise substitution.
std::string HardClip() {
    const std::string file = (ScratchFolder() / "hard.avi").string();
    WriteTestClip({.fileName = "hard.avi", .muxer = "avi", .videoEncoder = "mpeg4", .audioEncoder = "pcm_s16le",
                   .width = 640, .height = 480, .frameRateNum = 30, .videoBitRate = 12000000,
                   .durationUs = kTenSecondsUs, .streams = kVideoAudio, .noiseAmplitude = 0.3, .grain = 24},
                  file);
    return file;
}

// Whether the box right after the H.264 configuration is the iPod's.
bool IpodBoxFollowsConfiguration(const std::string& bytes) {
    const size_t name = bytes.find("avcC");
    if (name == std::string::npos || name < 4) return false;
    uint32_t size = 0;
    for (size_t i = name - 4; i < name; ++i) size = size << 8 | static_cast<unsigned char>(bytes[i]);
    return bytes.compare(name - 4 + size, sizeof kIpodUuidBox - 1, kIpodUuidBox, sizeof kIpodUuidBox - 1) == 0;
}

std::string BytesOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Converts the input for the settings' device into the scratch folder and
// reads the file back, expecting it within the device's limits; the file's
// path goes into `output`.
TMediaFacts ConvertForDevice(const std::string& input, const TConversionSettings& settings, std::string& output) {
    const TDevice& device = DeviceAt(settings.Device);
    output = (ScratchFolder() / (std::string("out") + device.Extension)).string();
    ConvertWithEngine(input, BuildOutputOptions(settings, output));
    TMediaFacts facts;
    std::string error;
    EXPECT_TRUE(ReadMediaFacts(output, facts, error)) << error;
    EXPECT_EQ(DeviceLimitBreaks(device, facts), std::vector<std::string>());
    return facts;
}

class DeviceOutput : public testing::TestWithParam<DeviceCase> {};

TEST_P(DeviceOutput, PlaysOnTheDeviceWhenReadBack) {
    BindComponentTestLibraries();
    const DeviceCase& param = GetParam();
    TConversionSettings settings;
    settings.Device = *FindDevice(param.shortName);
    settings.FrameSize = param.frameSize;
    settings.VideoBitrateKbps = param.videoKbps;
    const TDevice& device = DeviceAt(settings.Device);
    std::string output;
    const TMediaFacts facts = ConvertForDevice(HardClip(), settings, output);
    ASSERT_TRUE(facts.Video && facts.Audio);
    EXPECT_EQ(facts.Video->Codec, device.VideoCodec);
    if (device.VideoCodec == AV_CODEC_ID_H264) {
        EXPECT_EQ(facts.Video->Profile, FF_PROFILE_H264_CONSTRAINED_BASELINE);
    }
    EXPECT_EQ(facts.Video->Level, param.expectedLevel);
    EXPECT_EQ(std::to_string(facts.Video->Width) + "x" + std::to_string(facts.Video->Height), param.frameSize);
    const VideoRate rate = MeasureVideoRate(output);
    const double target = param.videoKbps * 1000.0;
    EXPECT_NEAR(rate.averageBitRate, target, target * 0.1);
    EXPECT_LE(rate.peakBitRate, device.HighestLevel().MaxBitRate) << "average " << rate.averageBitRate;

    const std::string bytes = BytesOf(output);
    if (std::string(device.Muxer) == "ipod") {
        EXPECT_EQ(bytes.substr(8, 4), "M4V ");
        EXPECT_EQ(IpodBoxFollowsConfiguration(bytes), device.MarksH264ForIpod);
    }
    EXPECT_EQ(facts.Audio->Codec, device.AudioCodec);
    if (device.AudioCodec == AV_CODEC_ID_AAC) {
        EXPECT_EQ(facts.Audio->Profile, FF_PROFILE_AAC_LOW);
        const AacSectionCount sections = CountAacNoiseSections(output);
        EXPECT_GT(sections.blocks, 400);
        EXPECT_EQ(sections.blocksWithNoise, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceOutput,
                         testing::Values(DeviceCase{"ipod", "640x480", 2500, 4},
                                         DeviceCase{"ipod-h264", "320x240", 512, 13},
                                         DeviceCase{"iphone", "320x240", 1500, 30},
                                         DeviceCase{"rockbox", "320x240", 512, 10}),
                         [](const testing::TestParamInfo<DeviceCase>& info) { return TestNameOf(info.param.shortName); });

struct ForeignCase {
    const char* shortName;
    const char* clipName;
};

class DeviceFromForeignInput : public testing::TestWithParam<ForeignCase> {};

TEST_P(DeviceFromForeignInput, PlaysWithTheSoundInStep) {
    BindComponentTestLibraries();
    const ForeignCase& param = GetParam();
    const TestClip* clip = nullptr;
    for (const TestClip& candidate : ForeignMuxerClips())
        if (std::string(candidate.fileName) == param.clipName) clip = &candidate;
    ASSERT_NE(clip, nullptr);
    const std::string input = (ScratchFolder() / clip->fileName).string();
    WriteTestClip(*clip, input);
    TConversionSettings settings;
    settings.Device = *FindDevice(param.shortName);
    std::string output;
    ConvertForDevice(input, settings, output);
    const MediaAnalysis source = AnalyseMedia(input);
    const MediaAnalysis converted = AnalyseMedia(output);
    ASSERT_TRUE(converted.First(AVMEDIA_TYPE_VIDEO) && converted.First(AVMEDIA_TYPE_AUDIO));
    const std::vector<int64_t> before =
        AudioVideoOffsetsUs(*source.First(AVMEDIA_TYPE_VIDEO), *source.First(AVMEDIA_TYPE_AUDIO));
    const std::vector<int64_t> after =
        AudioVideoOffsetsUs(*converted.First(AVMEDIA_TYPE_VIDEO), *converted.First(AVMEDIA_TYPE_AUDIO));
    ASSERT_EQ(after.size(), clip->markTimesUs.size());
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_LE(std::llabs(after[i] - before[i]), kSyncToleranceUs)
            << "mark " << i << ": " << before[i] << " us in the clip, " << after[i] << " us converted";
}

// One kind of foreign input per device, each kind once.
INSTANTIATE_TEST_SUITE_P(Devices, DeviceFromForeignInput,
                         testing::Values(ForeignCase{"ipod", "camcorder_pal.dv"},
                                         ForeignCase{"ipod-h264", "phone_h264_aac_turned.mp4"},
                                         ForeignCase{"iphone", "dvd_mpeg2_ac3.vob"},
                                         ForeignCase{"rockbox", "wmv_wmv2_wmav2.wmv"}),
                         [](const testing::TestParamInfo<ForeignCase>& info) {
                             return TestNameOf(info.param.shortName);
                         });

}  // namespace
