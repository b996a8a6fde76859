// Converts a generated 60-second 1920x1080 H.264/AAC clip with the window's
// iPod settings and prints the conversion speed as a multiple of real time,
// the CPU time and the peak memory. The clip is written once into the given
// folder (default: the system's temporary folder) and reused.
//
// Usage: conversion_benchmark [FOLDER]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "FFmpeg.h"
#include "MediaWriter.h"
#include "TestMedia.h"

namespace {

constexpr int64_t kClipLengthUs = 60000000;
constexpr int64_t kMarks[] = {500000, 30500000};
constexpr TestStreamKind kStreams[] = {TestStreamKind::Video, TestStreamKind::Audio};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string clipPath = (folder / "tovrela_benchmark_1080p.mp4").string();
    const std::string outputPath = (folder / "tovrela_benchmark_ipod.mp4").string();
    try {
        BindTestLibraries();
        if (!std::filesystem::exists(clipPath)) {
            TestClip clip;
            clip.fileName = "tovrela_benchmark_1080p.mp4";
            clip.muxer = "mp4";
            clip.videoEncoder = "libx264";
            clip.audioEncoder = "aac";
            clip.width = 1920;
            clip.height = 1080;
            clip.videoBitRate = 8000000;
            clip.durationUs = kClipLengthUs;
            clip.markTimesUs = kMarks;
            clip.streams = kStreams;
            std::printf("writing %s ...\n", clipPath.c_str());
            std::fflush(stdout);
            // Written by a child process, so that the peak memory below is
            // the conversion's alone.
            const pid_t writer = fork();
            if (writer == 0) {
                try {
                    WriteTestClip(clip, clipPath);
                } catch (const std::exception& error) {
                    std::fprintf(stderr, "%s\n", error.what());
                    _exit(1);
                }
                _exit(0);
            }
            int status = 0;
            if (writer < 0 || waitpid(writer, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
                throw std::runtime_error("the benchmark clip could not be written");
        }
        const double cpuBefore = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        TCustomFFmpeg engine;
        engine.Initialize();
        engine.SetVerbose(0);
        if (!engine.OpenInputFile(clipPath)) throw FFMpegException(engine.last_error);
        for (const auto& [name, value] :
             {std::pair<const char*, const char*>{"vcodec", "mpeg4"}, {"acodec", "libfaac"}, {"s", "320x240"},
              {"r", "30000/1001"}, {"ar", "44100"}, {"ac", "2"}, {"b", "512000"}, {"ab", "80000"}})
            engine.SetOption(name, value);
        if (!engine.OpenOutputFile(outputPath)) throw FFMpegException(engine.last_error);
        engine.Transcode();
        engine.CleanUp();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("speed: %.2fx real time (%.1f s for %.0f s)\n", kClipLengthUs / 1e6 / seconds, seconds,
                    kClipLengthUs / 1e6);
        std::printf("cpu time: %.1f s\n", CpuSeconds() - cpuBefore);
        std::printf("peak memory: %.1f MB\n", static_cast<double>(PeakMemoryKb()) / 1024);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
