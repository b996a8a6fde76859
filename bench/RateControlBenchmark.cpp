// How closely converted video keeps to the chosen bit rate, and what that
// costs in picture quality. Converts generated 320x240 clips, easy (a moving
// pattern) and hard (the same under heavy grain), of 10 and 60 seconds, at
// every profile's video rate, once with the job the window builds and once
// with the bit rate alone (the encoder's own tolerance and key-frame interval,
// no rate-control buffer), and prints per conversion the average video bit rate against the
// target, the largest amount sent in any one second, and the PSNR of the
// luma against the source. The clips are written once into the folder
// (default: the system's temporary folder) and reused. With --devices it
// converts the 10-second clips for every device instead, with the job alone,
// and marks each average more than 10 % off the target (the rate the
// device's plan keeps, where it brings the profile's within its limits) and
// each one-second peak above the device's highest rate.
//
// Usage: rate_control_benchmark [--devices] [FOLDER]

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "EngineConversion.h"
#include "IpodLimits.h"
#include "JobBuilder.h"
#include "LumaTrack.h"
#include "OutputProfiles.h"
#include "TestMedia.h"
#include "VideoRate.h"

namespace {

constexpr int kGrain = 48;

struct Variant {
    const char* name;
    bool jobRateControl;  // the job's rate-control settings, or the bit rate alone
};
constexpr Variant kVariants[] = {{"bit rate alone", false}, {"job", true}};

void Measure(const std::string& source, const std::filesystem::path& folder, const char* content,
             int64_t durationUs) {
    const LumaTrack original = DecodeLuma(source);
    for (const TOutputProfile& profile : OutputProfiles()) {
        const int32_t kbps = profile.VideoBitrateKbps;
        for (const Variant& variant : kVariants) {
            TConversionSettings settings;
            settings.VideoBitrateKbps = kbps;
            settings.FrameSize = "320x240";
            settings.FrameRate = "30";
            const std::string output = (folder / "rate_control_out.mp4").string();
            TOutputOptions options = BuildOutputOptions(settings, output);
            if (!variant.jobRateControl) {
                options.VideoMaxRate = -1;
                options.VideoBufferSize = -1;
                options.VideoBitrateTolerance = -1;
                options.GopSize = -1;
            }
            ConvertWithEngine(source, options);
            const VideoRate rate = MeasureVideoRate(output);
            const LumaTrack converted = DecodeLuma(output);
            std::printf("%-5s %3llds %5d kbit/s  %-14s  average %7.1f kbit/s (%+6.1f %%)  peak %7.1f kbit/s  "
                        "PSNR %.2f dB\n",
                        content, static_cast<long long>(durationUs / 1000000), kbps, variant.name,
                        rate.averageBitRate / 1000, (rate.averageBitRate / (kbps * 1000.0) - 1) * 100,
                        rate.peakBitRate / 1000, LumaPsnr(original, converted));
            std::fflush(stdout);
            std::filesystem::remove(output);
        }
    }
}

void MeasureDevices(const std::string& source, const std::filesystem::path& folder, const char* content) {
    for (size_t device = 0; device < Devices().size(); ++device) {
        const TDevice& row = DeviceAt(device);
        for (const TOutputProfile& profile : OutputProfiles()) {
            TConversionSettings settings;
            settings.Device = device;
            settings.VideoBitrateKbps = profile.VideoBitrateKbps;
            settings.FrameSize = "320x240";
            settings.FrameRate = "30";
            const std::string output = (folder / (std::string("rate_control_out") + row.Extension)).string();
            ConvertWithEngine(source, BuildOutputOptions(settings, output));
            const VideoRate rate = MeasureVideoRate(output);
            const int32_t target = PlanForDevice(settings).Settings.VideoBitrateKbps;
            const double off = rate.averageBitRate / (target * 1000.0) - 1;
            const int32_t maxRate = row.HighestLevel().MaxBitRate;
            std::printf("%-5s 10s %-9s %5d kbit/s (kept as %4d)  average %7.1f kbit/s (%+6.1f %%)%s  peak %7.1f of "
                        "%5d kbit/s%s\n",
                        content, row.ShortName, settings.VideoBitrateKbps, target, rate.averageBitRate / 1000, off * 100,
                        std::abs(off) > 0.1 ? " OFF" : "    ", rate.peakBitRate / 1000, maxRate / 1000,
                        rate.peakBitRate > maxRate ? " OVER" : "");
            std::fflush(stdout);
            std::filesystem::remove(output);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const bool devices = argc > 1 && std::string(argv[1]) == "--devices";
        const int folderArgument = devices ? 2 : 1;
        const std::filesystem::path folder = argc > folderArgument ? std::filesystem::path(argv[folderArgument])
                                                                   : std::filesystem::temp_directory_path() / "tovrela-rate";
        std::filesystem::create_directories(folder);
        BindTestLibraries();
        struct Source {
            const char* content;
            const char* name;
            int64_t durationUs;
            int grain;
        };
        const Source sources[] = {{"easy", "rate_easy_10s.avi", 10000000, 0},
                                  {"hard", "rate_hard_10s.avi", 10000000, kGrain},
                                  {"easy", "rate_easy_60s.avi", 60000000, 0},
                                  {"hard", "rate_hard_60s.avi", 60000000, kGrain}};
        for (const Source& source : sources) {
            if (devices && source.durationUs != 10000000) continue;
            const std::string path = PrepareClip(IpodSizedClip(source.name, source.durationUs, source.grain), folder);
            if (devices)
                MeasureDevices(path, folder, source.content);
            else
                Measure(path, folder, source.content, source.durationUs);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rate_control_benchmark: %s\n", error.what());
        return 1;
    }
}
