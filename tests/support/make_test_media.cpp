// Writes every test clip into the folder given as the only argument (the
// build tree's media folder by default).
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "AVUtilHlpr.h"
#include "MediaWriter.h"
#include "TestMedia.h"

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : TOVRELA_TEST_MEDIA_DIR;
    try {
        BindTestLibraries();
        // Encoders chatter about their choices; only real problems matter here.
        ff::av_log_set_level(AV_LOG_ERROR);
        std::filesystem::create_directories(folder);
        for (const TestClip& clip : TestClips()) WriteTestClip(clip, (folder / clip.fileName).string());
        std::filesystem::copy_file(folder / kSampleSourceName, folder / kSampleClipName,
                                   std::filesystem::copy_options::overwrite_existing);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_test_media: %s\n", error.what());
        return 1;
    }
    return 0;
}
