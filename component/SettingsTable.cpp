#include "SettingsTable.h"

#include <stdexcept>
#include <type_traits>

#include "JobBuilder.h"
#include "OutputProfiles.h"
#include "TextConversion.h"

namespace {

template <auto Member>
void SetMember(TConversionSettings& settings, const std::string& value) {
    using T = std::remove_cvref_t<decltype(settings.*Member)>;
    if constexpr (std::is_same_v<T, bool>)
        settings.*Member = value == "true";
    else if constexpr (std::is_same_v<T, std::string>)
        settings.*Member = value;
    else
        settings.*Member = ReadInt32(value).value_or(0);
}

template <auto Member>
std::string GetMember(const TConversionSettings& settings) {
    using T = std::remove_cvref_t<decltype(settings.*Member)>;
    if constexpr (std::is_same_v<T, bool>)
        return settings.*Member ? "true" : "false";
    else if constexpr (std::is_same_v<T, std::string>)
        return settings.*Member;
    else
        return std::to_string(settings.*Member);
}

template <auto Member>
constexpr TSettingField Bind{&SetMember<Member>, &GetMember<Member>};

// The items as the window lists them, each stored by its position.
std::vector<TSettingItem> Listed(std::initializer_list<const char*> values) {
    std::vector<TSettingItem> items;
    for (const char* value : values) items.push_back({value, value, std::to_string(items.size())});
    return items;
}

std::vector<TSettingItem> ProfileItems() {
    std::vector<TSettingItem> items;
    for (const TOutputProfile& profile : OutputProfiles()) {
        const std::string index = std::to_string(items.size());
        items.push_back({profile.Label, index, index});
    }
    return items;
}

// A size added later takes the next stored number, wherever it shows, so
// that a stored number keeps meaning the size it meant.
std::vector<TSettingItem> SizeItems() {
    return {{"160x120", "160x120", "0"}, {"320x180", "320x180", "1"}, {"320x240", "320x240", "2"},
            {"480x480", "480x480", "3"}, {"640x480", "640x480", "8"}, {"640x272", "640x272", "4"},
            {"640x360", "640x360", "5"}, {"720x306", "720x306", "6"}, {"720x320", "720x320", "7"}};
}

std::vector<TSettingItem> ChannelItems() { return {{"1 Channel, Mono", "1", "0"}, {"2 Channels, Stereo", "2", "1"}}; }

std::vector<TSettingItem> FrameRateItems() {
    return Listed({kKeepInputFrameRate, "8", "10", "12", "15", "20", "23.97", "24", "25", "29.97", "30", "60"});
}

std::vector<TSettingItem> SampleRateItems() { return Listed({"8000", "16000", "22050", "32000", "44100", "48000"}); }

// Devices are stored by their short name, so that a row can be added
// anywhere in the device table.
std::vector<TSettingItem> DeviceItems() {
    std::vector<TSettingItem> items;
    for (const TDevice& device : Devices()) items.push_back({device.Name, device.ShortName, device.ShortName});
    return items;
}

// The device rows as Options.ini numbered them before it kept their names.
constexpr const char* kNumberedDevices[] = {"ipod", "ipod-h264", "iphone", "rockbox"};

constexpr TSettingField kProfileField{
    [](TConversionSettings& settings, const std::string& value) {
        const auto profiles = OutputProfiles();
        const std::optional<int32_t> index = ReadInt32(value);
        if (index && *index >= 0 && static_cast<size_t>(*index) < profiles.size())
            ApplyProfile(settings, profiles[static_cast<size_t>(*index)]);
    },
    nullptr};

constexpr TSettingField kDeviceField{
    [](TConversionSettings& settings, const std::string& value) {
        settings.Device = FindDevice(value).value_or(kDefaultDeviceIndex);
    },
    [](const TConversionSettings& settings) { return std::string(DeviceAt(settings.Device).ShortName); }};

constexpr TSettingField kOutputFolderField{
    [](TConversionSettings& settings, const std::string& value) {
        settings.OutputFolder = value.empty() ? value : WithTrailingSlash(value);
    },
    &GetMember<&TConversionSettings::OutputFolder>};

// "eng,jpn": the languages in the order wanted, blanks around them dropped.
constexpr TSettingField kAudioLanguagesField{
    [](TConversionSettings& settings, const std::string& value) {
        std::vector<std::string>& languages = settings.Inputs.AudioLanguages;
        languages.clear();
        size_t start = 0;
        while (start <= value.size()) {
            size_t end = value.find(',', start);
            if (end == std::string::npos) end = value.size();
            const std::string word = TrimText(value.substr(start, end - start));
            if (!word.empty()) languages.push_back(word);
            start = end + 1;
        }
    },
    [](const TConversionSettings& settings) {
        std::string text;
        for (const std::string& language : settings.Inputs.AudioLanguages) text += (text.empty() ? "" : ",") + language;
        return text;
    }};

constexpr TSettingField kCropField{
    [](TConversionSettings& settings, const std::string& value) { settings.Inputs.Crop = TrimText(value); },
    [](const TConversionSettings& settings) { return settings.Inputs.Crop; }};

constexpr TSettingField kDeinterlaceField{
    [](TConversionSettings& settings, const std::string& value) { settings.Inputs.Deinterlace = value; },
    [](const TConversionSettings& settings) { return settings.Inputs.Deinterlace; }};

constexpr TSettingField kSubtitlesField{
    [](TConversionSettings& settings, const std::string& value) { settings.Inputs.Subtitles = TrimText(value); },
    [](const TConversionSettings& settings) { return settings.Inputs.Subtitles; }};

constexpr TSettingField kBurnSubtitlesField{
    [](TConversionSettings& settings, const std::string& value) { settings.Inputs.BurnSubtitles = value == "true"; },
    [](const TConversionSettings& settings) { return std::string(settings.Inputs.BurnSubtitles ? "true" : "false"); }};

std::vector<TSettingItem> DeinterlaceItems() {
    return {{"Auto", "auto", "auto"}, {"On", "on", "on"}, {"Off", "off", "off"}};
}

// The window lays the rows of a place out in this order; --help lists them
// in it too.
const TSettingRow kRows[] = {
    {.Name = "profile", .Type = TSettingType::Choice, .Default = "3", .IniKey = "Profile", .Option = "--profile",
     .ValueHint = "N", .Help = "one of the profiles listed below (the window's); sets bit rates and channels",
     .Label = "Profiles: ", .ControlName = "CboProfiles", .Place = TSettingPlace::OutputLine, .Width = 420,
     .Items = ProfileItems, .SetsOtherRows = true, .Field = kProfileField},
    {.Name = "size", .Type = TSettingType::Text, .Default = "320x240", .IniKey = "Resolution", .Option = "--size",
     .ValueHint = "WxH", .Help = "frame size", .Label = "Video Size: ", .ControlName = "CboResolution",
     .Place = TSettingPlace::Output, .Width = 120, .Items = SizeItems, .Field = Bind<&TConversionSettings::FrameSize>},
    {.Name = "video-bitrate", .Type = TSettingType::Number, .Min = 32, .Max = 4000, .Default = "512",
     .IniKey = "VideoQuality", .Option = "--video-bitrate", .ValueHint = "KBPS", .Help = "video bit rate",
     .Label = "Video Bitrate: ", .Unit = "kbps", .ControlName = "SpinVideo", .Place = TSettingPlace::Output,
     .Width = 90, .Field = Bind<&TConversionSettings::VideoBitrateKbps>},
    {.Name = "channels", .Type = TSettingType::Choice, .Default = "2", .IniKey = "Channels", .Option = "--channels",
     .ValueHint = "1|2", .Help = "mono or stereo", .Label = "Audio Channels: ", .ControlName = "CboChannels",
     .Place = TSettingPlace::Output, .Width = 150, .Items = ChannelItems,
     .Field = Bind<&TConversionSettings::Channels>},
    {.Name = "audio-bitrate", .Type = TSettingType::Number, .Min = 8, .Max = 384, .Default = "80",
     .IniKey = "AudioQuality", .Option = "--audio-bitrate", .ValueHint = "KBPS", .Help = "audio bit rate",
     .Label = "Audio Bitrate: ", .Unit = "kbps", .ControlName = "SpinAudio", .Place = TSettingPlace::Output,
     .Width = 90, .Field = Bind<&TConversionSettings::AudioBitrateKbps>},
    {.Name = "fps", .Type = TSettingType::Text, .Default = "30", .IniKey = "VideoFrameRate", .Option = "--fps",
     .ValueHint = "RATE",
     .Help = "Auto (keep the input's, halved when the device cannot play it), 23.97, 29.97 or a number",
     .Label = "Video Frame Rate: ", .Unit = "fps", .ControlName = "CboFrameRate", .Place = TSettingPlace::Output,
     .Width = 90, .Items = FrameRateItems, .Field = Bind<&TConversionSettings::FrameRate>},
    {.Name = "sample-rate", .Type = TSettingType::Number, .Min = 8000, .Max = 96000, .Default = "44100",
     .IniKey = "AudioSampleRate", .Option = "--sample-rate", .ValueHint = "HZ", .Help = "audio sample rate",
     .Label = "Audio Sample Rate: ", .Unit = "Hz", .ControlName = "CboAudioSampleRate",
     .Place = TSettingPlace::Output, .Width = 90, .Items = SampleRateItems,
     .Field = Bind<&TConversionSettings::AudioSampleRate>},
    {.Name = "device", .Type = TSettingType::Choice, .Default = "ipod", .IniKey = "Device", .Option = "--device",
     .ValueHint = "NAME", .Help = "the device the files are made for", .ListsItemsInHelp = true,
     .Label = "Device: ", .ControlName = "CboDevice", .Place = TSettingPlace::OutputLine, .Width = 420,
     .Items = DeviceItems, .NumberedValues = kNumberedDevices, .Field = kDeviceField},
    {.Name = "audio-language", .Type = TSettingType::Text, .IniKey = "AudioLanguage", .Option = "--audio-language",
     .ValueHint = "LANG[,LANG...]",
     .Help = "the sound track of the first of these languages that the file has (eng, en or English); "
             "default: the track the file marks as default, else the first",
     .Label = "Audio Language: ", .ControlName = "EdtAudioLanguage", .Place = TSettingPlace::Output, .Width = 90,
     .Field = kAudioLanguagesField},
    {.Name = "crop", .Type = TSettingType::Text, .Default = "auto", .IniKey = "Crop", .Option = "--crop",
     .ValueHint = "auto|none|T:B:L:R",
     .Help = "cut black bands off the picture: those found in every bright picture sampled across the file, "
             "none, or the pixels given (top:bottom:left:right)",
     .Label = "Crop: ", .ControlName = "EdtCrop", .Place = TSettingPlace::Output, .Width = 90,
     .Field = kCropField},
    {.Name = "deinterlace", .Type = TSettingType::Choice, .Default = "auto", .IniKey = "Deinterlace",
     .Option = "--deinterlace", .ValueHint = "auto|on|off",
     .Help = "deinterlace files whose sampled pictures are interlaced, every file, or none",
     .Label = "Deinterlace: ", .ControlName = "CboDeinterlace", .Place = TSettingPlace::Output, .Width = 90,
     .Items = DeinterlaceItems, .Field = kDeinterlaceField},
    {.Name = "subtitles", .Type = TSettingType::Text, .IniKey = "Subtitles", .Option = "--subtitles",
     .ValueHint = "LANG|none",
     .Help = "the subtitle track of this language (eng, en or English), or none; default: the track the file "
             "marks as forced, else none. A text track where the device shows one, else drawn into the picture",
     .Label = "Subtitles: ", .ControlName = "EdtSubtitles", .Place = TSettingPlace::Output, .Width = 90,
     .Field = kSubtitlesField},
    {.Name = "output-folder", .Type = TSettingType::Text, .IniKey = "OutputPath", .Option = "--output-folder",
     .ValueHint = "DIR", .Help = "where the files go (default ~/My iPod Files/)", .Place = TSettingPlace::Own,
     .Field = kOutputFolderField},
    {.Name = "overwrite", .Type = TSettingType::Flag, .Default = "false", .WindowDefault = "true",
     .IniKey = "Overwrite", .Option = "--overwrite",
     .Help = "replace existing files instead of adding \"(n)\" to the name", .Label = "Overwrite existing files",
     .ControlName = "ChkOverwrite", .Place = TSettingPlace::Other, .Field = Bind<&TConversionSettings::Overwrite>},
    {.Name = "shutdown", .Type = TSettingType::Flag, .Default = "false", .IniKey = "ShutdownAfterCompleted",
     .Label = "Shut down computer when completed", .ControlName = "ChkShutdown", .Place = TSettingPlace::Other,
     .Field = {}},
    {.Name = "keep-shape", .Type = TSettingType::Flag, .Default = "true", .IniKey = "KeepShape", .Option = "--stretch",
     .Help = "stretch the picture to the frame size instead of keeping its shape inside it with black bands",
     .Label = "Keep picture shape", .ControlName = "ChkKeepShape", .Place = TSettingPlace::Other,
     .Field = Bind<&TConversionSettings::KeepShape>},
    {.Name = "burn-subtitles", .Type = TSettingType::Flag, .Default = "false", .IniKey = "BurnSubtitles",
     .Option = "--burn-subtitles",
     .Help = "draw the subtitles into the picture even where the device shows a text track",
     .Label = "Burn subtitles into the picture", .ControlName = "ChkBurnSubtitles", .Place = TSettingPlace::Other,
     .Field = kBurnSubtitlesField},
    {.Name = "music-video", .Type = TSettingType::Flag, .Default = "false", .Option = "--music-video",
     .Help = "mark the files as music videos (default: movies, or TV shows when the name says S01E02 or 1x02)",
     .Field = Bind<&TConversionSettings::MusicVideo>},
};

std::string Joined(const std::vector<TSettingItem>& items) {
    std::string text;
    for (const TSettingItem& item : items) text += (text.empty() ? "" : ", ") + item.Value;
    return text;
}

// The words of `text` in lines of at most `width` characters after `indent`.
std::string Wrapped(const std::string& text, size_t indent, size_t width) {
    std::string lines, line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines += line + "\n" + std::string(indent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return lines + line;
}

}  // namespace

TConversionSettings::TConversionSettings() {
    for (const TSettingRow& row : kRows)
        if (row.Field.Set) row.Field.Set(*this, row.Default);
}

std::span<const TSettingRow> SettingRows() { return kRows; }

const TSettingRow& SettingRow(std::string_view name) {
    for (const TSettingRow& row : kRows)
        if (name == row.Name) return row;
    throw std::logic_error("no setting named " + std::string(name));
}

const TSettingRow* SettingRowOfOption(std::string_view option) {
    for (const TSettingRow& row : kRows)
        if (row.Option && option == row.Option) return &row;
    return nullptr;
}

std::vector<TSettingItem> ItemsOf(const TSettingRow& row) { return row.Items ? row.Items() : std::vector<TSettingItem>{}; }

std::string SettingValueProblem(const TSettingRow& row, const std::string& value) {
    switch (row.Type) {
        case TSettingType::Number: {
            const std::optional<int32_t> number = ReadInt32(value);
            if (number && *number >= row.Min && *number <= row.Max) return "";
            return "takes a number from " + std::to_string(row.Min) + " to " + std::to_string(row.Max);
        }
        case TSettingType::Choice: {
            const std::vector<TSettingItem> items = ItemsOf(row);
            for (const TSettingItem& item : items)
                if (item.Value == value) return "";
            return "takes one of " + Joined(items);
        }
        case TSettingType::Flag: return value == "true" || value == "false" ? "" : "is on or off";
        case TSettingType::Text: return "";
    }
    return "";
}

TSettingValues DefaultSettingValues(bool forWindow) {
    TSettingValues values;
    for (const TSettingRow& row : kRows) values[row.Name] = forWindow && row.WindowDefault ? row.WindowDefault : row.Default;
    return values;
}

TConversionSettings SettingsFrom(const TSettingValues& values) {
    TConversionSettings settings;
    for (const TSettingRow& row : kRows) {
        const auto given = values.find(row.Name);
        if (given != values.end() && row.Field.Set) row.Field.Set(settings, given->second);
    }
    return settings;
}

std::optional<std::string> ValueOfStored(const TSettingRow& row, const std::string& stored) {
    if (row.Type == TSettingType::Flag) return std::string(stored == "True" ? "true" : "false");
    const std::optional<int32_t> number = ReadInt32(stored, THexReach::AllBits);
    const std::vector<TSettingItem> items = ItemsOf(row);
    for (const TSettingItem& item : items)
        if (item.Stored == stored || (number && item.Stored == std::to_string(*number))) return item.Value;
    if (number && *number >= 0 && static_cast<size_t>(*number) < row.NumberedValues.size())
        return std::string(row.NumberedValues[static_cast<size_t>(*number)]);
    if (!items.empty()) return std::nullopt;
    if (row.Type == TSettingType::Number) {
        if (number && *number >= row.Min && *number <= row.Max) return std::to_string(*number);
        return std::nullopt;
    }
    return stored;
}

std::string StoredOfValue(const TSettingRow& row, const std::string& value) {
    if (row.Type == TSettingType::Flag) return value == "true" ? "True" : "False";
    for (const TSettingItem& item : ItemsOf(row))
        if (item.Value == value) return item.Stored;
    return value;
}

std::string SettingsHelp() {
    constexpr size_t kTextColumn = 24;
    constexpr size_t kLineWidth = 79;
    std::string help;
    for (const TSettingRow& row : kRows) {
        if (!row.Option) continue;
        std::string line = "  " + std::string(row.Option) + (*row.ValueHint ? " " : "") + row.ValueHint;
        line += line.size() + 2 <= kTextColumn ? std::string(kTextColumn - line.size(), ' ') : "  ";
        std::string text = row.Help;
        if (row.Type != TSettingType::Flag && *row.Default) text += std::string(" (default ") + row.Default + ")";
        if (row.ListsItemsInHelp) text += ":";
        help += line + Wrapped(text, kTextColumn, kLineWidth - kTextColumn) + "\n";
        if (!row.ListsItemsInHelp) continue;
        for (const TSettingItem& item : ItemsOf(row))
            help += std::string(kTextColumn + 2, ' ') + item.Value + ": " + item.Shown + "\n";
    }
    return help;
}
