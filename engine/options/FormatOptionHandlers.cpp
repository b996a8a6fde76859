// Forced input and output formats ("f").

#include <string>

#include "FFmpeg.h"

namespace {

// "pgmyuv" was once a format of its own; it is the image2 format with a
// flag that makes its pictures read as PGM-wrapped YUV.
std::string ResolveFormatName(TCustomFFmpeg& engine, const std::string& name) {
    if (name != "pgmyuv") return name;
    engine.pgmyuv_mode = 1;
    engine.Log("pgmyuv format is deprecated, use image2");
    return "image2";
}

}  // namespace

void TCustomFFmpeg::SetInputFormat(const std::string& name) {
    if (name.empty()) return;
    const std::string format = ResolveFormatName(*this, name);
    forced_input_format = ff::av_find_input_format(format.c_str());
    if (!forced_input_format) throw FFMpegException("Unknown input format: " + format);
}

void TCustomFFmpeg::SetOutputFormat(const std::string& name) {
    if (name.empty()) return;
    const std::string format = ResolveFormatName(*this, name);
    forced_output_format = ff::av_guess_format(format.c_str(), nullptr, nullptr);
    if (!forced_output_format) throw FFMpegException("Unknown output format: " + format);
}

// One name serves whichever side knows it; only a name neither side knows is
// an error.
void TCustomFFmpeg::SetFormat(const std::string& name) {
    if (name.empty()) return;
    const std::string format = ResolveFormatName(*this, name);
    forced_input_format = ff::av_find_input_format(format.c_str());
    forced_output_format = ff::av_guess_format(format.c_str(), nullptr, nullptr);
    if (!forced_input_format && !forced_output_format)
        throw FFMpegException("Unknown input or output format: " + format);
}
