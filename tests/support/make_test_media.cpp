// Writes every test clip into the folder given as the only argument (the
// build tree's media folder by default). A word starting with "-" is taken for
// a mistyped option, never for a folder to fill.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "AVUtilHlpr.h"
#include "MediaWriter.h"
#include "TestMedia.h"

namespace {

const char kUsage[] =
    "Usage: make_test_media [FOLDER]\n"
    "\n"
    "Writes every test clip into FOLDER (default: the build's media folder).\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fputs(kUsage, stderr);
        return 2;
    }
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
