#include "TaskOptions.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "FFmpeg.h"
#include "TextConversion.h"

namespace {

template <size_t N>
std::string FixedText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Days between 30 December 1899 and 1 January 1970.
constexpr double kUnixEpochDays = 25569.0;

int64_t ReadMilliseconds(const std::string& text) {
    try {
        return TextToInt64(text);
    } catch (const ConversionError&) {
        return -1;
    }
}

}  // namespace

void ResetInputOptions(TInputOptions& options) { options = TInputOptions(); }

void ResetOutputOptions(TOutputOptions& options) { options = TOutputOptions(); }

void ApplyInputOptions(TCustomFFmpeg& engine, const TInputOptions& options) {
    engine.ApplyOptionText(options.ExtraOptions);
    engine.SetInputFormat(options.InputFormat);
    if (options.StartTimeMs > 0) engine.SetStartTime(static_cast<int64_t>(options.StartTimeMs) * 1000);
    engine.SetProgramId(options.ProgramId);
}

void ApplyOutputOptions(TCustomFFmpeg& engine, const TOutputOptions& o) {
    engine.ApplyOptionText(o.ExtraOptions);
    engine.SetOutputFormat(o.OutputFormat);
    if (o.PacketSize > 0) engine.SetGenericOptionInt("packetsize", o.PacketSize);
    if (o.MuxRate > 0) engine.SetGenericOptionInt("muxrate", o.MuxRate);
    engine.SetMuxMaxDelay(o.MuxDelay);
    engine.SetMuxPreload(o.MuxPreload);
    if (!o.AudioCodec.empty()) engine.SetAudioCodec(o.AudioCodec);
    if (o.DisableAudio) engine.audio_disable = 1;
    engine.SetAudioVolume(o.AudioVolume);
    if (o.AudioChannels > 0) engine.SetAudioChannels(o.AudioChannels);
    if (o.AudioSampleRate > 0) engine.SetAudioSampleRate(o.AudioSampleRate);
    if (o.AudioBitrate > 0) engine.SetGenericOptionInt("ab", o.AudioBitrate);
    if (o.AudioBitrateTolerance > 0) engine.SetGenericOptionInt("abt", o.AudioBitrateTolerance);
    engine.audio_language = o.AudioLanguage;
    engine.SetAudioSyncMethod(o.AudioSyncMethod);
    if (!o.AudioTag.empty()) engine.SetAudioTag(o.AudioTag);
    if (!o.VideoCodec.empty()) engine.SetVideoCodec(o.VideoCodec);
    if (o.DisableVideo) engine.video_disable = 1;
    if (!o.FrameRate.empty()) engine.SetFrameRate(o.FrameRate);
    if (!o.FrameSize.empty()) engine.SetFrameSize(o.FrameSize);
    if (!o.FrameAspectRatio.empty()) engine.SetAspectRatio(o.FrameAspectRatio);
    if (o.CropTop >= 0) engine.SetCropTop(o.CropTop);
    if (o.CropBottom >= 0) engine.SetCropBottom(o.CropBottom);
    if (o.CropLeft >= 0) engine.SetCropLeft(o.CropLeft);
    if (o.CropRight >= 0) engine.SetCropRight(o.CropRight);
    if (o.PadTop >= 0) engine.SetPadTop(o.PadTop);
    if (o.PadBottom >= 0) engine.SetPadBottom(o.PadBottom);
    if (o.PadLeft >= 0) engine.SetPadLeft(o.PadLeft);
    if (o.PadRight >= 0) engine.SetPadRight(o.PadRight);
    // There are no system colours to resolve here: the value is the RGB.
    engine.SetPadColor(static_cast<int32_t>(o.PadColor & 0xFFFFFF));
    if (o.GopSize > 0) engine.SetGenericOptionInt("gop", o.GopSize);
    if (o.VideoBitrate > 0) engine.SetGenericOptionInt("vb", o.VideoBitrate);
    if (o.VideoMaxRate > 0) engine.SetGenericOptionInt("maxrate", o.VideoMaxRate);
    if (o.VideoMinRate > 0) engine.SetGenericOptionInt("minrate", o.VideoMinRate);
    if (o.VideoBitrateTolerance > 0) engine.SetGenericOptionInt("bt", o.VideoBitrateTolerance);
    if (o.VideoBufferSize > 0) engine.SetGenericOptionInt("bufsize", o.VideoBufferSize);
    engine.SetVideoSyncMethod(o.VideoSyncMethod);
    if (!o.VideoTag.empty()) engine.SetVideoTag(o.VideoTag);
    if (!o.VideoFilters.empty()) engine.SetVideoFilters(o.VideoFilters);
    engine.keep_shape = o.KeepShape ? 1 : 0;
    engine.replace_existing_outputs = o.ReplaceExisting;
    if (o.DisableSubtitle) engine.subtitle_disable = 1;
    engine.subtitle_language = o.SubtitleLanguage;
    engine.copy_ts = o.CopyTimestamps ? 1 : 0;
    engine.SetRecordingTimeMs(o.DurationMs);
    if (o.Timestamp >= 0) engine.recording_timestamp = TimestampToUnixSeconds(o.Timestamp);
    engine.SetYear(o.Year);
    engine.SetTrack(o.Track);
    engine.SetTitle(FixedText(o.Title));
    engine.SetAuthor(FixedText(o.Author));
    engine.SetCopyright(FixedText(o.Copyright));
    engine.SetComment(FixedText(o.Comment));
    engine.SetAlbum(FixedText(o.Album));
    engine.SetGenre(FixedText(o.Genre));

    static const char* const kTargets[] = {"vcd", "svcd", "dvd"};
    static const char* const kNorms[] = {"auto", "pal", "ntsc"};
    if (o.TargetType >= 1 && o.TargetType <= 3) {
        const char* norm = o.TargetNorm >= 0 && o.TargetNorm <= 2 ? kNorms[o.TargetNorm] : "auto";
        engine.SetTargetWithNorm(kTargets[o.TargetType - 1], norm, o.TargetFallbackNorm == 1 ? "pal" : "ntsc");
    }
}

std::vector<THookTimeRange> ParseHookTimeRanges(const std::string& text) {
    std::vector<THookTimeRange> ranges;
    std::string rest = TrimText(text);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string item = TrimText(rest.substr(0, comma));
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
        const size_t dash = item.find('-');
        const std::string startText = dash == std::string::npos ? item : TrimText(item.substr(0, dash));
        const std::string endText = dash == std::string::npos ? item : TrimText(item.substr(dash + 1));
        const int64_t start = ReadMilliseconds(startText) * 1000;
        const int64_t end = ReadMilliseconds(endText) * 1000;
        if (end >= start && end >= 0) ranges.push_back({start, end});
    }
    return ranges;
}

int64_t TimestampToUnixSeconds(double timestamp) {
    // "Now" is the current instant itself, whatever the season.
    if (timestamp == 0) return static_cast<int64_t>(std::time(nullptr));
    tzset();
    const double biasMinutes = static_cast<double>(timezone) / 60.0;  // UTC = local + bias
    return std::llround((timestamp - kUnixEpochDays + biasMinutes / 1440.0) * 86400.0);
}
