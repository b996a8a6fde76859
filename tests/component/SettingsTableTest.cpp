// The settings table as every front end reads it: each row's default and
// items are values the row takes and survive Options.ini, devices are kept
// by name with their old numbers still read, values given on their own win
// over a profile, and the command line takes and refuses what the row says.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "SettingsTable.h"

namespace {

class EveryRow : public testing::TestWithParam<TSettingRow> {};

TEST_P(EveryRow, DefaultsAndItemsAreValuesTheRowTakesAndKeeps) {
    const TSettingRow& row = GetParam();
    std::vector<std::string> values = {row.Default};
    if (row.WindowDefault) values.push_back(row.WindowDefault);
    for (const TSettingItem& item : ItemsOf(row)) values.push_back(item.Value);
    for (const std::string& value : values) {
        EXPECT_EQ(SettingValueProblem(row, value), "") << value;
        if (!row.IniKey) continue;
        EXPECT_EQ(ValueOfStored(row, StoredOfValue(row, value)), value) << value;
        if (row.Field.Get && row.Field.Set) {
            TConversionSettings settings;
            row.Field.Set(settings, value);
            EXPECT_EQ(row.Field.Get(settings), value);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SettingsTable, EveryRow, testing::ValuesIn(SettingRows().begin(), SettingRows().end()),
                         [](const testing::TestParamInfo<TSettingRow>& info) {
                             std::string name = info.param.Name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

struct StoredDevice {
    const char* stored;
    const char* device;  // nullptr: not read
};

class StoredDevices : public testing::TestWithParam<StoredDevice> {};

TEST_P(StoredDevices, AreReadByNameAndByTheirOldNumber) {
    const std::optional<std::string> value = ValueOfStored(SettingRow("device"), GetParam().stored);
    if (!GetParam().device) {
        EXPECT_FALSE(value.has_value()) << *value;
    } else {
        EXPECT_EQ(value, std::optional<std::string>(GetParam().device));
    }
}

INSTANTIATE_TEST_SUITE_P(SettingsTable, StoredDevices,
                         testing::Values(StoredDevice{"iphone", "iphone"}, StoredDevice{"rockbox", "rockbox"},
                                         StoredDevice{"0", "ipod"}, StoredDevice{"1", "ipod-h264"},
                                         StoredDevice{"2", "iphone"}, StoredDevice{"0x3", "rockbox"},
                                         StoredDevice{"4", nullptr}, StoredDevice{"-1", nullptr},
                                         StoredDevice{"zune", nullptr}));

TEST(SettingsTable, DevicesAreWrittenByTheirShortName) {
    EXPECT_EQ(StoredOfValue(SettingRow("device"), "iphone"), "iphone");
}

TEST(SettingsTable, ValuesGivenOnTheirOwnWinOverAProfile) {
    const TConversionSettings settings = SettingsFrom({{"video-bitrate", "600"}, {"profile", "7"}});
    EXPECT_EQ(settings.VideoBitrateKbps, 600);
    EXPECT_EQ(settings.AudioBitrateKbps, 160);
    EXPECT_EQ(settings.Channels, 2);
}

TEST(SettingsTable, UnsetValuesAreTheDefaults) {
    const TConversionSettings settings = SettingsFrom({});
    EXPECT_EQ(settings.VideoBitrateKbps, 512);
    EXPECT_EQ(settings.FrameSize, "320x240");
    EXPECT_EQ(settings.FrameRate, "30");
    EXPECT_EQ(std::string(DeviceAt(settings.Device).ShortName), "ipod");
    EXPECT_TRUE(settings.KeepShape);
    EXPECT_FALSE(settings.Overwrite);
}

std::string CliOutput(const std::string& arguments, int& status) {
    const std::string command = std::string(TOVRELA_CLI_PATH) + " convert " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, read);
    const int result = pclose(pipe);
    status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

struct Refused {
    const char* arguments;
    const char* message;
};

class CommandLineSettings : public testing::TestWithParam<Refused> {};

TEST_P(CommandLineSettings, RefuseValuesOutsideTheirRow) {
    int status = 0;
    const std::string output = CliOutput(GetParam().arguments, status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(output.find(GetParam().message), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    SettingsTable, CommandLineSettings,
    testing::Values(Refused{"--video-bitrate 31 a.avi", "option '--video-bitrate' takes a number from 32 to 4000, not '31'"},
                    Refused{"--sample-rate 96001 a.avi", "takes a number from 8000 to 96000, not '96001'"},
                    Refused{"--channels 3 a.avi", "option '--channels' takes one of 1, 2, not '3'"},
                    Refused{"--device zune a.avi", "option '--device' takes one of ipod, ipod-h264, iphone, rockbox"},
                    Refused{"--profile 9 a.avi", "option '--profile' takes one of 0, 1, 2, 3, 4, 5, 6, 7, not '9'"},
                    Refused{"a.avi --fps", "option '--fps' needs a value"}));

TEST(SettingsTable, HelpNamesEveryOptionOfTheTable) {
    int status = 0;
    const std::string help = CliOutput("--help", status);
    EXPECT_EQ(status, 0);
    for (const TSettingRow& row : SettingRows()) {
        if (!row.Option) continue;
        EXPECT_NE(help.find(std::string("\n  ") + row.Option), std::string::npos) << row.Option;
    }
    EXPECT_NE(help.find("video bit rate (default 512)"), std::string::npos) << help;
}

}  // namespace
