#include "WindowSettings.h"

#include "DefaultOutputFolder.h"
#include "IniFile.h"

namespace {

constexpr const char* kSection = "Options";

// Only the exact text "True" counts as checked.
bool ReadFlag(const TIniFile& file, const char* key, bool fallback) {
    return file.ReadString(kSection, key, fallback ? "True" : "False") == "True";
}

const char* FlagText(bool value) { return value ? "True" : "False"; }

}  // namespace

TWindowSettings ReadWindowSettings(const std::string& path) {
    const TIniFile file(path);
    TWindowSettings settings;
    settings.OutputPath = file.ReadString(kSection, "OutputPath", "");
    if (settings.OutputPath.empty()) settings.OutputPath = DefaultOutputFolder();
    if (settings.OutputPath.back() != '/') settings.OutputPath += '/';
    settings.Profile = file.ReadInteger(kSection, "Profile", settings.Profile);
    settings.Resolution = file.ReadInteger(kSection, "Resolution", settings.Resolution);
    settings.Channels = file.ReadInteger(kSection, "Channels", settings.Channels);
    settings.VideoQuality = file.ReadString(kSection, "VideoQuality", settings.VideoQuality);
    settings.AudioQuality = file.ReadString(kSection, "AudioQuality", settings.AudioQuality);
    settings.VideoFrameRate = file.ReadInteger(kSection, "VideoFrameRate", settings.VideoFrameRate);
    settings.AudioSampleRate = file.ReadInteger(kSection, "AudioSampleRate", settings.AudioSampleRate);
    settings.Overwrite = ReadFlag(file, "Overwrite", settings.Overwrite);
    settings.ShutdownAfterCompleted = ReadFlag(file, "ShutdownAfterCompleted", settings.ShutdownAfterCompleted);
    settings.KeepShape = ReadFlag(file, "KeepShape", settings.KeepShape);
    settings.Device = file.ReadInteger(kSection, "Device", settings.Device);
    settings.Ipod = file.ReadString(kSection, "Ipod", settings.Ipod);
    // Unchecked, the box removes files from this computer: only the exact
    // text it writes for that unchecks it.
    settings.KeepCopy = file.ReadString(kSection, "KeepCopy", FlagText(true)) != FlagText(false);
    // The size is one value: half of it is no size.
    const int32_t width = file.ReadInteger(kSection, "WindowWidth", -1);
    const int32_t height = file.ReadInteger(kSection, "WindowHeight", -1);
    if (width >= 0 && height >= 0) {
        settings.WindowWidth = width;
        settings.WindowHeight = height;
    }
    settings.WindowMaximized = ReadFlag(file, "WindowMaximized", settings.WindowMaximized);
    return settings;
}

void WriteWindowSettings(const std::string& path, const TWindowSettings& settings) {
    TIniFile file(path);
    file.WriteString(kSection, "OutputPath", settings.OutputPath);
    file.WriteInteger(kSection, "Profile", settings.Profile);
    file.WriteInteger(kSection, "Resolution", settings.Resolution);
    file.WriteInteger(kSection, "Channels", settings.Channels);
    file.WriteString(kSection, "VideoQuality", settings.VideoQuality);
    file.WriteString(kSection, "AudioQuality", settings.AudioQuality);
    file.WriteInteger(kSection, "VideoFrameRate", settings.VideoFrameRate);
    file.WriteInteger(kSection, "AudioSampleRate", settings.AudioSampleRate);
    file.WriteString(kSection, "Overwrite", FlagText(settings.Overwrite));
    file.WriteString(kSection, "ShutdownAfterCompleted", FlagText(settings.ShutdownAfterCompleted));
    file.WriteString(kSection, "KeepShape", FlagText(settings.KeepShape));
    file.WriteInteger(kSection, "Device", settings.Device);
    file.WriteInteger(kSection, "WindowWidth", settings.WindowWidth);
    file.WriteInteger(kSection, "WindowHeight", settings.WindowHeight);
    file.WriteString(kSection, "WindowMaximized", FlagText(settings.WindowMaximized));
    file.WriteString(kSection, "Ipod", settings.Ipod);
    file.WriteString(kSection, "KeepCopy", FlagText(settings.KeepCopy));
    file.UpdateFile();
}
