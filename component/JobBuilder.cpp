#include "JobBuilder.h"
#include "OutputTags.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>
#include <system_error>

#include "IpodLimits.h"
#include "LocalFile.h"
#include "OutputClaims.h"
#include "OutputNaming.h"
#include "VexmoConverter.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace {

bool SameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    return std::filesystem::equivalent(first, second, error) && !error;
}

// A name is taken by the input itself and by another task's output; a file
// of an earlier run only when it may not be overwritten.
bool Taken(const std::string& candidate, const std::string& inputPath, bool overwrite) {
    if (SameFile(candidate, inputPath) || TOutputClaim::ClaimedByOther(candidate)) return true;
    std::error_code error;
    return !overwrite && std::filesystem::exists(candidate, error);
}

struct ProbedInput {
    int64_t durationUs = -1;  // -1 when the probe cannot tell
    int64_t announcedUs = -1;
    std::string container;  // the demuxer's short name, empty when not opened
    bool opened = false;
    bool pictureOrSound = false;
    bool picture = false;
    std::string title;      // the input's own title tag
    std::pair<int, int> frameRate{0, 1};  // of its first video stream
    TInputSurvey survey;
};

ProbedInput ProbeInput(TAVProbe& probe, const std::string& inputPath) {
    ProbedInput probed;
    if (!probe.Open(inputPath, "")) return probed;
    TAVFileInfo info{};
    probe.GetInfo(info);
    probed.opened = true;
    probed.container = probe.ContainerFormat();
    probed.picture = probe.VideoStreamCount() > 0;
    probed.pictureOrSound = probed.picture || probe.AudioStreamCount() > 0;
    probed.announcedUs = probe.AnnouncedDurationUs();
    probed.title = info.Title;
    probed.frameRate = probe.VideoFrameRate();
    probed.survey = SurveyInput(probe.Context());
    probe.Close();
    probed.durationUs = info.Duration == AV_NOPTS_VALUE || info.Duration < 0 ? -1 : info.Duration;
    return probed;
}

// "mov,mp4,m4a,3gp,3g2,mj2" reads "MOV".
std::string ContainerTypeText(const std::string& container) {
    std::string text = container.substr(0, container.find(','));
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Why the engine could not open the file, in a person's words: the file
// system's reason when there is one, else its content.
void RefuseInput(TJob& job, const std::string& inputPath, TRefusalReason reason, int errorNumber = 0) {
    job.Refusal = RunTexts::NotSupported(inputPath, reason, errorNumber);
    job.RefusalReason = RunTexts::RefusalReasonText(reason, errorNumber);
}

void RefuseInput(TJob& job, const std::string& inputPath) {
    const TLocalFileCheck check = CheckLocalFile(inputPath);
    switch (check.problem) {
        case TLocalFileProblem::NotLocal: return RefuseInput(job, inputPath, TRefusalReason::NotLocal);
        case TLocalFileProblem::CannotOpen:
            return RefuseInput(job, inputPath, TRefusalReason::CannotOpen, check.errorNumber);
        case TLocalFileProblem::NotRegular: return RefuseInput(job, inputPath, TRefusalReason::NotRegular);
        case TLocalFileProblem::Empty: return RefuseInput(job, inputPath, TRefusalReason::Empty);
        case TLocalFileProblem::None: break;
    }
    RefuseInput(job, inputPath, TRefusalReason::NotMedia);
}

// The encoders' own settings for the device, and the level the stream
// declares, as option lines for the engine.
std::string EncoderOptionText(const TDevice& device, const TDeviceLevel& level) {
    std::string text =
        std::string(device.VideoEncoderOptions) + device.VideoQualityOptions + device.AudioEncoderOptions;
    // Every device decodes 8-bit 4:2:0 pictures only; left to itself the
    // engine keeps a 10-bit source's depth and x264 writes High 10.
    text += "pix_fmt=yuv420p\n";
    text += "level=" + std::to_string(level.Level) + "\n";
    if (level.MaxReferences > 0) text += "refs=" + std::to_string(level.MaxReferences) + "\n";
    return text;
}

}  // namespace

void ApplyProfile(TConversionSettings& settings, const TOutputProfile& profile) {
    settings.VideoBitrateKbps = profile.VideoBitrateKbps;
    settings.AudioBitrateKbps = profile.AudioBitrateKbps;
    settings.Channels = profile.Channels;
}

TVideoRateControl VideoRateControl(int32_t bitRate, const TDevice& device, const TDeviceLevel& level) {
    TVideoRateControl control;
    const int32_t peak = device.HighestLevel().MaxBitRate;
    control.BitRate = std::min({bitRate, level.MaxBitRate, device.TopVideoBitRate()});
    // A buffer drained at the highest rate never sends more in a second than
    // the two together; near the device's peak both give way. A buffer of a
    // few pictures only would leave the rate well under its target: the
    // encoder then holds back for the key frames to come.
    control.BufferSize = std::min(control.BitRate, std::max(peak - control.BitRate, control.BitRate / 16));
    if (level.MaxBufferSize > 0) control.BufferSize = std::min(control.BufferSize, level.MaxBufferSize);
    // x264 keeps to the target best, and makes the better picture, when the
    // buffer drains at the target itself: given room above it, it stayed up
    // to 12 % under on easy pictures and lost up to 1.4 dB.
    const int32_t drain = device.VideoCodec == AV_CODEC_ID_H264 ? control.BitRate : control.BitRate * 2;
    control.MaxRate = std::max(control.BitRate, std::min({drain, level.MaxBitRate, peak - control.BufferSize}));
    control.Tolerance = control.BitRate;
    control.KeyFrameInterval = device.MaxKeyFrameInterval;
    return control;
}

std::string FrameRateOption(const std::string& listed) {
    if (listed == kKeepInputFrameRate) return "";
    if (listed == "23.97") return "24000/1001";
    if (listed == "29.97") return "30000/1001";
    return listed;
}

double FrameRateValue(const std::string& listed) {
    const std::string option = FrameRateOption(listed);
    if (option.empty()) return 0.0;
    char* end = nullptr;
    const double numerator = std::strtod(option.c_str(), &end);
    if (*end == '/') {
        const double denominator = std::strtod(end + 1, nullptr);
        return denominator > 0.0 ? numerator / denominator : 0.0;
    }
    return numerator;
}

TOutputOptions BuildOutputOptions(const TConversionSettings& chosen, const std::string& outputPath) {
    const TDevicePlan plan = PlanForDevice(chosen);
    const TConversionSettings& settings = plan.Settings;
    const TDevice& device = DeviceAt(settings.Device);
    TOutputOptions options;
    options.OutputFormat = device.Muxer;
    options.VideoCodec = device.VideoEncoder;
    options.AudioCodec = device.AudioEncoder;
    options.ExtraOptions = EncoderOptionText(device, plan.Level);
    options.AudioChannels = settings.Channels == 1 ? 1 : 2;
    options.AudioBitrate = settings.AudioBitrateKbps * 1000;
    const TVideoRateControl rateControl = VideoRateControl(settings.VideoBitrateKbps * 1000, device, plan.Level);
    options.VideoBitrate = rateControl.BitRate;
    options.VideoMaxRate = rateControl.MaxRate;
    options.VideoBufferSize = rateControl.BufferSize;
    options.VideoBitrateTolerance = rateControl.Tolerance;
    options.GopSize = rateControl.KeyFrameInterval;
    const double frameRate = FrameRateValue(settings.FrameRate);
    if (frameRate > 0.0)
        options.GopSize = std::clamp(static_cast<int32_t>(frameRate * kMaxKeyFrameSeconds), 1, options.GopSize);
    options.FrameSize = settings.FrameSize;
    options.FrameRate = FrameRateOption(settings.FrameRate);
    options.KeepShape = settings.KeepShape;
    options.AudioSampleRate = settings.AudioSampleRate;
    options.Timestamp = 0;
    options.FileExt = device.Extension;
    options.FileName = outputPath;
    options.ReplaceExisting = settings.Overwrite;
    if (settings.CopyStreams) {
        const TOutputOptions unset;
        options.VideoCodec = options.AudioCodec = "copy";
        options.ExtraOptions.clear();
        options.AudioChannels = unset.AudioChannels;
        options.AudioBitrate = unset.AudioBitrate;
        options.AudioSampleRate = unset.AudioSampleRate;
        options.VideoBitrate = unset.VideoBitrate;
        options.VideoMaxRate = unset.VideoMaxRate;
        options.VideoBufferSize = unset.VideoBufferSize;
        options.VideoBitrateTolerance = unset.VideoBitrateTolerance;
        options.GopSize = unset.GopSize;
        options.FrameSize = unset.FrameSize;
        options.FrameRate = unset.FrameRate;
        options.KeepShape = false;
    }
    return options;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Runs of digits compare by value: without leading zeros, the
            // shorter run is the smaller number.
            size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA])) ++endA;
            while (endB < b.size() && isDigit(b[endB])) ++endB;
            size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == '0') ++startA;
            while (startB + 1 < endB && b[startB] == '0') ++startB;
            if (endA - startA != endB - startB) return endA - startA < endB - startB;
            const int order = a.compare(startA, endA - startA, b, startB, endB - startB);
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (lower(a[i]) != lower(b[j])) return lower(a[i]) < lower(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

namespace {

// The files of a folder as a file manager lists them: its subfolders first
// (when wanted, each with everything in it), then its files, each group in
// natural order; hidden entries aside, and linked folders not followed so
// that a link to a parent cannot loop.
void AddFolderFiles(const std::filesystem::path& folder, bool withSubfolders, const TNameLess& less,
                    std::vector<std::string>& files) {
    std::error_code error;
    std::vector<std::string> subfolders, inFolder;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().filename().string().starts_with(".")) continue;
        if (withSubfolders && entry.is_directory(error) && !entry.is_symlink(error))
            subfolders.push_back(entry.path().string());
        else if (entry.is_regular_file(error))
            inFolder.push_back(entry.path().string());
    }
    std::sort(subfolders.begin(), subfolders.end(), less);
    std::sort(inFolder.begin(), inFolder.end(), less);
    for (const std::string& subfolder : subfolders) AddFolderFiles(subfolder, withSubfolders, less, files);
    files.insert(files.end(), inFolder.begin(), inFolder.end());
}

}  // namespace

std::vector<std::string> ExpandInputs(const std::vector<std::string>& given, bool withSubfolders,
                                      const TNameLess& less) {
    std::vector<std::string> files;
    for (const std::string& path : given) {
        std::error_code error;
        if (std::filesystem::is_directory(path, error))
            AddFolderFiles(path, withSubfolders, less, files);
        else
            files.push_back(path);
    }
    return files;
}

std::string BaseNameOf(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string TypeTextOf(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return "";
    std::string type = name.substr(dot + 1);
    for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return type;
}

std::string WithTrailingSlash(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string ChooseOutputName(const std::string& folder, const std::string& baseName, const std::string& extension,
                             bool overwrite, const std::string& inputPath) {
    const std::string path = WithTrailingSlash(folder) + baseName + extension;
    for (int n = 0;; ++n) {
        const std::string numbered = NumberedOutputPath(path, n);
        if (!Taken(numbered, inputPath, overwrite)) return BaseNameOf(numbered);
    }
}

namespace {

// Pictures are sampled once per file and version of it: adding a file and
// converting it later, or converting a list again, reads it once.
TPictureSurvey SampledPictures(const std::string& path) {
    using Key = std::tuple<std::string, uintmax_t, std::filesystem::file_time_type>;
    static std::mutex mutex;
    static std::map<Key, TPictureSurvey> surveys;
    std::error_code error;
    const Key key{path, std::filesystem::file_size(path, error), std::filesystem::last_write_time(path, error)};
    {
        std::lock_guard lock(mutex);
        if (const auto found = surveys.find(key); found != surveys.end()) return found->second;
    }
    const TPictureSurvey survey = SurveyPictures(path);
    std::lock_guard lock(mutex);
    return surveys.emplace(key, survey).first->second;
}

}  // namespace

TInputDecisions DecideForInputFile(const TInputSurvey& survey, const std::string& path,
                                   const TConversionSettings& settings) {
    const TPictureSurvey pictures =
        settings.Inputs.SamplesPictures() && survey.Width > 0 ? SampledPictures(path) : TPictureSurvey{};
    return DecideForInput(survey, pictures, settings.Inputs, DeviceAt(settings.Device));
}

TJob AddJob(TVexmoConverter& component, const std::string& inputPath, const TConversionSettings& chosen) {
    TJob job;
    TInputOptions input;
    input.FileName = inputPath;
    const ProbedInput probed = ProbeInput(component.Probe(), inputPath);
    // A file without an extension is known by the container found in it.
    job.TypeText = TypeTextOf(inputPath);
    if (job.TypeText.empty()) job.TypeText = ContainerTypeText(probed.container);
    if (probed.durationUs >= 0) {
        job.DurationMs = probed.durationUs / 1000;
        job.DurationText = RunTexts::DurationText(probed.durationUs / 1000000);
    }
    if (probed.announcedUs >= 0) job.AnnouncedMs = probed.announcedUs / 1000;
    job.HasVideo = probed.picture;
    // Subtitles or data alone would make an output that plays nothing.
    if (probed.opened && !probed.pictureOrSound) {
        RefuseInput(job, inputPath, TRefusalReason::NoPictureNoSound);
        return job;
    }

    // "Auto" keeps the input's rate only where the device plays it.
    TConversionSettings settings = chosen;
    if (settings.FrameRate == kKeepInputFrameRate) {
        const std::string playable = AutoFrameRateFor(DeviceAt(settings.Device), probed.frameRate);
        if (!playable.empty()) settings.FrameRate = playable;
    }
    const TDevicePlan plan = PlanForDevice(settings);
    if (!plan.Refusal.empty()) {
        job.Refusal = TUserMessage{inputPath + ": " + plan.Refusal, RunTexts::kApplicationTitle, TMessageIcon::Warning};
        job.RefusalReason = plan.Refusal;
        return job;
    }
    const int32_t index = component.AddInputFile(inputPath, input);
    if (index < 0) {
        RefuseInput(job, inputPath);
        return job;
    }
    const std::string folder = WithTrailingSlash(settings.OutputFolder);
    TOutputOptions output = BuildOutputOptions(settings, "");
    // Copied streams are neither cropped, deinterlaced nor coloured anew;
    // their text subtitles go along as the device's text track.
    if (!settings.CopyStreams) {
        job.Decisions = DecideForInputFile(probed.survey, inputPath, settings);
        job.Notes = DecisionNotes(job.Decisions);
        output.ExtraOptions += DecisionOptionText(job.Decisions);
    } else {
        job.Decisions = DecideForCopy(probed.survey, settings.Inputs, DeviceAt(settings.Device));
        job.Notes = SubtitleNotes(job.Decisions);
        output.ExtraOptions += SubtitleOptionText(job.Decisions);
    }
    job.OutputName = ChooseOutputName(folder, BaseNameOf(inputPath), output.FileExt, settings.Overwrite, inputPath);
    const std::string outputPath = folder + job.OutputName + output.FileExt;
    output.FileName = outputPath;
    ApplyOutputTags(output, OutputTagsOf(inputPath, probed.title, settings.MusicVideo));
    if (!component.AddOutputFile(index, outputPath, output)) {
        job.Refusal = RunTexts::CannotConvert(component.LastErrorMessage());
        job.RefusalReason = component.LastErrorMessage();
        component.RemoveTask(index);
        return job;
    }
    job.TaskIndex = index;
    job.OutputPath = outputPath;
    return job;
}
