// "tovrela-cli --version": the program's version and the FFmpeg libraries it
// bound, so that a report of a fault can say which libraries were in use.

#include <cstdio>

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "CommandSupport.h"
#include "Commands.h"
#include "RunTexts.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

namespace {

void PrintLibrary(const char* name, unsigned version) {
    std::printf("%s %u.%u.%u\n", name, AV_VERSION_MAJOR(version), AV_VERSION_MINOR(version),
                AV_VERSION_MICRO(version));
}

}  // namespace

int RunVersionCommand() {
    std::printf("tovrela-cli (%s) %s\n", RunTexts::kApplicationTitle, RunTexts::kApplicationVersion);
    std::fflush(stdout);
    if (!BindLibrariesOrReport(std::string(), true)) return kBindFailureStatus;
    // The FFmpeg release is the one libavutil was built from.
    std::printf("FFmpeg %s\n", ff::av_version_info());
    PrintLibrary("libavcodec", ff::avcodec_version());
    PrintLibrary("libavformat", ff::avformat_version());
    PrintLibrary("libswscale", ff::swscale_version());
    PrintLibrary("libswresample", ff::swresample_version());
    PrintLibrary("libavfilter", ff::avfilter_version());
    return 0;
}
