#include "InputDecisions.h"

#include <algorithm>
#include <cctype>
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

std::string TrimmedLower(const std::string& text) {
    std::string trimmed;
    for (char c : text)
        if (c != ' ' && c != '\t') trimmed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return trimmed;
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

// Among the readable tracks of the language, a full one before one of
// forced lines only, then the one marked default.
const TSubtitleTrack* BestOfLanguage(const std::vector<TSubtitleTrack>& tracks, const std::string& code) {
    const TSubtitleTrack* best = nullptr;
    const auto rank = [](const TSubtitleTrack& t) { return (t.Forced ? 0 : 2) + (t.Default ? 1 : 0); };
    for (const TSubtitleTrack& track : tracks)
        if (track.Readable && LanguageCode(track.Language) == code && (!best || rank(track) > rank(*best)))
            best = &track;
    return best;
}

void ChooseSubtitles(const TInputSurvey& survey, const TInputChoices& choices, const TDevice& device,
                     TInputDecisions& decisions) {
    const std::string code = WantedSubtitleLanguage(choices.Subtitles);
    if (TrimmedLower(choices.Subtitles) == "none" || survey.Width == 0) return;
    const std::vector<TSubtitleTrack>& tracks = survey.SubtitleTracks;
    const TSubtitleTrack* chosen = nullptr;
    if (code.empty()) {
        const auto forced = std::find_if(tracks.begin(), tracks.end(),
                                         [](const TSubtitleTrack& t) { return t.Forced && t.Readable; });
        if (forced == tracks.end()) return;
        chosen = &*forced;
        decisions.SubtitleForced = true;
    } else {
        chosen = BestOfLanguage(tracks, code);
        if (!chosen) {
            const auto unreadable = std::find_if(tracks.begin(), tracks.end(), [&](const TSubtitleTrack& t) {
                return LanguageCode(t.Language) == code;
            });
            if (unreadable != tracks.end()) decisions.SubtitlesUnreadable = unreadable->Codec;
            decisions.SubtitlesMissing = code;
            return;
        }
    }
    decisions.SubtitleStream = chosen->StreamIndex;
    decisions.SubtitleLanguage = LanguageCode(chosen->Language);
    decisions.SubtitlePictures = chosen->Pictures;
    // Forced lines are for everyone: a text track shows only once the person
    // turns it on, so they are drawn into the picture.
    decisions.SubtitlesBurnt =
        choices.BurnSubtitles || !device.ShowsTextTracks || chosen->Pictures || decisions.SubtitleForced;
}

}  // namespace

TInputDecisions DecideForCopy(const TInputSurvey& survey, const TInputChoices& choices, const TDevice& device) {
    TInputDecisions decisions;
    if (!device.ShowsTextTracks || TrimmedLower(choices.Subtitles) == "none" || survey.Width == 0) return decisions;
    std::vector<TSubtitleTrack> texts;
    for (const TSubtitleTrack& track : survey.SubtitleTracks)
        if (track.Readable && !track.Pictures) texts.push_back(track);
    const std::string code = WantedSubtitleLanguage(choices.Subtitles);
    const TSubtitleTrack* chosen = code.empty() ? nullptr : BestOfLanguage(texts, code);
    if (!code.empty() && !chosen) {
        decisions.SubtitlesMissing = code;
        return decisions;
    }
    for (const TSubtitleTrack& track : texts)
        if (!chosen && track.Default) chosen = &track;
    if (!chosen && !texts.empty()) chosen = &texts.front();
    if (!chosen) return decisions;
    decisions.SubtitleStream = chosen->StreamIndex;
    decisions.SubtitleLanguage = LanguageCode(chosen->Language);
    return decisions;
}

std::string WantedSubtitleLanguage(const std::string& choice) {
    const std::string given = TrimmedLower(choice);
    return given.empty() || given == "none" ? "" : LanguageCode(given);
}

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
    ChooseSubtitles(survey, choices, device, decisions);
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
    return text + SubtitleOptionText(decisions);
}

std::string SubtitleOptionText(const TInputDecisions& decisions) {
    if (decisions.SubtitleStream < 0) return "";
    if (decisions.SubtitlesBurnt) return "burnsubs=" + std::to_string(decisions.SubtitleStream) + "\n";
    // The text track takes its language from the source's.
    return "sstream=" + std::to_string(decisions.SubtitleStream) + "\nscodec=mov_text\n";
}

std::vector<std::string> SubtitleNotes(const TInputDecisions& decisions) {
    std::vector<std::string> notes;
    if (!decisions.SubtitlesMissing.empty())
        notes.push_back(decisions.SubtitlesUnreadable.empty()
                            ? RunTexts::NoSubtitlesInLanguage(LanguageName(decisions.SubtitlesMissing))
                            : RunTexts::SubtitlesUnreadable(LanguageName(decisions.SubtitlesMissing),
                                                            decisions.SubtitlesUnreadable));
    if (decisions.SubtitleStream >= 0)
        notes.push_back(RunTexts::SubtitleChoice(
            decisions.SubtitleLanguage.empty() ? "" : LanguageName(decisions.SubtitleLanguage),
            decisions.SubtitleForced, decisions.SubtitlesBurnt, decisions.SubtitlePictures));
    return notes;
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
    const std::vector<std::string> subtitles = SubtitleNotes(decisions);
    notes.insert(notes.end(), subtitles.begin(), subtitles.end());
    if (decisions.Chapters > 0) notes.push_back(RunTexts::ChaptersKept(decisions.Chapters));
    if (decisions.CropUnreadable) notes.push_back(RunTexts::kCropUnreadable);
    if (decisions.CropTop || decisions.CropBottom || decisions.CropLeft || decisions.CropRight)
        notes.push_back(RunTexts::Cropped(decisions.CropTop, decisions.CropBottom, decisions.CropLeft,
                                          decisions.CropRight, decisions.CropGiven));
    if (decisions.Deinterlace) notes.push_back(RunTexts::Deinterlaced(decisions.InterlaceFound));
    return notes;
}
