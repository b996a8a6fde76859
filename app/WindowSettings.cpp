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
    for (const TSettingRow& row : SettingRows()) {
        if (!row.IniKey) continue;
        // A key absent reads as this text, which no row takes for a value.
        constexpr const char* kAbsent = "\n";
        const std::string stored = file.ReadString(kSection, row.IniKey, kAbsent);
        if (stored == kAbsent) continue;
        if (const std::optional<std::string> value = ValueOfStored(row, stored)) settings.Values[row.Name] = *value;
    }
    std::string& folder = settings.Values["output-folder"];
    if (folder.empty()) folder = DefaultOutputFolder();
    if (folder.back() != '/') folder += '/';
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
    for (const TSettingRow& row : SettingRows()) {
        const auto value = settings.Values.find(row.Name);
        if (row.IniKey && value != settings.Values.end())
            file.WriteString(kSection, row.IniKey, StoredOfValue(row, value->second));
    }
    file.WriteInteger(kSection, "WindowWidth", settings.WindowWidth);
    file.WriteInteger(kSection, "WindowHeight", settings.WindowHeight);
    file.WriteString(kSection, "WindowMaximized", FlagText(settings.WindowMaximized));
    file.WriteString(kSection, "Ipod", settings.Ipod);
    file.WriteString(kSection, "KeepCopy", FlagText(settings.KeepCopy));
    file.UpdateFile();
}
