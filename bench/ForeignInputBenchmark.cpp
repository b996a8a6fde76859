// Whether every device's files come out right from the inputs people bring
// from other programs' muxers (AVI with MP3, a DVD's VOB, a phone's MP4
// recorded upright, DV, WMV, RealMedia): converts each generated clip for
// every device with the default settings and prints whether the file passes
// the device's limits (what `tovrela-cli check --device` says), the sound's
// offset from the picture at each mark in the source and in the file, and
// the conversion's wall time. The clips are written once into the folder
// (default: the system's temporary folder) and reused.
//
// Usage: foreign_input_benchmark [FOLDER]

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "EngineConversion.h"
#include "IpodLimits.h"
#include "JobBuilder.h"
#include "MediaAnalysis.h"
#include "TestMedia.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace {

// "12, 13" in milliseconds; "-" when the marks are not found in both streams.
std::string OffsetsText(const std::string& path) {
    const MediaAnalysis analysis = AnalyseMedia(path);
    const StreamAnalysis* video = analysis.First(AVMEDIA_TYPE_VIDEO);
    const StreamAnalysis* audio = analysis.First(AVMEDIA_TYPE_AUDIO);
    const std::vector<int64_t> offsets = video && audio ? AudioVideoOffsetsUs(*video, *audio) : std::vector<int64_t>();
    std::string text;
    for (const int64_t offset : offsets) text += (text.empty() ? "" : ", ") + std::to_string(offset / 1000);
    return text.empty() ? "-" : text;
}

std::string CheckText(const TDevice& device, const std::string& path) {
    TMediaFacts facts;
    std::string error;
    if (!ReadMediaFacts(path, facts, error)) return error;
    const std::vector<std::string> breaks = DeviceLimitBreaks(device, facts);
    std::string text = breaks.empty() ? "plays" : "";
    for (const std::string& reason : breaks) text += (text.empty() ? "" : "; ") + reason;
    return text;
}

void Measure(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string source = PrepareClip(clip, folder);
    const std::string before = OffsetsText(source);
    for (size_t index = 0; index < Devices().size(); ++index) {
        const TDevice& device = DeviceAt(index);
        TConversionSettings settings;
        settings.Device = index;
        const std::string output = (folder / (std::string("foreign_out") + device.Extension)).string();
        const auto start = std::chrono::steady_clock::now();
        ConvertWithEngine(source, BuildOutputOptions(settings, output));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("| %-26s | %-9s | %-5s | %-8s | %-8s | %5.2f |\n", clip.fileName, device.ShortName,
                    CheckText(device, output).c_str(), before.c_str(), OffsetsText(output).c_str(), seconds);
        std::fflush(stdout);
        std::filesystem::remove(output);
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        BindTestLibraries();
        const std::filesystem::path folder =
            argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "tovrela-foreign";
        std::filesystem::create_directories(folder);
        std::printf("| clip                       | device    | check | A-V source (ms) | A-V file (ms) | s |\n"
                    "|---|---|---|---|---|---|\n");
        for (const TestClip& clip : ForeignMuxerClips()) Measure(clip, folder);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "foreign_input_benchmark: %s\n", error.what());
        return 1;
    }
}
