#pragma once
// The settings a person chooses for a conversion, declared once: the
// command line (its options and --help), the window (its settings panel),
// Options.ini (reading and writing) and the job all read these rows.
//
// A new setting is a field of TConversionSettings (ConversionSettings.h),
// one row of the table in SettingsTable.cpp, and its use where the job is
// built (BuildOutputOptions). The row gives its name (the command line's
// option and the key the front ends know it by), its type with range or
// items, its default, its Options.ini key, its help text and what the
// window shows; `Bind<&TConversionSettings::Field>` ties it to the field.
// The command line, --help, Options.ini and the window then take it
// without further edits.

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ConversionSettings.h"

enum class TSettingType {
    Number,  // a whole number from Min to Max
    Text,    // any text; items, when the row has them, are what the window lists
    Flag,    // "true" or "false"
    Choice,  // one of the items, by its value
};

// Where the window shows a row.
enum class TSettingPlace {
    None,        // nowhere
    Output,      // in the output settings, two to a line
    OutputLine,  // in the output settings, on a line of its own
    Other,       // among the other settings, as a check box
    Own,         // in a control of the window's own (the output folder)
};

struct TSettingItem {
    std::string Shown;   // as the window lists it
    std::string Value;   // as the command line takes it
    std::string Stored;  // as Options.ini keeps it
};

// How a row reads and writes its field of the settings.
struct TSettingField {
    void (*Set)(TConversionSettings& settings, const std::string& value) = nullptr;
    // Empty for a row whose value is not kept in the settings.
    std::string (*Get)(const TConversionSettings& settings) = nullptr;
};

struct TSettingRow {
    const char* Name;  // the command-line option without "--"
    TSettingType Type;
    int32_t Min = 0;  // Number rows
    int32_t Max = 0;
    const char* Default = "";
    // What a first start of the window shows, where it differs from Default.
    const char* WindowDefault = nullptr;
    const char* IniKey = nullptr;  // nullptr: not kept in Options.ini
    // The command line's option; a Flag row's option sets the opposite of
    // its default. nullptr: the command line does not take the row.
    const char* Option = nullptr;
    const char* ValueHint = "";  // "KBPS" in --help
    const char* Help = "";       // --help adds "(default ...)" to it
    bool ListsItemsInHelp = false;
    const char* Label = nullptr;  // in the window
    const char* Unit = nullptr;   // shown after the window's control
    const char* ControlName = nullptr;
    TSettingPlace Place = TSettingPlace::None;
    int Width = 0;  // of the window's control; 0: as wide as its content
    // The listed values; nullptr: none.
    std::vector<TSettingItem> (*Items)() = nullptr;
    // Values Options.ini stored by number before it stored them by name,
    // in the order of those numbers.
    std::span<const char* const> NumberedValues = {};
    // Choosing this row in the window sets other rows' values (a profile
    // sets the bit rates and channels).
    bool SetsOtherRows = false;
    TSettingField Field;
};

// A value for each named row, as the command line writes it.
using TSettingValues = std::map<std::string, std::string>;

std::span<const TSettingRow> SettingRows();
const TSettingRow& SettingRow(std::string_view name);
// The row the command line's option names, nullptr when none.
const TSettingRow* SettingRowOfOption(std::string_view option);
std::vector<TSettingItem> ItemsOf(const TSettingRow& row);

// What the value of the row must be ("takes a number from 1 to 2"), or
// empty when the value fits.
std::string SettingValueProblem(const TSettingRow& row, const std::string& value);
// Each row's default; the window's own where it has one.
TSettingValues DefaultSettingValues(bool forWindow);
// The settings with the given values over the defaults. Rows apply in the
// table's order, so a value given on its own wins over one a profile sets.
TConversionSettings SettingsFrom(const TSettingValues& values);

// The value an Options.ini text stands for: an item's stored text or its
// number, an old stored number, a number in range, "True"; nothing when
// the text is none of these.
std::optional<std::string> ValueOfStored(const TSettingRow& row, const std::string& stored);
std::string StoredOfValue(const TSettingRow& row, const std::string& value);

// The --help lines of the rows the command line takes, in the table's order.
std::string SettingsHelp();
