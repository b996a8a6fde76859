#pragma once
// What is decided for one input before it converts, from what its probe
// found and the person's choices: which sound track plays, which subtitles
// show and how, how its colours reach the device, which chapters it keeps. Made once per input, written
// into the task's options, and said before the run, in the log and in the
// window's row.

#include <string>
#include <vector>

#include "Devices.h"
#include "InputSurvey.h"
#include "PictureSurvey.h"

struct TInputChoices {
    // Languages wanted for the sound, most wanted first ("eng", "en" or
    // "English"); empty takes the track the file marks as default.
    std::vector<std::string> AudioLanguages;
    // "auto" cuts the black bands found in every bright picture sampled,
    // "none" keeps the picture whole, "T:B:L:R" cuts those pixels.
    std::string Crop = "auto";
    // "auto" deinterlaces what the sampled pictures show to be interlaced;
    // "on" and "off" decide it for every file.
    std::string Deinterlace = "auto";
    // The subtitles wanted: a language ("eng", "en" or "English"), "none",
    // or empty for the track the file marks as forced, if any.
    std::string Subtitles;
    // Draw them into the picture even where the device shows a text track.
    bool BurnSubtitles = false;
    // Whether the decisions need pictures sampled from the file.
    bool SamplesPictures() const { return Crop == "auto" || Deinterlace == "auto"; }
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
    // Bands cut off the source picture, pixels; all 0 for none.
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
    bool CropGiven = false;     // the bands are the person's, not found
    bool CropUnreadable = false;  // the person's bands could not be read: found instead
    bool Deinterlace = false;
    bool InterlaceFound = false;  // decided from the sampled pictures
    int SubtitleStream = -1;          // the input's stream; -1 for none
    std::string SubtitleLanguage;     // its code, empty when it has none
    bool SubtitleForced = false;      // taken because the file marks it as forced
    bool SubtitlesBurnt = false;      // drawn into the picture rather than a text track
    bool SubtitlePictures = false;    // a picture track, which cannot become text
    std::string SubtitlesMissing;     // the language asked for that no readable track has
    std::string SubtitlesUnreadable;  // the codec of its track that cannot be decoded, if it has one
};

// The matrix every device of the table decodes with: their pictures are at
// most 640x480, where players take BT.601 (SMPTE 170M).
AVColorSpace DeviceDecodingMatrix(const TDevice& device);
// Whether the device's files carry chapters (an MP4 chapter track).
bool DeviceKeepsChapters(const TDevice& device);
// The language a "--subtitles" text asks for: its code, or empty for "none"
// and for the file's forced track.
std::string WantedSubtitleLanguage(const std::string& choice);

// `pictures` is what pictures sampled from the file show (empty when none
// were sampled).
TInputDecisions DecideForInput(const TInputSurvey& survey, const TPictureSurvey& pictures,
                               const TInputChoices& choices, const TDevice& device);
// For a file whose streams are copied as they are, which text subtitle
// track goes along as the device's text track, since nothing can be drawn
// into copied pictures: the one in the language asked for, else the one the
// file marks as default, else its first; none for "none",
// where the device shows no text track, or for picture subtitles, which
// cannot become text. Only the subtitle decisions are made.
TInputDecisions DecideForCopy(const TInputSurvey& survey, const TInputChoices& choices, const TDevice& device);
// "T:B:L:R" read as four even numbers of pixels; false when the text is not that.
bool ReadCropBands(const std::string& text, int bands[4]);
// The decisions as engine option lines for the task's output.
std::string DecisionOptionText(const TInputDecisions& decisions);
// The subtitle decisions alone, as option lines and as notes.
std::string SubtitleOptionText(const TInputDecisions& decisions);
std::vector<std::string> SubtitleNotes(const TInputDecisions& decisions);
// The decisions in a person's words, one line each, only those that do
// something or that the person should know ("audio: Japanese (marked as
// default)", "HDR10 mapped to SDR").
std::vector<std::string> DecisionNotes(const TInputDecisions& decisions);
