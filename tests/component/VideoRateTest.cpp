// The video of a converted file keeps to the bit rate of its profile, on
// content that is hard to encode, and stays within the iPod's peak rate.

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

class ProfileVideoRate : public testing::TestWithParam<int32_t> {};

TEST_P(ProfileVideoRate, AverageNearTheTargetAndPeakWithinTheIpodsLimit) {
    BindComponentTestLibraries();
    TConversionSettings settings;
    settings.VideoBitrateKbps = GetParam();
    const std::string input = (ScratchFolder() / "grainy.avi").string();
    WriteTestClip(IpodSizedClip("grainy.avi", kTenSecondsUs, kHeavyGrain), input);
    const std::string output = (ScratchFolder() / "rate.mp4").string();
    ConvertWithEngine(input, BuildOutputOptions(settings, output));

    const VideoRate rate = MeasureVideoRate(output);
    const double target = settings.VideoBitrateKbps * 1000.0;
    EXPECT_NEAR(rate.averageBitRate, target, target * 0.1);
    EXPECT_LE(rate.peakBitRate, DeviceAt(kDefaultDeviceIndex).HighestLevel().MaxBitRate);
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileVideoRate, testing::Values(128, 512, 1500));

}  // namespace
