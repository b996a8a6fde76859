// What each device's files look like for their size: converts generated
// clips of four kinds (cartoon-like flat colours with sharp edges, grainy
// camera-like pictures, an SD and an HD source) for every device at 320x240
// and 512 kbit/s, once with the encoder's plain settings and once with the
// device's chosen quality settings, and prints for each the video bit rate,
// the PSNR and SSIM of the luma against the source scaled the same way
// (bicubic, stretched to the frame), and the whole conversion's wall time.
// The plain H.264 settings are x264's default preset (medium) at Baseline and
// the row's level: the yardstick for other converters' x264 Baseline output.
// The clips are written once into the folder (default: the system's
// temporary folder) and reused.
//
// Usage: quality_benchmark [FOLDER]
//        quality_benchmark --convert-only CLIP DEVICE plain|chosen OUTPUT
//            one conversion alone, for an outside timer

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "EngineConversion.h"
#include "JobBuilder.h"
#include "LumaTrack.h"
#include "TestMedia.h"
#include "VideoRate.h"

namespace {

constexpr int64_t kClipUs = 10000000;
constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;
constexpr int32_t kVideoKbps = 512;
constexpr TestStreamKind kVideoOnly[] = {TestStreamKind::Video};

struct Kind {
    const char* name;
    TestClip clip;
};

TestClip SourceClip(const char* fileName, int width, int height, int grain) {
    return {.fileName = fileName, .muxer = "avi", .videoEncoder = "mpeg4", .width = width, .height = height,
            .frameRateNum = 30, .videoBitRate = 20000000, .durationUs = kClipUs, .markTimesUs = {},
            .streams = kVideoOnly, .grain = grain};
}

const Kind kKinds[] = {
    {"cartoon", SourceClip("quality_cartoon.avi", 640, 480, 0)},
    {"grainy", SourceClip("quality_grainy.avi", 640, 480, 24)},
    {"SD", SourceClip("quality_sd.avi", 720, 480, 6)},
    {"HD", SourceClip("quality_hd.avi", 1280, 720, 6)},
};

// The job for the device; the plain variant leaves out the quality options.
TOutputOptions JobFor(size_t device, bool chosen, const std::string& output) {
    TConversionSettings settings;
    settings.Device = device;
    settings.VideoBitrateKbps = kVideoKbps;
    settings.FrameSize = std::to_string(kFrameWidth) + "x" + std::to_string(kFrameHeight);
    settings.FrameRate = "30";
    settings.KeepShape = false;
    TOutputOptions options = BuildOutputOptions(settings, output);
    options.DisableAudio = true;
    const std::string quality = DeviceAt(device).VideoQualityOptions;
    if (!chosen && !quality.empty()) {
        const size_t at = options.ExtraOptions.find(quality);
        if (at != std::string::npos) options.ExtraOptions.erase(at, quality.size());
    }
    return options;
}

double Convert(const std::string& input, const TOutputOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    ConvertWithEngine(input, options);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Measure(const Kind& kind, const std::string& source, const std::filesystem::path& folder) {
    const LumaTrack original = DecodeLuma(source, kFrameWidth, kFrameHeight);
    for (size_t device = 0; device < Devices().size(); ++device) {
        for (const bool chosen : {false, true}) {
            const std::string output = (folder / (std::string("quality_out") + DeviceAt(device).Extension)).string();
            const double seconds = Convert(source, JobFor(device, chosen, output));
            const VideoRate rate = MeasureVideoRate(output);
            const LumaTrack converted = DecodeLuma(output);
            std::printf("| %-7s | %-9s | %-6s | %6.1f | %6.2f | %6.4f | %6.2f |\n", kind.name,
                        DeviceAt(device).ShortName, chosen ? "chosen" : "plain", rate.averageBitRate / 1000,
                        LumaPsnr(original, converted), LumaSsim(original, converted), seconds);
            std::fflush(stdout);
            std::filesystem::remove(output);
        }
    }
}

int ConvertOnly(char** argv) {
    const std::optional<size_t> device = FindDevice(argv[3]);
    if (!device) throw std::runtime_error(std::string("no device named ") + argv[3]);
    ConvertWithEngine(argv[2], JobFor(*device, std::strcmp(argv[4], "chosen") == 0, argv[5]));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        BindTestLibraries();
        if (argc == 6 && std::strcmp(argv[1], "--convert-only") == 0) return ConvertOnly(argv);
        const std::filesystem::path folder =
            argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "tovrela-quality";
        std::filesystem::create_directories(folder);
        std::printf("| clip    | device    | video  | kbit/s | PSNR   | SSIM   | s      |\n"
                    "|---------|-----------|--------|--------|--------|--------|--------|\n");
        for (const Kind& kind : kKinds) Measure(kind, PrepareClip(kind.clip, folder), folder);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quality_benchmark: %s\n", error.what());
        return 1;
    }
}
