#include "EngineConversion.h"

#include <cstdio>

#include "FFmpeg.h"
#include "MediaWriter.h"

std::string PrepareClip(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string path = (folder / clip.fileName).string();
    if (std::filesystem::exists(path)) return path;
    std::printf("writing %s ...\n", path.c_str());
    std::fflush(stdout);
    try {
        WriteTestClip(clip, path);
    } catch (...) {
        std::filesystem::remove(path);
        throw;
    }
    return path;
}

void ConvertWithEngine(const std::string& input, const TOutputOptions& options) {
    TCustomFFmpeg engine;
    engine.Initialize();
    engine.SetVerbose(-1);
    try {
        ApplyInputOptions(engine, TInputOptions());
        engine.OpenInputFile(input);
        ApplyOutputOptions(engine, options);
        engine.OpenOutputFile(options.FileName);
        engine.Transcode();
    } catch (...) {
        engine.CleanUp();
        throw;
    }
    engine.CleanUp();
}
