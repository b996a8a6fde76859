#include "ConvertArguments.h"

#include <cstdlib>
#include <optional>
#include <system_error>
#include <thread>

#include "DefaultOutputFolder.h"
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
    parsed.settings.OutputFolder = DefaultOutputFolder();
    std::optional<int> profile, videoBitrate, audioBitrate, channels;
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
        if (word == "--overwrite") {
            parsed.settings.Overwrite = true;
            continue;
        }
        if (word == "--stretch") {
            parsed.settings.KeepShape = false;
            continue;
        }
        if (word == "--no-keep") {
            parsed.keep = false;
            continue;
        }
        if (word == "--music-video") {
            parsed.settings.MusicVideo = true;
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
        auto number = [&](std::optional<int>& target, int low, int high) {
            target = ReadInt32(value);
            if (!target || *target < low || *target > high) {
                error = "option '" + word + "' takes a number from " + std::to_string(low) + " to " +
                        std::to_string(high) + ", not '" + value + "'";
                return false;
            }
            return true;
        };
        std::optional<int> scratch;
        if (word == "--profile") {
            if (!number(profile, 0, static_cast<int>(OutputProfiles().size()) - 1)) return false;
        } else if (word == "--video-bitrate") {
            if (!number(videoBitrate, 1, 100000)) return false;
        } else if (word == "--audio-bitrate") {
            if (!number(audioBitrate, 1, 10000)) return false;
        } else if (word == "--channels") {
            if (!number(channels, 1, 2)) return false;
        } else if (word == "--sample-rate") {
            if (!number(scratch, 1, 1000000)) return false;
            parsed.settings.AudioSampleRate = *scratch;
        } else if (word == "--jobs") {
            if (!number(scratch, 0, 64)) return false;
            parsed.jobs = *scratch;
        } else if (word == "--device") {
            const std::optional<size_t> device = FindDevice(value);
            if (!device) {
                error = "option '--device' takes one of " + DeviceShortNames() + ", not '" + value + "'";
                return false;
            }
            parsed.settings.Device = *device;
            parsed.deviceGiven = true;
        } else if (word == "--size") {
            parsed.settings.FrameSize = value;
        } else if (word == "--fps") {
            parsed.settings.FrameRate = value;
        } else if (word == "--output-folder") {
            parsed.settings.OutputFolder = WithTrailingSlash(value.empty() ? "." : value);
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
    // A profile sets the bit rates and channels; options given on their own win.
    if (profile) ApplyProfile(parsed.settings, OutputProfiles()[static_cast<size_t>(*profile)]);
    if (videoBitrate) parsed.settings.VideoBitrateKbps = *videoBitrate;
    if (audioBitrate) parsed.settings.AudioBitrateKbps = *audioBitrate;
    if (channels) parsed.settings.Channels = *channels;
    if (parsed.files.empty() && !parsed.help) {
        error = "no file given";
        return false;
    }
    return true;
}
