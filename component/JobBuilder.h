#pragma once
// Turning one input file into one task of the component with the output
// settings a person chose: the same routine for adding a file to the list
// and for building the tasks of a run.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ConversionSettings.h"
#include "Devices.h"
#include "InputDecisions.h"
#include "OutputProfiles.h"
#include "RunTexts.h"
#include "TaskOptions.h"

class TVexmoConverter;

// The profile's values put into the settings; frame size, rate and sample
// rate are left as they are.
void ApplyProfile(TConversionSettings& settings, const TOutputProfile& profile);

// How the video encoder is held to the chosen bit rate. Left to itself it
// tolerates a surplus of megabits, spent mostly in the first second, and
// its key frames, two or three a second, eat a low rate whole. A
// rate-control buffer of at most one second (and at most the codec level's),
// drained at no more than twice the rate (H.264: at the rate itself) and
// never above the level's rate, keeps the average near the target and the
// stream within its level; a key frame as often as the device asks keeps
// seeking quick. No second of the file may carry more than the device's
// highest rate, so near that the buffer shrinks to the room left under it,
// and the encoder aims below it (at the device's top rate, which the
// settings are brought to before the run), since no encoder keeps every
// second exactly at its average.
struct TVideoRateControl {
    int32_t BitRate = 0;     // the encoder's target, bits per second
    int32_t MaxRate = 0;     // bits per second
    int32_t BufferSize = 0;  // bits
    int32_t Tolerance = 0;   // bits
    int32_t KeyFrameInterval = 30;  // frames
};
TVideoRateControl VideoRateControl(int32_t bitRate, const TDevice& device, const TDeviceLevel& level);

// The listed frame rate that keeps the input's own, where the device plays it.
inline constexpr const char* kKeepInputFrameRate = "Auto";
// "Auto" leaves the input's rate; "23.97" and "29.97" are the NTSC rates.
std::string FrameRateOption(const std::string& listed);
// The listed rate in pictures a second; 0 for "Auto", whose rate is the input's.
double FrameRateValue(const std::string& listed);
// Key frames are never further apart than this, so that seeking stays quick.
inline constexpr double kMaxKeyFrameSeconds = 2.0;
// The task's output for the settings' device, with what the device cannot
// play brought within its limits (see PlanForDevice); needs bound libraries.
TOutputOptions BuildOutputOptions(const TConversionSettings& settings, const std::string& outputPath);

// The files to convert: each given file, and the files of each given folder
// in natural name order ("9" before "10"), hidden files aside; with
// `withSubfolders`, the files of its subfolders too, each subfolder's before
// the folder's own files, as a file manager lists them. `less` orders the
// names of a folder: a window passes one that sorts as the person's language
// does.
using TNameLess = std::function<bool(const std::string&, const std::string&)>;
bool NaturalLess(const std::string& a, const std::string& b);
std::vector<std::string> ExpandInputs(const std::vector<std::string>& given, bool withSubfolders = false,
                                      const TNameLess& less = NaturalLess);
// Names compared as a file manager sorts them: letters without regard to
// case, runs of digits by their value.

// The file name without folder and without the part from its last ".".
std::string BaseNameOf(const std::string& path);
// The extension without its dot, in upper case; empty when there is none.
std::string TypeTextOf(const std::string& path);
std::string WithTrailingSlash(const std::string& folder);
// The output name (without folder and extension): the base name, or, when
// that file exists and may not be overwritten, the base name with the first
// free "(n)". The input itself and the outputs of the tasks set up so far
// always count as existing, so that no two tasks write one file. The name is
// only a plan: a file that takes it while the task runs is not replaced
// either, and the task's output then takes the next free name.
std::string ChooseOutputName(const std::string& folder, const std::string& baseName, const std::string& extension,
                             bool overwrite, const std::string& inputPath);

// What is decided for the input from its probe's survey and, when the
// settings leave crop or deinterlacing to it, from pictures sampled across
// it (once per file and version of it).
TInputDecisions DecideForInputFile(const TInputSurvey& survey, const std::string& path,
                                   const TConversionSettings& settings);

struct TJob {
    int32_t TaskIndex = -1;
    std::string DurationText;  // empty when the probe could not tell
    int64_t DurationMs = -1;   // -1 when the probe could not tell
    int64_t AnnouncedMs = -1;  // what the input's headers announce, -1 when nothing
    std::string TypeText;      // the extension, else the container found in the file
    bool HasVideo = false;     // false for a file of sound only
    std::string OutputName;    // the planned name, without folder and extension
    std::string OutputPath;    // the planned file
    std::optional<TUserMessage> Refusal;  // set when the file was refused
    std::string RefusalReason;            // the same in a few words, without the file's name
    TInputDecisions Decisions;       // what was decided for the input
    std::vector<std::string> Notes;  // the decisions in a person's words
};
// Probes the file, creates its task with its output, and on refusal leaves
// no task behind.
TJob AddJob(TVexmoConverter& component, const std::string& inputPath, const TConversionSettings& chosen);
