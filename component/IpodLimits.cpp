#include "IpodLimits.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "AVCodecHlpr.h"

namespace {

// A rate read back as a ratio of timestamps may land a hair above 30.
constexpr double kFrameRateSlack = 0.05;
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

std::string CodecName(AVCodecID codec) {
    const char* name = ff::avcodec_get_name ? ff::avcodec_get_name(codec) : nullptr;
    return name ? name : std::to_string(static_cast<int>(codec));
}

bool TooFast(int64_t bitRate, int64_t limit) { return bitRate > limit * kBitRateSlack; }

std::string Kbps(int64_t bitRate) { return std::to_string((bitRate + 500) / 1000); }

class TBreaks {
public:
    explicit TBreaks(const TDevice& device) : player_(device.PlayerName) {}
    // `player`: a model that plays less than the device, in place of the device.
    void Exceeds(const std::string& what, const std::string& value, const std::string& limit,
                 const std::string& unit = "", const std::string& player = "") {
        list_.push_back(what + " for " + (player.empty() ? player_ : player) + ": " + value + " > " + limit + unit);
    }
    void Needs(const std::string& what) { list_.push_back("not " + what + ", which " + player_ + " needs"); }
    void NotPlayable(const std::string& what) { list_.push_back(what + " not playable on " + player_); }
    void Add(const std::string& reason) { list_.push_back(reason); }
    const std::string& Player() const { return player_; }
    std::vector<std::string> Take() { return std::move(list_); }

private:
    std::string player_;
    std::vector<std::string> list_;
};

bool IsBaseline(int profile) { return (profile & ~FF_PROFILE_H264_CONSTRAINED) == FF_PROFILE_H264_BASELINE; }

// The row whose video limits hold for a file of this codec: the device's
// own, or the one of the other codec it plays; nullptr when it plays neither.
const TDevice* VideoRowFor(const TDevice& device, AVCodecID codec) {
    if (codec == device.VideoCodec) return &device;
    if (!device.OtherCodecRow) return nullptr;
    const TDevice& other = DeviceAt(*FindDevice(device.OtherCodecRow));
    return codec == other.VideoCodec ? &other : nullptr;
}

// An H.264 file is held to the level it declares; other codecs' players
// look only at the picture, so they are held to the row's highest level.
const TDeviceLevel* LevelFor(const TDevice& row, const TVideoFacts& video, TBreaks& breaks) {
    if (row.VideoCodec != AV_CODEC_ID_H264 || video.Level == FF_LEVEL_UNKNOWN) return &row.HighestLevel();
    for (const TDeviceLevel& level : row.Levels)
        if (video.Level <= level.Level) return &level;
    breaks.Exceeds("H.264 level too high", LevelText(video.Level), LevelText(row.HighestLevel().Level));
    return &row.HighestLevel();
}

// The largest picture of the level, or the model's where it plays less of
// that codec; `player` is then the model's name.
struct TPictureLimit {
    int MaxWidth;
    int MaxHeight;
    std::string Player;
};
TPictureLimit PictureLimit(const TDeviceLevel& level, AVCodecID codec, const TModelVideoLimit& model) {
    if (model.Codec != codec || (model.MaxWidth >= level.MaxWidth && model.MaxHeight >= level.MaxHeight))
        return {level.MaxWidth, level.MaxHeight, ""};
    return {std::min(level.MaxWidth, model.MaxWidth), std::min(level.MaxHeight, model.MaxHeight), model.ModelName};
}

void CheckVideo(const TDevice& device, const TVideoFacts& video, const TModelVideoLimit& model, TBreaks& breaks) {
    const TDevice* row = VideoRowFor(device, video.Codec);
    if (!row) {
        breaks.NotPlayable("video codec " + CodecName(video.Codec));
        return;
    }
    if (video.Codec == AV_CODEC_ID_MPEG4 && video.Profile != FF_PROFILE_UNKNOWN && video.Profile != row->VideoProfile)
        breaks.Needs("MPEG-4 Simple Profile");
    if (video.Codec == AV_CODEC_ID_H264 && video.Profile != FF_PROFILE_UNKNOWN && !IsBaseline(video.Profile))
        breaks.Needs("H.264 Baseline Profile");
    const TDeviceLevel& level = *LevelFor(*row, video, breaks);
    const TPictureLimit picture = PictureLimit(level, video.Codec, model);
    if (video.Width > picture.MaxWidth)
        breaks.Exceeds("too wide", std::to_string(video.Width), std::to_string(picture.MaxWidth), "", picture.Player);
    if (video.Height > picture.MaxHeight)
        breaks.Exceeds("too tall", std::to_string(video.Height), std::to_string(picture.MaxHeight), "",
                       picture.Player);
    if (video.FrameRate > row->MaxFrameRate + kFrameRateSlack)
        breaks.Exceeds("frame rate too high", NumberText(video.FrameRate), NumberText(row->MaxFrameRate));
    if (TooFast(video.BitRate, level.MaxBitRate))
        breaks.Exceeds("video bit rate too high", Kbps(video.BitRate), Kbps(level.MaxBitRate), " kbit/s");
}

void CheckAudio(const TDevice& device, const TAudioFacts& audio, TBreaks& breaks) {
    if (audio.Codec != device.AudioCodec)
        breaks.NotPlayable("audio codec " + CodecName(audio.Codec));
    else if (device.AudioProfile != FF_PROFILE_UNKNOWN && audio.Profile != FF_PROFILE_UNKNOWN &&
             audio.Profile != device.AudioProfile)
        breaks.Needs("AAC-LC audio");
    if (TooFast(audio.BitRate, device.MaxAudioBitRate))
        breaks.Exceeds("audio bit rate too high", Kbps(audio.BitRate), Kbps(device.MaxAudioBitRate), " kbit/s");
    if (audio.SampleRate > device.MaxSampleRate)
        breaks.Exceeds("audio sample rate too high", std::to_string(audio.SampleRate),
                       std::to_string(device.MaxSampleRate), " Hz");
    if (audio.Channels > device.MaxChannels)
        breaks.Exceeds("too many audio channels", std::to_string(audio.Channels), std::to_string(device.MaxChannels));
}

bool PlayableContainer(const TDevice& device, const TMediaFacts& facts) {
    if (facts.Container.find(device.ContainerFamily) == std::string::npos) return false;
    return std::any_of(device.PlayableExtensions.begin(), device.PlayableExtensions.end(),
                       [&](const char* extension) { return facts.Extension == extension; });
}

// A frame size too large for the device (or for its model), shrunk at its
// own shape to fit.
void FitFrameSize(const TDevice& device, TDevicePlan& plan) {
    int width = 0, height = 0;
    if (std::sscanf(plan.Settings.FrameSize.c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0)
        return;
    const TPictureLimit limit = PictureLimit(device.HighestLevel(), device.VideoCodec, plan.Settings.Model);
    if (width <= limit.MaxWidth && height <= limit.MaxHeight) return;
    const double scale = std::min(static_cast<double>(limit.MaxWidth) / width,
                                  static_cast<double>(limit.MaxHeight) / height);
    const int fitWidth = std::max(2, static_cast<int>(width * scale) / 2 * 2);
    const int fitHeight = std::max(2, static_cast<int>(height * scale) / 2 * 2);
    const std::string fitted = std::to_string(fitWidth) + "x" + std::to_string(fitHeight);
    plan.Changes.push_back("frame size " + plan.Settings.FrameSize + " is larger than " +
                           (limit.Player.empty() ? std::string(device.PlayerName) : limit.Player) +
                           " plays: using " + fitted);
    plan.Settings.FrameSize = fitted;
}

void FitFrameRate(const TDevice& device, TDevicePlan& plan) {
    const double rate = FrameRateValue(plan.Settings.FrameRate);
    if (rate <= device.MaxFrameRate + kFrameRateSlack) return;
    const std::string fitted = NumberText(device.MaxFrameRate);
    plan.Changes.push_back("frame rate " + plan.Settings.FrameRate + " is more than " + device.PlayerName +
                           " plays: using " + fitted);
    plan.Settings.FrameRate = fitted;
}

// A rate the encoder cannot keep to is one the device cannot play as asked:
// below its floor the file comes out larger, and above its top rate a
// second would go over the device's highest rate.
void FitVideoBitRate(const TDevice& device, TDevicePlan& plan) {
    int32_t& kbps = plan.Settings.VideoBitrateKbps;
    const int32_t lowestKbps = device.MinVideoBitRate / 1000;
    const int32_t topKbps = device.TopVideoBitRate() / 1000;
    if (kbps < lowestKbps) {
        plan.Changes.push_back("video bit rate " + std::to_string(kbps) + " kbps raised to " +
                               std::to_string(lowestKbps) + " kbps, the least " + device.PlayerName + " plays");
        kbps = lowestKbps;
    } else if (kbps > topKbps) {
        // The average is kept below the device's top rate: the encoder's
        // busiest seconds go over its average.
        plan.Changes.push_back("video bit rate " + std::to_string(kbps) + " kbps lowered to " + std::to_string(topKbps) +
                               " kbps, so that no second goes over the " + Kbps(device.HighestLevel().MaxBitRate) +
                               " kbps " + device.PlayerName + " plays");
        kbps = topKbps;
    }
}

void FitAudio(const TDevice& device, TDevicePlan& plan) {
    TConversionSettings& settings = plan.Settings;
    const int32_t maxKbps = device.MaxAudioBitRate / 1000;
    if (settings.AudioBitrateKbps > maxKbps) {
        plan.Changes.push_back("audio bit rate " + std::to_string(settings.AudioBitrateKbps) + " kbps is more than " +
                               device.PlayerName + " plays: using " + std::to_string(maxKbps) + " kbps");
        settings.AudioBitrateKbps = maxKbps;
    }
    if (!device.AudioBitRatesKbps.empty()) {
        // The nearest rate the encoder knows.
        int nearest = device.AudioBitRatesKbps.front();
        for (int rate : device.AudioBitRatesKbps)
            if (std::abs(rate - settings.AudioBitrateKbps) < std::abs(nearest - settings.AudioBitrateKbps)) nearest = rate;
        if (nearest != settings.AudioBitrateKbps) {
            plan.Changes.push_back("audio bit rate " + std::to_string(settings.AudioBitrateKbps) + " kbps is not one " +
                                   device.PlayerName + " plays: using " + std::to_string(nearest) + " kbps");
            settings.AudioBitrateKbps = nearest;
        }
    }
    if (settings.AudioSampleRate < device.MinSampleRate) {
        plan.Changes.push_back("audio sample rate " + std::to_string(settings.AudioSampleRate) + " Hz is less than " +
                               device.PlayerName + " plays: using " + std::to_string(device.MinSampleRate) + " Hz");
        settings.AudioSampleRate = device.MinSampleRate;
    }
    if (settings.AudioSampleRate > device.MaxSampleRate) {
        plan.Changes.push_back("audio sample rate " + std::to_string(settings.AudioSampleRate) + " Hz is more than " +
                               device.PlayerName + " plays: using " + std::to_string(device.MaxSampleRate) + " Hz");
        settings.AudioSampleRate = device.MaxSampleRate;
    }
}

// The lowest level that carries the picture and the rate; a size the
// settings leave to the input counts as the largest.
TDeviceLevel LevelForSettings(const TDevice& device, const TConversionSettings& settings) {
    int width = 0, height = 0;
    if (std::sscanf(settings.FrameSize.c_str(), "%dx%d", &width, &height) != 2) width = height = 1 << 20;
    const int64_t bitRate = static_cast<int64_t>(settings.VideoBitrateKbps) * 1000;
    for (const TDeviceLevel& level : device.Levels)
        if (width <= level.MaxWidth && height <= level.MaxHeight && bitRate <= level.MaxBitRate) return level;
    return device.HighestLevel();
}

}  // namespace

std::string AutoFrameRateFor(const TDevice& device, std::pair<int, int> rate) {
    const auto [numerator, denominator] = rate;
    if (numerator <= 0 || denominator <= 0) return "";
    const double perSecond = static_cast<double>(numerator) / denominator;
    int64_t divisor = 1;
    while (perSecond / static_cast<double>(divisor) > device.MaxFrameRate + kFrameRateSlack) ++divisor;
    if (divisor == 1) return "";
    return std::to_string(numerator) + "/" + std::to_string(denominator * divisor);
}

std::vector<std::string> DeviceLimitBreaks(const TDevice& device, const TMediaFacts& facts,
                                           const TModelVideoLimit& model) {
    TBreaks breaks(device);
    if (!PlayableContainer(device, facts))
        breaks.NotPlayable("file type " + (facts.Extension.empty() ? facts.Container : facts.Extension));
    if (!facts.Video && !facts.Audio) breaks.Add("no video or audio for " + breaks.Player() + " to play");
    if (facts.Video) CheckVideo(device, *facts.Video, model, breaks);
    if (facts.Audio) CheckAudio(device, *facts.Audio, breaks);
    return breaks.Take();
}

std::string CompletedStatus(const std::vector<std::string>& breaks) {
    std::string status = RunTexts::kStatusCompleted;
    if (breaks.empty()) return status;
    status += " (";
    for (size_t i = 0; i < breaks.size(); ++i) status += (i ? "; " : "") + breaks[i];
    return status + ")";
}

TDevicePlan PlanForDevice(const TConversionSettings& settings, bool withVideo) {
    TDevicePlan plan;
    plan.Settings = settings;
    const TDevice& device = DeviceAt(settings.Device);
    plan.Settings.Device = static_cast<size_t>(&device - Devices().data());
    const std::string unavailable = DeviceUnavailableReason(device);
    if (!unavailable.empty()) {
        plan.Refusal = std::string("Cannot convert for ") + device.Name + ": " + unavailable + ".";
        return plan;
    }
    const int32_t maxKbps = device.HighestLevel().MaxBitRate / 1000;
    if (withVideo && settings.VideoBitrateKbps > maxKbps) {
        plan.Refusal = "The video bit rate of " + std::to_string(settings.VideoBitrateKbps) + " kbps is more than " +
                       device.Name + " plays: at most " + std::to_string(maxKbps) + " kbps.";
        return plan;
    }
    if (withVideo) {
        FitFrameSize(device, plan);
        FitFrameRate(device, plan);
        FitVideoBitRate(device, plan);
    }
    FitAudio(device, plan);
    plan.Level = LevelForSettings(device, plan.Settings);
    return plan;
}
