#include "InputDecisions.h"

#include <algorithm>
#include <cstring>

#include "Languages.h"
#include "RunTexts.h"

namespace {

// The matrix a picture is read with when it does not say: BT.709 above
// standard definition, as HD video is made.
AVColorSpace ReadMatrix(const TInputSurvey& survey) {
    if (survey.Matrix != AVCOL_SPC_UNSPECIFIED && survey.Matrix != AVCOL_SPC_RESERVED && survey.Matrix < AVCOL_SPC_NB)
        return survey.Matrix;
    return survey.Width > 1024 || survey.Height > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
}

bool SameMatrix(AVColorSpace a, AVColorSpace b) {
    const auto canonical = [](AVColorSpace m) { return m == AVCOL_SPC_BT470BG ? AVCOL_SPC_SMPTE170M : m; };
    return canonical(a) == canonical(b);
}

const char* MatrixName(AVColorSpace matrix) {
    switch (matrix) {
        case AVCOL_SPC_BT709: return "BT.709";
        case AVCOL_SPC_SMPTE240M: return "SMPTE 240M";
        case AVCOL_SPC_FCC: return "FCC";
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M: return "BT.601";
        default: return "its matrix";
    }
}

TDynamicRange RangeOf(const TInputSurvey& survey) {
    if (survey.Transfer == AVCOL_TRC_SMPTE2084) return TDynamicRange::Pq;
    if (survey.Transfer == AVCOL_TRC_ARIB_STD_B67) return TDynamicRange::Hlg;
    if (survey.Primaries == AVCOL_PRI_BT2020) return TDynamicRange::WideGamut;
    return TDynamicRange::Standard;
}

void ChooseSound(const TInputSurvey& survey, const TInputChoices& choices, TInputDecisions& decisions) {
    const std::vector<TSoundTrack>& tracks = survey.SoundTracks;
    decisions.SoundTracks = static_cast<int>(tracks.size());
    if (tracks.empty()) return;
    const TSoundTrack* chosen = nullptr;
    for (const std::string& wanted : choices.AudioLanguages) {
        const std::string code = LanguageCode(wanted);
        if (code.empty()) continue;
        // Among tracks of the language, the one marked default first.
        const TSoundTrack* match = nullptr;
        for (const TSoundTrack& track : tracks)
            if (LanguageCode(track.Language) == code && (!match || (track.Default && !match->Default))) match = &track;
        if (match) {
            chosen = match;
            decisions.AudioByLanguage = true;
            break;
        }
        decisions.MissingLanguages.push_back(code);
    }
    if (!chosen) {
        const auto marked = std::find_if(tracks.begin(), tracks.end(), [](const TSoundTrack& t) { return t.Default; });
        chosen = marked != tracks.end() ? &*marked : &tracks.front();
    }
    decisions.AudioStream = chosen->StreamIndex;
    decisions.AudioLanguage = LanguageCode(chosen->Language);
}

}  // namespace

AVColorSpace DeviceDecodingMatrix(const TDevice&) { return AVCOL_SPC_SMPTE170M; }

bool DeviceKeepsChapters(const TDevice& device) { return std::strcmp(device.ContainerFamily, "mp4") == 0; }

bool ReadCropBands(const std::string& text, int bands[4]) {
    size_t start = 0;
    for (int n = 0; n < 4; ++n) {
        const size_t end = n < 3 ? text.find(':', start) : text.size();
        if (end == std::string::npos || end == start || end - start > 5) return false;
        int value = 0;
        for (size_t i = start; i < end; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + (text[i] - '0');
        }
        // Chroma planes have half as many rows and columns.
        bands[n] = value / 2 * 2;
        start = end + 1;
    }
    return true;
}

namespace {

void ChooseCrop(const TPictureSurvey& pictures, const TInputChoices& choices, const TInputSurvey& survey,
                TInputDecisions& decisions) {
    int bands[4] = {0, 0, 0, 0};
    if (choices.Crop == "none") return;
    if (choices.Crop != "auto") {
        if (ReadCropBands(choices.Crop, bands)) {
            // Bands that leave no picture are not cut.
            if (survey.Width > 0 && (bands[0] + bands[1] >= survey.Height || bands[2] + bands[3] >= survey.Width))
                return;
            decisions.CropGiven = true;
        } else {
            decisions.CropUnreadable = true;
        }
    }
    if (!decisions.CropGiven) {
        bands[0] = pictures.Top, bands[1] = pictures.Bottom, bands[2] = pictures.Left, bands[3] = pictures.Right;
        // Found on pictures of another size than the stream says: not to be trusted.
        if (pictures.Width != survey.Width || pictures.Height != survey.Height) return;
    }
    decisions.CropTop = bands[0], decisions.CropBottom = bands[1];
    decisions.CropLeft = bands[2], decisions.CropRight = bands[3];
}

}  // namespace

TInputDecisions DecideForInput(const TInputSurvey& survey, const TPictureSurvey& pictures,
                               const TInputChoices& choices, const TDevice& device) {
    TInputDecisions decisions;
    ChooseCrop(pictures, choices, survey, decisions);
    if (choices.Deinterlace == "on") {
        decisions.Deinterlace = true;
    } else if (choices.Deinterlace != "off" && pictures.LooksInterlaced()) {
        decisions.Deinterlace = decisions.InterlaceFound = true;
    }
    ChooseSound(survey, choices, decisions);
    decisions.Range = RangeOf(survey);
    decisions.SourceMatrix = ReadMatrix(survey);
    decisions.DeviceMatrix = DeviceDecodingMatrix(device);
    decisions.SourceFullRange = survey.Range == AVCOL_RANGE_JPEG || survey.FullRangeFormat;
    decisions.Chapters = DeviceKeepsChapters(device) ? survey.Chapters : 0;
    return decisions;
}

std::string DecisionOptionText(const TInputDecisions& decisions) {
    std::string text = "colorspace=" + std::to_string(static_cast<int>(decisions.DeviceMatrix)) + "\n";
    if (decisions.Range != TDynamicRange::Standard) text += "tonemap=1\n";
    if (decisions.AudioStream >= 0) text += "astream=" + std::to_string(decisions.AudioStream) + "\n";
    if (decisions.CropTop) text += "croptop=" + std::to_string(decisions.CropTop) + "\n";
    if (decisions.CropBottom) text += "cropbottom=" + std::to_string(decisions.CropBottom) + "\n";
    if (decisions.CropLeft) text += "cropleft=" + std::to_string(decisions.CropLeft) + "\n";
    if (decisions.CropRight) text += "cropright=" + std::to_string(decisions.CropRight) + "\n";
    if (decisions.Deinterlace) text += "deinterlace=1\n";
    return text;
}

std::vector<std::string> DecisionNotes(const TInputDecisions& decisions) {
    std::vector<std::string> notes;
    for (const std::string& missing : decisions.MissingLanguages)
        notes.push_back(RunTexts::NoSoundInLanguage(LanguageName(missing)));
    // With one track there was nothing to choose.
    if (decisions.AudioStream >= 0 && (decisions.SoundTracks > 1 || decisions.AudioByLanguage))
        notes.push_back(RunTexts::SoundChoice(decisions.AudioLanguage.empty() ? "" : LanguageName(decisions.AudioLanguage),
                                              decisions.AudioByLanguage));
    switch (decisions.Range) {
        case TDynamicRange::Pq: notes.push_back(RunTexts::ToneMapped("HDR10")); break;
        case TDynamicRange::Hlg: notes.push_back(RunTexts::ToneMapped("HLG")); break;
        case TDynamicRange::WideGamut: notes.push_back(RunTexts::ToneMapped("BT.2020")); break;
        case TDynamicRange::Standard:
            if (!SameMatrix(decisions.SourceMatrix, decisions.DeviceMatrix) || decisions.SourceFullRange)
                notes.push_back(RunTexts::ColoursConverted(
                    SameMatrix(decisions.SourceMatrix, decisions.DeviceMatrix) ? "" : MatrixName(decisions.SourceMatrix),
                    decisions.SourceFullRange));
            break;
    }
    if (decisions.Chapters > 0) notes.push_back(RunTexts::ChaptersKept(decisions.Chapters));
    if (decisions.CropUnreadable) notes.push_back(RunTexts::kCropUnreadable);
    if (decisions.CropTop || decisions.CropBottom || decisions.CropLeft || decisions.CropRight)
        notes.push_back(RunTexts::Cropped(decisions.CropTop, decisions.CropBottom, decisions.CropLeft,
                                          decisions.CropRight, decisions.CropGiven));
    if (decisions.Deinterlace) notes.push_back(RunTexts::Deinterlaced(decisions.InterlaceFound));
    return notes;
}
