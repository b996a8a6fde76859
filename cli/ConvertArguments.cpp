#include "ConvertArguments.h"

#include <cstdlib>
#include <optional>
#include <system_error>
#include <thread>

#include "DefaultOutputFolder.h"
#include "SettingsTable.h"
#include "TextConversion.h"

namespace {

std::optional<TLogLevel> ReadLogLevel(const std::string& text) {
    static const char* const kNames[] = {"quiet", "error", "info", "debug", "all"};
    for (int level = llQuiet; level <= llAll; ++level)
        if (text == kNames[level]) return static_cast<TLogLevel>(level);
    return std::nullopt;
}

}  // namespace

int DefaultJobCount() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

bool ParseConvertArguments(const std::vector<std::string>& words, ConvertArguments& parsed, std::string& error) {
    TSettingValues given;
    bool filesOnly = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (filesOnly || word.empty() || word[0] != '-') {
            parsed.files.push_back(word);
            continue;
        }
        if (word == "--") {
            filesOnly = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            parsed.help = true;
            continue;
        }
        const TSettingRow* row = SettingRowOfOption(word);
        if (row && row->Type == TSettingType::Flag) {
            given[row->Name] = std::string(row->Default) == "true" ? "false" : "true";
            continue;
        }
        if (word == "--no-keep") {
            parsed.keep = false;
            continue;
        }
        if (word == "--plain-names") {
            parsed.versionedNames = false;
            continue;
        }
        if (i + 1 >= words.size()) {
            error = "option '" + word + "' needs a value";
            return false;
        }
        const std::string& value = words[++i];
        if (row) {
            const std::string problem = SettingValueProblem(*row, value);
            if (!problem.empty()) {
                error = "option '" + word + "' " + problem + ", not '" + value + "'";
                return false;
            }
            given[row->Name] = value;
        } else if (word == "--jobs") {
            const std::optional<int> jobs = ReadInt32(value);
            if (!jobs || *jobs < 0 || *jobs > 64) {
                error = "option '--jobs' takes a number from 0 to 64, not '" + value + "'";
                return false;
            }
            parsed.jobs = *jobs;
        } else if (word == "--to-ipod") {
            parsed.toIpod = value;
        } else if (word == "--libav") {
            parsed.libraryFolder = value;
        } else if (word == "--log-level") {
            const std::optional<TLogLevel> level = ReadLogLevel(value);
            if (!level) {
                error = "option '--log-level' takes quiet, error, info, debug or all, not '" + value + "'";
                return false;
            }
            parsed.logLevel = *level;
        } else {
            error = "unknown option '" + word + "'";
            return false;
        }
    }
    parsed.settings = SettingsFrom(given);
    if (!given.contains("output-folder")) parsed.settings.OutputFolder = DefaultOutputFolder();
    parsed.deviceGiven = given.contains("device");
    if (parsed.files.empty() && !parsed.help) {
        error = "no file given";
        return false;
    }
    return true;
}
