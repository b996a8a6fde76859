#pragma once
// What is decided for one input before it converts, from what its probe
// found and the person's choices: which sound track plays, how its colours
// reach the device, which chapters it keeps. Made once per input, written
// into the task's options, and said before the run, in the log and in the
// window's row.

#include <string>
#include <vector>

#include "Devices.h"
#include "InputSurvey.h"

struct TInputChoices {
    // Languages wanted for the sound, most wanted first ("eng", "en" or
    // "English"); empty takes the track the file marks as default.
    std::vector<std::string> AudioLanguages;
};

enum class TDynamicRange { Standard, Pq, Hlg, WideGamut };

struct TInputDecisions {
    int AudioStream = -1;        // the input's stream; -1 when it has no sound
    int SoundTracks = 0;         // how many the input has
    std::string AudioLanguage;   // the chosen track's code, empty when it has none
    bool AudioByLanguage = false;  // chosen for a wanted language
    std::vector<std::string> MissingLanguages;  // wanted languages no track has
    TDynamicRange Range = TDynamicRange::Standard;  // of the source; tone mapped unless standard
    AVColorSpace SourceMatrix = AVCOL_SPC_UNSPECIFIED;  // the matrix the source is read with
    AVColorSpace DeviceMatrix = AVCOL_SPC_SMPTE170M;
    bool SourceFullRange = false;
    int Chapters = 0;  // kept in the output
};

// The matrix every device of the table decodes with: their pictures are at
// most 640x480, where players take BT.601 (SMPTE 170M).
AVColorSpace DeviceDecodingMatrix(const TDevice& device);
// Whether the device's files carry chapters (an MP4 chapter track).
bool DeviceKeepsChapters(const TDevice& device);

TInputDecisions DecideForInput(const TInputSurvey& survey, const TInputChoices& choices, const TDevice& device);
// The decisions as engine option lines for the task's output.
std::string DecisionOptionText(const TInputDecisions& decisions);
// The decisions in a person's words, one line each, only those that do
// something or that the person should know ("audio: Japanese (marked as
// default)", "HDR10 mapped to SDR").
std::vector<std::string> DecisionNotes(const TInputDecisions& decisions);
