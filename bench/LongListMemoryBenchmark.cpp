// The peak memory of the command line over a long list of one-second files,
// converted two at a time: the peak must not grow with the list's length nor
// vary from run to run.
//
// Usage: long_list_memory_benchmark [--files N] [--runs R] [FOLDER]
// (defaults 2000 files, 10 runs, the system's temporary folder). The list is
// written once (one clip, the others hard links to it) into FOLDER and kept
// for later calls; each run is measured in a child process of its own.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildMeasurement.h"
#include "MediaWriter.h"
#include "TestMedia.h"

namespace {

constexpr TestStreamKind kStreams[] = {TestStreamKind::Video, TestStreamKind::Audio};
constexpr int64_t kMarks[] = {500000};

TestClip OneSecondClip() {
    TestClip clip;
    clip.fileName = "tovrela_benchmark_one_second.avi";
    clip.muxer = "avi";
    clip.videoEncoder = "mpeg4";
    clip.videoTag = "XVID";
    clip.audioEncoder = "libmp3lame";
    clip.width = 320;
    clip.height = 240;
    clip.frameRateNum = 25;
    clip.durationUs = 1000000;
    clip.markTimesUs = kMarks;
    clip.streams = kStreams;
    return clip;
}

// FOLDER/list_N holds N names of the one clip.
std::filesystem::path PrepareList(const std::filesystem::path& folder, int files) {
    const TestClip clip = OneSecondClip();
    const std::filesystem::path source = folder / clip.fileName;
    if (!std::filesystem::exists(source)) {
        std::printf("writing %s ...\n", source.string().c_str());
        MeasureInChild("writing the clip", [&] { WriteTestClip(clip, source.string()); });
    }
    const std::filesystem::path list = folder / ("list_" + std::to_string(files));
    std::filesystem::create_directories(list);
    for (int n = 1; n <= files; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "clip_%05d.avi", n);
        if (!std::filesystem::exists(list / name)) std::filesystem::create_hard_link(source, list / name);
    }
    return list;
}

ChildFigures ConvertOnce(const std::filesystem::path& list, const std::filesystem::path& folder) {
    const std::filesystem::path out = folder / "list_out";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    const std::vector<std::string> arguments{TOVRELA_CLI_PATH, "convert",      "--jobs", "2",
                                             "--output-folder", out.string(), list.string()};
    const ChildFigures figures = MeasureProgram(arguments, {}, (folder / "list_out.log").string());
    std::filesystem::remove_all(out);
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    int files = 2000;
    int runs = 10;
    std::filesystem::path folder = std::filesystem::temp_directory_path();
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string word = argv[i];
            if ((word == "--files" || word == "--runs") && i + 1 < argc)
                (word == "--files" ? files : runs) = std::max(1, std::stoi(argv[++i]));
            else if (!word.starts_with("--"))
                folder = word;
            else
                throw std::invalid_argument(word);
        }
    } catch (const std::exception&) {
        std::fprintf(stderr, "Usage: long_list_memory_benchmark [--files N] [--runs R] [FOLDER]\n");
        return 2;
    }
    try {
        BindTestLibraries();
        std::filesystem::create_directories(folder);
        const std::filesystem::path list = PrepareList(folder, files);
        std::vector<double> peaks;
        for (int run = 1; run <= runs; ++run) {
            const ChildFigures figures = ConvertOnce(list, folder);
            peaks.push_back(figures.peakMb);
            std::printf("%d one-second files, --jobs 2, run %2d: %7.1f MB peak %7.1f s wall\n", files, run,
                        figures.peakMb, figures.wallSeconds);
            std::fflush(stdout);
        }
        std::sort(peaks.begin(), peaks.end());
        std::printf("%d files: peak min %.1f MB, median %.1f MB, max %.1f MB over %d runs\n", files, peaks.front(),
                    peaks[peaks.size() / 2], peaks.back(), runs);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
