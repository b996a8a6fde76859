#include "IpodLimits.h"

#include <cstdio>
#include <cstdlib>

#include "AVCodecHlpr.h"

namespace {

constexpr int kMaxWidth = 640;
constexpr int kMaxHeight = 480;
constexpr double kMaxFrameRate = 30.0;
// A rate read back as a ratio of timestamps may land a hair above 30.
constexpr double kFrameRateSlack = 0.05;
constexpr int kMaxH264Level = 30;
constexpr int64_t kMaxAudioBitRate = 160000;
constexpr int kMaxSampleRate = 48000;
constexpr int kMaxChannels = 2;
// Encoders keep an average bit rate only roughly; a file made at the
// highest allowed rate must not be called too fast for a few bits.
constexpr double kBitRateSlack = 1.03;

std::string NumberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

// 30 is level "3.0".
std::string LevelText(int level) { return std::to_string(level / 10) + "." + std::to_string(level % 10); }

std::string Exceeds(const std::string& what, const std::string& value, const std::string& limit,
                    const std::string& unit = "") {
    return what + " for iPod: " + value + " > " + limit + unit;
}

std::string CodecName(AVCodecID codec) {
    const char* name = ff::avcodec_get_name ? ff::avcodec_get_name(codec) : nullptr;
    return name ? name : std::to_string(static_cast<int>(codec));
}

bool TooFast(int64_t bitRate, int64_t limit) { return bitRate > limit * kBitRateSlack; }

std::string Kbps(int64_t bitRate) { return std::to_string((bitRate + 500) / 1000); }

void CheckVideo(const TVideoFacts& video, std::vector<std::string>& breaks) {
    if (video.Codec == AV_CODEC_ID_MPEG4) {
        if (video.Profile != FF_PROFILE_UNKNOWN && video.Profile != FF_PROFILE_MPEG4_SIMPLE)
            breaks.push_back("not MPEG-4 Simple Profile, which iPod needs");
    } else if (video.Codec == AV_CODEC_ID_H264) {
        const bool baseline = (video.Profile & ~FF_PROFILE_H264_CONSTRAINED) == FF_PROFILE_H264_BASELINE;
        if (video.Profile != FF_PROFILE_UNKNOWN && !baseline)
            breaks.push_back("not H.264 Baseline Profile, which iPod needs");
        if (video.Level != FF_LEVEL_UNKNOWN && video.Level > kMaxH264Level)
            breaks.push_back(Exceeds("H.264 level too high", LevelText(video.Level), LevelText(kMaxH264Level)));
    } else {
        breaks.push_back("video codec " + CodecName(video.Codec) + " not playable on iPod");
    }
    if (video.Width > kMaxWidth)
        breaks.push_back(Exceeds("too wide", std::to_string(video.Width), std::to_string(kMaxWidth)));
    if (video.Height > kMaxHeight)
        breaks.push_back(Exceeds("too tall", std::to_string(video.Height), std::to_string(kMaxHeight)));
    if (video.FrameRate > kMaxFrameRate + kFrameRateSlack)
        breaks.push_back(Exceeds("frame rate too high", NumberText(video.FrameRate), NumberText(kMaxFrameRate)));
    if (TooFast(video.BitRate, kIpodMaxVideoBitRate))
        breaks.push_back(
            Exceeds("video bit rate too high", Kbps(video.BitRate), Kbps(kIpodMaxVideoBitRate), " kbit/s"));
}

void CheckAudio(const TAudioFacts& audio, std::vector<std::string>& breaks) {
    if (audio.Codec != AV_CODEC_ID_AAC)
        breaks.push_back("audio codec " + CodecName(audio.Codec) + " not playable on iPod");
    else if (audio.Profile != FF_PROFILE_UNKNOWN && audio.Profile != FF_PROFILE_AAC_LOW)
        breaks.push_back("not AAC-LC audio, which iPod needs");
    if (TooFast(audio.BitRate, kMaxAudioBitRate))
        breaks.push_back(
            Exceeds("audio bit rate too high", Kbps(audio.BitRate), Kbps(kMaxAudioBitRate), " kbit/s"));
    if (audio.SampleRate > kMaxSampleRate)
        breaks.push_back(Exceeds("audio sample rate too high", std::to_string(audio.SampleRate),
                                 std::to_string(kMaxSampleRate), " Hz"));
    if (audio.Channels > kMaxChannels)
        breaks.push_back(
            Exceeds("too many audio channels", std::to_string(audio.Channels), std::to_string(kMaxChannels)));
}

bool PlayableContainer(const TMediaFacts& facts) {
    const bool movFamily = facts.Container.find("mp4") != std::string::npos ||
                           facts.Container.find("mov") != std::string::npos;
    return movFamily && (facts.Extension == ".mp4" || facts.Extension == ".m4v" || facts.Extension == ".mov");
}

// "30000/1001", "30" or "" (the input's own rate, unknown here).
double RateOfOption(const std::string& option) {
    if (option.empty()) return 0.0;
    char* end = nullptr;
    const double numerator = std::strtod(option.c_str(), &end);
    if (*end == '/') {
        const double denominator = std::strtod(end + 1, nullptr);
        return denominator > 0.0 ? numerator / denominator : 0.0;
    }
    return numerator;
}

}  // namespace

std::vector<std::string> IpodLimitBreaks(const TMediaFacts& facts) {
    std::vector<std::string> breaks;
    if (!PlayableContainer(facts))
        breaks.push_back("file type " + (facts.Extension.empty() ? facts.Container : facts.Extension) +
                         " not playable on iPod");
    if (!facts.Video && !facts.Audio) breaks.push_back("no video or audio for iPod to play");
    if (facts.Video) CheckVideo(*facts.Video, breaks);
    if (facts.Audio) CheckAudio(*facts.Audio, breaks);
    return breaks;
}

TMediaFacts PlannedFacts(const TConversionSettings& settings) {
    TMediaFacts facts;
    facts.Container = "mov,mp4";
    facts.Extension = ".mp4";
    TVideoFacts video;
    video.Codec = AV_CODEC_ID_MPEG4;
    std::sscanf(settings.FrameSize.c_str(), "%dx%d", &video.Width, &video.Height);
    video.FrameRate = RateOfOption(FrameRateOption(settings.FrameRate));
    video.BitRate = static_cast<int64_t>(settings.VideoBitrateKbps) * 1000;
    facts.Video = video;
    TAudioFacts audio;
    audio.Codec = AV_CODEC_ID_AAC;
    audio.SampleRate = settings.AudioSampleRate;
    audio.Channels = settings.Channels;
    audio.BitRate = static_cast<int64_t>(settings.AudioBitrateKbps) * 1000;
    facts.Audio = audio;
    return facts;
}

std::string CompletedStatus(const std::vector<std::string>& breaks) {
    std::string status = RunTexts::kStatusCompleted;
    if (breaks.empty()) return status;
    status += " (";
    for (size_t i = 0; i < breaks.size(); ++i) status += (i ? "; " : "") + breaks[i];
    return status + ")";
}
