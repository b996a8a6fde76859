#pragma once
// The two records that describe a task to the component, and their
// translation into the engine's option state. A field left at its reset value
// leaves the engine's default in place, except where noted.

#include <cstdint>
#include <string>
#include <vector>

#include "HookTypes.h"

class TCustomFFmpeg;

struct TInputOptions {
    std::string FileName;      // set to the added path when empty
    std::string InputFormat;   // forced container format; empty = probe
    int32_t StartTimeMs = -1;  // seek position, applied when > 0
    int32_t ProgramId = -1;    // program to keep, applied when >= 0
    std::string ExtraOptions;  // name=value lines, applied first
};

struct TOutputOptions {
    std::string FileName;  // set to the output path when empty
    std::string FileExt;   // carried with the task only
    std::string OutputFormat;
    int32_t PacketSize = -1;
    int32_t MuxRate = -1;
    float MuxDelay = -1.0f;    // seconds
    float MuxPreload = -1.0f;  // seconds
    std::string AudioCodec;
    bool DisableAudio = false;
    int32_t AudioVolume = -1;  // 256 = unchanged, 0 = silence
    int32_t AudioChannels = -1;
    int32_t AudioSampleRate = -1;        // Hz
    int32_t AudioBitrate = -1;           // bits per second
    int32_t AudioBitrateTolerance = -1;
    std::string AudioLanguage;   // always applied
    int32_t AudioSyncMethod = 0;  // always applied
    std::string AudioTag;         // four characters
    std::string VideoCodec;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspectRatio;
    int32_t CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
    int32_t PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;
    uint32_t PadColor = 0;  // red in the low byte, then green, then blue; always applied
    int32_t GopSize = -1;
    int32_t VideoBitrate = -1;  // bits per second
    int32_t VideoMaxRate = -1;
    int32_t VideoMinRate = -1;
    int32_t VideoBitrateTolerance = -1;
    int32_t VideoBufferSize = -1;
    int32_t VideoSyncMethod = -1;  // always applied
    std::string VideoTag;          // four characters
    std::string VideoFilters;
    // Fit the picture inside the frame size at its own shape (square pixels,
    // black bands) instead of stretching it to the frame; always applied.
    bool KeepShape = false;
    // A finished output may replace a file that holds its name by then;
    // otherwise it takes the next free "(n)" name. Always applied.
    bool ReplaceExisting = true;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;  // always applied
    bool CopyTimestamps = false;   // always applied
    int32_t DurationMs = -1;
    // Days since 30 December 1899, local time: 0 = now, below 0 = unset.
    double Timestamp = -1.0;
    int32_t Year = -1;
    int32_t Track = -1;
    char Title[512] = {};
    char Author[512] = {};
    char Copyright[512] = {};
    char Comment[512] = {};
    char Album[512] = {};
    char Genre[32] = {};
    int32_t TargetType = 0;          // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
    int32_t TargetNorm = 0;          // 0 "auto", 1 "pal", 2 "ntsc"
    int32_t TargetFallbackNorm = 1;  // 1 "pal", else "ntsc"
    bool UseCustomHook = false;
    bool UseBeforeHook = false;
    std::string HookTimeRanges;  // "start-end, ..." in milliseconds
    std::string ExtraOptions;    // name=value lines, applied first
};

void ResetInputOptions(TInputOptions& options);
void ResetOutputOptions(TOutputOptions& options);

// Copies a text into a fixed record field, cut to fit with its terminator.
template <size_t N>
void SetFixedText(char (&field)[N], const std::string& text) {
    const size_t length = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, length);
    field[length] = '\0';
}

// Apply a record to an engine that has been initialised; option handlers
// raise FFMpegException (or ConversionError for a bad number).
void ApplyInputOptions(TCustomFFmpeg& engine, const TInputOptions& options);
// Every field but the hook choice, in the order the engine expects, then the
// target preset.
void ApplyOutputOptions(TCustomFFmpeg& engine, const TOutputOptions& options);

// Reads "1000-2000, 500-800, 1500": millisecond ranges separated by commas; a
// single number is a range of one instant; an unreadable number reads -1; a
// range that ends before it starts, or before 0, is dropped. In text order.
std::vector<THookTimeRange> ParseHookTimeRanges(const std::string& text);

// Seconds since 1970-01-01 UTC of a record's date-time (days since
// 30 December 1899, local standard time); 0 stands for the current time.
int64_t TimestampToUnixSeconds(double timestamp);
