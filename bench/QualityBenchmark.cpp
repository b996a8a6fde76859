// What each device's files look like for their size: converts generated
// clips of four kinds (cartoon-like flat colours with sharp edges, grainy
// camera-like pictures, an SD and an HD source) for every device at 320x240
// and 512 kbit/s (sound, where the clip has it, with the device's default
// settings), with the earlier encoder settings (the row's own without its
// quality settings, a key frame every 30 pictures) and with the row's
// chosen ones, and prints
// for each the video bit rate, the PSNR and SSIM of the luma against the
// source scaled the same way (bicubic, stretched to the frame), and the whole
// conversion's wall time. For the H.264 rows at level 1.3 a third line is the
// yardstick for other converters' x264 output: x264's default preset
// restricted to Baseline and the level (the level's own rate-control buffer,
// x264's own key-frame interval). The clips are written once into the folder
// (default: the system's temporary folder) and reused.
//
// Usage: quality_benchmark [FOLDER]
//        quality_benchmark --try FOLDER KIND DEVICE SETTINGS...
//            one line for each SETTINGS on one kind of clip (cartoon, grainy,
//            SD, HD), for choosing a row's quality settings
//        quality_benchmark --convert-only FOLDER KIND DEVICE SETTINGS OUTPUT
//            one conversion alone, for an outside timer
// SETTINGS is "before", "chosen", "yardstick", or the encoder's options in
// place of the row's quality settings as name=value pairs joined by ';'
// ("flags=+mv4;trellis=1").

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "EngineConversion.h"
#include "IpodLimits.h"
#include "JobBuilder.h"
#include "LumaTrack.h"
#include "TestMedia.h"
#include "VideoRate.h"

namespace {

constexpr int64_t kClipUs = 10000000;
constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;
constexpr int32_t kVideoKbps = 512;
// What every row but Rockbox's had before its quality settings were chosen.
constexpr int32_t kEarlierKeyFrameInterval = 30;
constexpr TestStreamKind kVideoOnly[] = {TestStreamKind::Video};
constexpr TestStreamKind kVideoAudio[] = {TestStreamKind::Video, TestStreamKind::Audio};

struct Kind {
    const char* name;
    TestClip clip;
};

// Pictures at 30 frames a second, so that each converted picture stands for
// one source picture; the SD and HD sources come as people have them (a
// DVD's MPEG-2 with AC-3, a camera's H.264 with AAC), with sound to convert.
TestClip PictureClip(const char* fileName, int width, int height, int grain) {
    return {.fileName = fileName, .muxer = "avi", .videoEncoder = "mpeg4", .width = width, .height = height,
            .frameRateNum = 30, .videoBitRate = 20000000, .durationUs = kClipUs, .markTimesUs = {},
            .streams = kVideoOnly, .grain = grain};
}

const Kind kKinds[] = {
    {"cartoon", PictureClip("quality_cartoon.avi", 640, 480, 0)},
    {"grainy", PictureClip("quality_grainy.avi", 640, 480, 24)},
    {"SD", {.fileName = "quality_sd.mpg", .muxer = "vob", .videoEncoder = "mpeg2video", .audioEncoder = "ac3",
            .width = 720, .height = 480, .frameRateNum = 30, .maxBFrames = 2, .videoBitRate = 6000000,
            .sampleRate = 48000, .audioBitRate = 192000, .durationUs = kClipUs, .markTimesUs = {},
            .streams = kVideoAudio, .noiseAmplitude = 0.05, .grain = 6}},
    {"HD", {.fileName = "quality_hd.mp4", .muxer = "mp4", .videoEncoder = "libx264", .audioEncoder = "aac",
            .width = 1280, .height = 720, .frameRateNum = 30, .videoBitRate = 6000000, .sampleRate = 48000,
            .durationUs = kClipUs, .markTimesUs = {}, .streams = kVideoAudio, .noiseAmplitude = 0.05, .grain = 6}},
};

const Kind& KindNamed(const std::string& name) {
    for (const Kind& kind : kKinds)
        if (name == kind.name) return kind;
    throw std::runtime_error("no kind of clip named " + name);
}

size_t DeviceNamed(const std::string& name) {
    const std::optional<size_t> device = FindDevice(name);
    if (!device) throw std::runtime_error("no device named " + name);
    return *device;
}

// "a=1;b=2" as the engine's option lines.
std::string OptionLines(std::string settings) {
    for (char& c : settings)
        if (c == ';') c = '\n';
    return settings.empty() ? settings : settings + "\n";
}

// The job for the device with the settings named. The row's quality
// settings follow its encoder options in the job's option text.
TOutputOptions JobFor(size_t device, const std::string& settingsName, const std::string& output) {
    TConversionSettings settings;
    settings.Device = device;
    settings.VideoBitrateKbps = kVideoKbps;
    settings.FrameSize = std::to_string(kFrameWidth) + "x" + std::to_string(kFrameHeight);
    settings.FrameRate = "30";
    settings.KeepShape = false;
    settings.Overwrite = true;
    TOutputOptions options = BuildOutputOptions(settings, output);
    if (settingsName == "chosen") return options;
    const TDevice& row = DeviceAt(device);
    const bool named = settingsName == "before" || settingsName == "yardstick";
    const std::string quality = named ? "" : OptionLines(settingsName);
    options.ExtraOptions.replace(std::strlen(row.VideoEncoderOptions), std::strlen(row.VideoQualityOptions), quality);
    if (settingsName == "before") options.GopSize = std::min(options.GopSize, kEarlierKeyFrameInterval);
    if (settingsName == "yardstick") {
        const TDeviceLevel level = PlanForDevice(settings).Level;
        options.VideoMaxRate = level.MaxBitRate;
        options.VideoBufferSize = level.MaxBufferSize;
        options.VideoBitrateTolerance = -1;
        options.GopSize = -1;
    }
    return options;
}

double Convert(const std::string& input, const TOutputOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    ConvertWithEngine(input, options);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintHeader() {
    std::printf("| clip    | device    | settings  | kbit/s | PSNR   | SSIM   | s      |\n"
                "|---------|-----------|-----------|--------|--------|--------|--------|\n");
}

void Measure(const Kind& kind, const LumaTrack& original, const std::string& source,
             const std::filesystem::path& folder, size_t device, const std::string& settingsName) {
    const std::string output = (folder / (std::string("quality_out") + DeviceAt(device).Extension)).string();
    const double seconds = Convert(source, JobFor(device, settingsName, output));
    const VideoRate rate = MeasureVideoRate(output);
    const LumaTrack converted = DecodeLuma(output);
    std::printf("| %-7s | %-9s | %-9s | %6.1f | %6.2f | %6.4f | %6.2f |\n", kind.name, DeviceAt(device).ShortName,
                settingsName.c_str(), rate.averageBitRate / 1000, LumaPsnr(original, converted),
                LumaSsim(original, converted), seconds);
    std::fflush(stdout);
    std::filesystem::remove(output);
}

bool AtLevelOnePointThree(size_t device) {
    TConversionSettings settings;
    settings.Device = device;
    settings.VideoBitrateKbps = kVideoKbps;
    settings.FrameSize = std::to_string(kFrameWidth) + "x" + std::to_string(kFrameHeight);
    return DeviceAt(device).VideoCodec == AV_CODEC_ID_H264 && PlanForDevice(settings).Level.Level == 13;
}

void MeasureEveryDevice(const Kind& kind, const std::filesystem::path& folder) {
    const std::string source = PrepareClip(kind.clip, folder);
    const LumaTrack original = DecodeLuma(source, kFrameWidth, kFrameHeight);
    for (size_t device = 0; device < Devices().size(); ++device) {
        Measure(kind, original, source, folder, device, "before");
        Measure(kind, original, source, folder, device, "chosen");
        if (AtLevelOnePointThree(device)) Measure(kind, original, source, folder, device, "yardstick");
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        BindTestLibraries();
        if (argc > 2 && argv[1][0] == '-') std::filesystem::create_directories(argv[2]);
        if (argc == 7 && std::strcmp(argv[1], "--convert-only") == 0) {
            const std::string source = PrepareClip(KindNamed(argv[3]).clip, argv[2]);
            ConvertWithEngine(source, JobFor(DeviceNamed(argv[4]), argv[5], argv[6]));
            return 0;
        }
        if (argc >= 6 && std::strcmp(argv[1], "--try") == 0) {
            const Kind& kind = KindNamed(argv[3]);
            const std::string source = PrepareClip(kind.clip, argv[2]);
            const LumaTrack original = DecodeLuma(source, kFrameWidth, kFrameHeight);
            PrintHeader();
            for (int i = 5; i < argc; ++i) Measure(kind, original, source, argv[2], DeviceNamed(argv[4]), argv[i]);
            return 0;
        }
        const std::filesystem::path folder =
            argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "tovrela-quality";
        std::filesystem::create_directories(folder);
        PrintHeader();
        for (const Kind& kind : kKinds) MeasureEveryDevice(kind, folder);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quality_benchmark: %s\n", error.what());
        return 1;
    }
}
