// Converts four generated 60-second clips (1920x1080 and 1280x720 H.264 with
// AAC in MP4, 640x480 MPEG-4 with MP3 in AVI, 720x576 MPEG-2 with MP2 in an
// MPEG program stream) and a 30-minute one like the AVI with the command
// line's default job and prints, for each, the conversion's wall time, CPU
// time and peak memory next to the wall time of decoding the same file alone
// with every core.
// Then converts a list of eight short SD clips with the command line, one
// file at a time single-threaded (the baseline), at 1, 2 and 4 jobs and at
// its default number of jobs. Every figure is
// measured in a child process of its own. The clips are written once into
// the folder (default: the system's temporary folder, created when missing)
// and reused.
//
// Usage: conversion_benchmark [FOLDER]
//        conversion_benchmark --write-clips FOLDER
//        conversion_benchmark --decode-only FILE
//        conversion_benchmark --convert-only FILE OUTPUT
// The last three write the long clips only, or do one piece of work alone,
// for timing it from outside.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildMeasurement.h"
#include "DecodeOnly.h"
#include "EngineConversion.h"
#include "JobBuilder.h"
#include "MediaWriter.h"
#include "TestMedia.h"

namespace {

constexpr int64_t kLongClipUs = 60000000;
constexpr int64_t kFilmClipUs = 30 * kLongClipUs;
constexpr int64_t kShortClipUs = 8000000;
constexpr int kListLength = 8;
constexpr int64_t kMarks[] = {500000, 4500000};
constexpr TestStreamKind kStreams[] = {TestStreamKind::Video, TestStreamKind::Audio};

TestClip H264Clip(const char* name, int width, int height, int64_t bitRate) {
    TestClip clip;
    clip.fileName = name;
    clip.muxer = "mp4";
    clip.videoEncoder = "libx264";
    clip.audioEncoder = "aac";
    clip.width = width;
    clip.height = height;
    clip.videoBitRate = bitRate;
    clip.durationUs = kLongClipUs;
    clip.markTimesUs = kMarks;
    clip.streams = kStreams;
    return clip;
}

TestClip XvidClip(const char* name, int64_t durationUs) {
    TestClip clip;
    clip.fileName = name;
    clip.muxer = "avi";
    clip.videoEncoder = "mpeg4";
    clip.videoTag = "XVID";
    clip.audioEncoder = "libmp3lame";
    clip.width = 640;
    clip.height = 480;
    clip.frameRateNum = 25;
    clip.videoBitRate = 1500000;
    clip.durationUs = durationUs;
    clip.markTimesUs = kMarks;
    clip.streams = kStreams;
    return clip;
}

// A PAL DVD's picture, as a recorder or a VCD/DVD rip gives it.
TestClip ProgramStreamClip(const char* name) {
    TestClip clip;
    clip.fileName = name;
    clip.muxer = "mpeg";
    clip.videoEncoder = "mpeg2video";
    clip.audioEncoder = "mp2";
    clip.width = 720;
    clip.height = 576;
    clip.frameRateNum = 25;
    clip.maxBFrames = 2;
    clip.videoBitRate = 5000000;
    clip.sampleRate = 48000;
    clip.audioBitRate = 192000;
    clip.durationUs = kLongClipUs;
    clip.markTimesUs = kMarks;
    clip.streams = kStreams;
    return clip;
}

// Written by a child process, so that no library state of the writing stays
// in the process that forks the measured children.
std::string Prepare(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string path = (folder / clip.fileName).string();
    if (std::filesystem::exists(path)) return path;
    std::printf("writing %s ...\n", path.c_str());
    try {
        MeasureInChild("writing " + path, [&] { WriteTestClip(clip, path); });
    } catch (...) {
        std::filesystem::remove(path);
        throw;
    }
    return path;
}

// The job `tovrela-cli convert` runs when given nothing but the file: the
// default device's row and profile, built by the routine both programs share.
void ConvertForIpod(const std::string& input, const std::string& output) {
    TConversionSettings settings;
    settings.Overwrite = true;
    ConvertWithEngine(input, BuildOutputOptions(settings, output));
}

void MeasureLongClip(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string input = Prepare(clip, folder);
    const std::string output = (folder / (std::string(clip.fileName) + ".ipod.mp4")).string();
    const ChildFigures decode = MeasureInChild("decoding " + input, [&] { DecodeWholeFile(input); });
    const ChildFigures convert = MeasureInChild("converting " + input, [&] { ConvertForIpod(input, output); });
    std::printf("%-28s convert %6.2f s wall %6.2f s cpu %6.1f MB peak | decode alone %6.2f s | ratio %.2f\n",
                clip.fileName, convert.wallSeconds, convert.cpuSeconds, convert.peakMb, decode.wallSeconds,
                convert.wallSeconds / decode.wallSeconds);
}

// One run of the command line over the list; `jobs` nullptr keeps its
// default. Its output goes to list.log in the folder.
ChildFigures ConvertList(const std::vector<std::string>& inputs, const std::filesystem::path& folder,
                         const char* jobs, const std::vector<std::string>& environment = {}) {
    std::vector<std::string> arguments{TOVRELA_CLI_PATH, "convert", "--overwrite", "--output-folder",
                                       (folder / "list").string()};
    if (jobs) arguments.insert(arguments.end(), {"--jobs", jobs});
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    return MeasureProgram(arguments, environment, (folder / "list.log").string());
}

void PrintListFigures(const char* label, const ChildFigures& figures, const ChildFigures& baseline) {
    std::printf("%d SD clips, %-24s %6.2f s wall %6.2f s cpu %6.1f MB peak | %.2fx the baseline's speed\n",
                kListLength, label, figures.wallSeconds, figures.cpuSeconds, figures.peakMb,
                baseline.wallSeconds / figures.wallSeconds);
}

// The list with the default number of jobs and with a few fixed ones,
// against the baseline: one file at a time, each decoded on one thread.
std::vector<std::string> PrepareList(const std::filesystem::path& folder) {
    std::vector<std::string> inputs;
    for (int n = 1; n <= kListLength; ++n) {
        const std::string name = "tovrela_benchmark_sd_" + std::to_string(n) + ".avi";
        inputs.push_back(Prepare(XvidClip(name.c_str(), kShortClipUs), folder));
    }
    return inputs;
}

void MeasureList(const std::filesystem::path& folder) {
    const std::vector<std::string> inputs = PrepareList(folder);
    std::filesystem::create_directories(folder / "list");
    const ChildFigures baseline = ConvertList(inputs, folder, "1", {"TOVRELA_DECODER_THREADS=1"});
    PrintListFigures("baseline (1 job, 1 thr)", baseline, baseline);
    for (const char* jobs : {"1", "2", "4"})
        PrintListFigures((std::string("--jobs ") + jobs).c_str(), ConvertList(inputs, folder, jobs), baseline);
    PrintListFigures("default --jobs", ConvertList(inputs, folder, nullptr), baseline);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    try {
        BindTestLibraries();
        // One figure alone, for timing it repeatedly from outside.
        if (words.size() == 2 && words[0] == "--decode-only") {
            DecodeWholeFile(words[1]);
            return 0;
        }
        if (words.size() == 3 && words[0] == "--convert-only") {
            ConvertForIpod(words[1], words[2]);
            return 0;
        }
        const bool writeOnly = words.size() == 2 && words[0] == "--write-clips";
        if (!writeOnly && (words.size() > 1 || (words.size() == 1 && words[0].starts_with("--")))) {
            std::fprintf(stderr,
                         "Usage: conversion_benchmark [FOLDER] | --write-clips FOLDER | --decode-only FILE | "
                         "--convert-only FILE OUTPUT\n");
            return 2;
        }
        const std::filesystem::path folder = writeOnly       ? std::filesystem::path(words[1])
                                             : words.empty() ? std::filesystem::temp_directory_path()
                                                             : std::filesystem::path(words[0]);
        std::filesystem::create_directories(folder);
        const TestClip longClips[] = {H264Clip("tovrela_benchmark_1080p.mp4", 1920, 1080, 8000000),
                                      H264Clip("tovrela_benchmark_720p.mp4", 1280, 720, 4000000),
                                      XvidClip("tovrela_benchmark_480p.avi", kLongClipUs),
                                      ProgramStreamClip("tovrela_benchmark_576p.mpg"),
                                      // The same SD clip thirty times as long: the conversion's
                                      // peak memory must not grow with the length.
                                      XvidClip("tovrela_benchmark_480p_30min.avi", kFilmClipUs)};
        if (writeOnly) {
            for (const TestClip& clip : longClips) Prepare(clip, folder);
            PrepareList(folder);
            return 0;
        }
        for (const TestClip& clip : longClips) MeasureLongClip(clip, folder);
        MeasureList(folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
