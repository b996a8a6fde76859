// Target presets: one option that sets up the next output for a disc or tape
// standard (encoders, container, picture size, frame rate, rates and sizes of
// the multiplex), in the television norm given or found from the input.

#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "FFmpeg.h"
#include "TextConversion.h"

namespace {

struct GenericSetting {
    const char* name;
    const char* value;
};

// The MPEG disc targets. Their generic options are applied in the order
// listed, after the GOP length, which depends on the norm.
struct DiscPreset {
    std::string_view name;
    const char* video_codec;
    const char* audio_codec;
    const char* format;
    const char* pal_size;
    const char* ntsc_size;
    std::vector<GenericSetting> settings;
    int32_t sample_rate;
    bool always_stereo;  // otherwise only mono becomes stereo
    float mux_preload;   // seconds; 0 leaves it
    const char* assumed_aspect;
};

const std::vector<DiscPreset>& DiscPresets() {
    static const std::vector<DiscPreset> presets = {
        {"vcd", "mpeg1video", "mp2", "vcd", "352x288", "352x240",
         {{"b", "1150000"}, {"maxrate", "1150000"}, {"minrate", "1150000"}, {"bufsize", "327680"},
          {"ab", "224000"}, {"packetsize", "2324"}, {"muxrate", "1411200"}},
         44100, true, 0.44f, "4:3"},
        {"svcd", "mpeg2video", "mp2", "svcd", "480x576", "480x480",
         {{"b", "2040000"}, {"maxrate", "2516000"}, {"minrate", "0"}, {"bufsize", "1835008"},
          {"flags", "+scan_offset"}, {"ab", "224000"}, {"packetsize", "2324"}},
         44100, false, 0, "4:3"},
        {"dvd", "mpeg2video", "ac3", "dvd", "720x576", "720x480",
         {{"b", "6000000"}, {"maxrate", "9000000"}, {"minrate", "0"}, {"bufsize", "1835008"},
          {"packetsize", "2048"}, {"muxrate", "10080000"}, {"ab", "448000"}},
         48000, false, 0, "16:9"},
    };
    return presets;
}

// The norm a frame rate stands for, if any.
std::optional<TTargetNorm> NormOfRate(AVRational rate) {
    if (rate.num == 0 || rate.den == 0) return std::nullopt;
    const long millihertz = std::lround(rate.num * 1000.0 / rate.den);
    if (millihertz == 25000) return TTargetNorm::Pal;
    if (millihertz == 29970 || millihertz == 23976) return TTargetNorm::Ntsc;
    return std::nullopt;
}

const char* FrameRateText(TTargetNorm norm) {
    switch (norm) {
        case TTargetNorm::Pal: return "25";
        case TTargetNorm::Ntsc: return "30000/1001";
        case TTargetNorm::Film: return "24000/1001";
    }
    return "25";
}

}  // namespace

void TCustomFFmpeg::SetTarget(const std::string& text) {
    const std::string target = TrimText(text);
    for (const char* norm : {"pal", "ntsc", "film"}) {
        const std::string prefix = std::string(norm) + "-";
        if (target.starts_with(prefix)) {
            SetTargetWithNorm(target.substr(prefix.size()), norm, "ntsc");
            return;
        }
    }
    SetTargetWithNorm(target, "auto", "ntsc");
}

TTargetNorm TCustomFFmpeg::DecideNorm(const std::string& norm, const std::string& fallback) {
    if (norm == "pal") return TTargetNorm::Pal;
    if (norm == "ntsc") return TTargetNorm::Ntsc;
    if (norm == "film") return TTargetNorm::Film;

    if (frame_rate.den == 0) throw FFMpegException("frame_rate is invalid.");
    std::optional<TTargetNorm> decided = NormOfRate(frame_rate);
    for (int file = 0; file < input_count && !decided; ++file) {
        const AVFormatContext* input = input_contexts[file].get();
        for (unsigned i = 0; i < input->nb_streams && !decided; ++i) {
            const AVStream* stream = input->streams[i];
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) decided = NormOfRate(stream->avg_frame_rate);
        }
    }
    if (!decided) {
        if (fallback == "film")
            decided = TTargetNorm::Film;
        else if (fallback == "ntsc")
            decided = TTargetNorm::Ntsc;
        else
            decided = TTargetNorm::Pal;
    }
    if (verbose > 0)
        Log(std::string("Assuming ") + (*decided == TTargetNorm::Pal ? "PAL" : "NTSC") + " for target.");
    return *decided;
}

void TCustomFFmpeg::SetTargetWithNorm(const std::string& target, const std::string& norm,
                                      const std::string& fallbackNorm) {
    const TTargetNorm decided = DecideNorm(norm, fallbackNorm);
    const bool pal = decided == TTargetNorm::Pal;

    for (const DiscPreset& preset : DiscPresets()) {
        if (preset.name != target) continue;
        SetVideoCodec(preset.video_codec);
        SetAudioCodec(preset.audio_codec);
        SetOutputFormat(preset.format);
        SetFrameSize(pal ? preset.pal_size : preset.ntsc_size);
        SetFrameRate(FrameRateText(decided));
        SetGenericOption("gop", pal ? "15" : "18");
        for (const GenericSetting& setting : preset.settings) SetGenericOption(setting.name, setting.value);
        audio_sample_rate = preset.sample_rate;
        if (preset.always_stereo || audio_channels == 1) audio_channels = 2;
        if (preset.mux_preload > 0) mux_preload = preset.mux_preload;
        if (frame_aspect_ratio == 0) {
            Log(std::string("Assuming ") + preset.assumed_aspect + " for aspect ratio");
            SetAspectRatio(preset.assumed_aspect);
        }
        return;
    }

    if (target == "dv" || target == "dv50") {
        SetOutputFormat("dv");
        SetFrameSize(pal ? "720x576" : "720x480");
        SetPixelFormat(target == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        SetFrameRate(FrameRateText(decided));
        audio_sample_rate = 48000;
        audio_channels = 2;
        return;
    }
    throw FFMpegException("Unknown target type");
}
