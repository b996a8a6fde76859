// The video of a converted file keeps to the bit rate of its profile (or to
// the rate the device's plan brings it to), on content that is hard to
// encode and on flat content that leaves the encoder little to spend bits
// on, and no second goes over the device's highest rate.

#include <gtest/gtest.h>

#include "ComponentTestSupport.h"
#include "EngineConversion.h"
#include "IpodLimits.h"
#include "JobBuilder.h"
#include "MediaWriter.h"
#include "TestMedia.h"
#include "VideoRate.h"

namespace {

constexpr int64_t kTenSecondsUs = 10000000;
constexpr int kHeavyGrain = 48;

struct RateCase {
    const char* device;
    int32_t kbps;
    int grain;
};
void PrintTo(const RateCase& rate, std::ostream* stream) {
    *stream << rate.device << " " << rate.kbps << " kbit/s, grain " << rate.grain;
}

class ProfileVideoRate : public testing::TestWithParam<RateCase> {};

TEST_P(ProfileVideoRate, AverageNearTheTargetAndPeakWithinTheDevicesLimit) {
    BindComponentTestLibraries();
    TConversionSettings settings;
    settings.Device = *FindDevice(GetParam().device);
    settings.VideoBitrateKbps = GetParam().kbps;
    const std::string input = (ScratchFolder() / "clip.avi").string();
    WriteTestClip(IpodSizedClip("clip.avi", kTenSecondsUs, GetParam().grain), input);
    const std::string output = (ScratchFolder() / (std::string("rate") + DeviceAt(settings.Device).Extension)).string();
    ConvertWithEngine(input, BuildOutputOptions(settings, output));

    const VideoRate rate = MeasureVideoRate(output);
    const double target = PlanForDevice(settings).Settings.VideoBitrateKbps * 1000.0;
    EXPECT_NEAR(rate.averageBitRate, target, target * 0.1);
    EXPECT_LE(rate.peakBitRate, DeviceAt(settings.Device).HighestLevel().MaxBitRate);
}

// x264 fell short on flat pictures with its macroblock tree, at the top of
// H.264 level 1.3 with a buffer of a few pictures, and at the device's
// highest rate with a buffer of a tenth of a second; MPEG-2 at its coarsest
// step sent more than the lowest profile's rate.
INSTANTIATE_TEST_SUITE_P(Profiles, ProfileVideoRate,
                         testing::Values(RateCase{"ipod", 128, kHeavyGrain}, RateCase{"ipod", 512, kHeavyGrain},
                                         RateCase{"ipod", 1500, kHeavyGrain}, RateCase{"iphone", 512, 0},
                                         RateCase{"ipod-h264", 768, 0}, RateCase{"ipod-h264", 1500, 0},
                                         RateCase{"rockbox", 128, kHeavyGrain}));

}  // namespace
