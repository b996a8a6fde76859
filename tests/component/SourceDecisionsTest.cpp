// What is decided for each input before it converts, read back from the
// converted file as the device takes it: colours through the device's
// BT.601 decoding, HDR brought to standard range, the sound track chosen by
// the default flag or the languages asked for, subtitles as a text track or
// drawn into the picture, and chapters kept.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "AVProbe.h"
#include "ComponentTestSupport.h"
#include "EngineConversion.h"
#include "FilmReadBack.h"
#include "InputDecisions.h"
#include "JobBuilder.h"
#include "SettingsTable.h"
#include "SourceFilm.h"

namespace {

// Converts the film for the settings' device as a job would, deciding from
// the film's probe; the output's path.
std::string ConvertFilm(const std::string& input, const TConversionSettings& settings) {
    TAVProbe probe;
    EXPECT_TRUE(probe.Open(input, "")) << probe.ErrorMessage();
    const TInputDecisions decisions = DecideForInputFile(SurveyInput(probe.Context()), input, settings);
    probe.Close();
    const std::string output = (ScratchFolder() / (std::string("out") + DeviceAt(settings.Device).Extension)).string();
    TOutputOptions options = BuildOutputOptions(settings, output);
    options.ExtraOptions += DecisionOptionText(decisions);
    ConvertWithEngine(input, options);
    return output;
}

TConversionSettings SettingsFor(const char* device) {
    TConversionSettings settings;
    settings.Device = FindDevice(device).value();
    return settings;
}

struct Rgb {
    int r, g, b;
};
constexpr Rgb kBars[] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {30, 200, 200}, {200, 30, 200}, {200, 200, 30}};

struct ColourCase {
    const char* device;
    AVColorSpace matrix;  // of the source
    AVColorRange range;
    int width, height;
    bool declares;  // the device's codec carries a colour description
};

class DeviceColours : public testing::TestWithParam<ColourCase> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

TEST_P(DeviceColours, BarsDecodeAsTheSourceShowsThem) {
    const ColourCase& c = GetParam();
    SourceFilm film{.width = c.width, .height = c.height, .matrix = c.matrix, .range = c.range};
    film.bars.clear();
    const AVColorSpace coded = c.matrix == AVCOL_SPC_UNSPECIFIED ? AVCOL_SPC_BT709 : c.matrix;
    for (const Rgb& bar : kBars) film.bars.push_back(CodedFromRgb(bar.r, bar.g, bar.b, coded));
    const std::string input = (ScratchFolder() / "bars.mkv").string();
    WriteSourceFilm(film, input);
    const FilmReadBack out = ReadFilmBack(ConvertFilm(input, SettingsFor(c.device)), std::size(kBars));
    ASSERT_EQ(out.error, "");
    ASSERT_EQ(out.bars.size(), std::size(kBars));
    for (size_t n = 0; n < std::size(kBars); ++n) {
        const std::array<double, 3> shown = DeviceRgb(out.bars[n]);
        EXPECT_NEAR(shown[0], kBars[n].r, 12) << "bar " << n;
        EXPECT_NEAR(shown[1], kBars[n].g, 12) << "bar " << n;
        EXPECT_NEAR(shown[2], kBars[n].b, 12) << "bar " << n;
    }
    if (c.declares) {
        EXPECT_EQ(out.matrix, AVCOL_SPC_SMPTE170M);
        EXPECT_EQ(out.range, AVCOL_RANGE_MPEG);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DeviceColours,
    testing::Values(ColourCase{"ipod", AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 1280, 720, false},
                    ColourCase{"ipod-h264", AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 1280, 720, true},
                    ColourCase{"iphone", AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 1280, 720, true},
                    ColourCase{"rockbox", AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, 1280, 720, true},
                    // Unlabelled HD is BT.709; a phone's full-range SD picture comes down to limited range.
                    ColourCase{"ipod-h264", AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_MPEG, 1280, 720, true},
                    ColourCase{"ipod-h264", AVCOL_SPC_SMPTE170M, AVCOL_RANGE_JPEG, 640, 480, true}),
    [](const testing::TestParamInfo<ColourCase>& info) { return "case" + std::to_string(info.index); });

// The PQ code of a luminance in cd/m2.
double PqCode(double nits) {
    const double m1 = 0.1593017578125, m2 = 78.84375, c1 = 0.8359375, c2 = 18.8515625, c3 = 18.6875;
    const double y = std::pow(nits / 10000.0, m1);
    return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

struct HdrCase {
    const char* name;
    AVColorTransferCharacteristic transfer;
    double referenceWhite;  // the code of 203 cd/m2
    double highlight;       // the code of about 1000 cd/m2
};

class HighDynamicRange : public testing::TestWithParam<HdrCase> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

TEST_P(HighDynamicRange, ReferenceWhiteNearStandardWhiteAndHighlightsBrighter) {
    const HdrCase& c = GetParam();
    const SourceFilm film{.pixelFormat = "yuv420p10le",
                          .matrix = AVCOL_SPC_BT2020_NCL,
                          .transfer = c.transfer,
                          .primaries = AVCOL_PRI_BT2020,
                          .bars = {CodedColour{c.referenceWhite}, CodedColour{c.highlight}}};
    const std::string input = (ScratchFolder() / "hdr.mkv").string();
    WriteSourceFilm(film, input);
    const FilmReadBack out = ReadFilmBack(ConvertFilm(input, SettingsFor("ipod-h264")), 2);
    ASSERT_EQ(out.bars.size(), 2u);
    EXPECT_GE(out.bars[0][0], 170);
    EXPECT_GT(out.bars[1][0], out.bars[0][0] + 4);
    for (const auto& bar : out.bars) {
        EXPECT_NEAR(bar[1], 128, 4);
        EXPECT_NEAR(bar[2], 128, 4);
    }
    EXPECT_EQ(out.transfer, AVCOL_TRC_BT709);
    EXPECT_EQ(out.primaries, AVCOL_PRI_BT709);
    EXPECT_EQ(out.matrix, AVCOL_SPC_SMPTE170M);
}

INSTANTIATE_TEST_SUITE_P(Sources, HighDynamicRange,
                         testing::Values(HdrCase{"PQ", AVCOL_TRC_SMPTE2084, PqCode(203), PqCode(1000)},
                                         HdrCase{"HLG", AVCOL_TRC_ARIB_STD_B67, 0.75, 1.0}),
                         [](const testing::TestParamInfo<HdrCase>& info) { return info.param.name; });

// An English 5.1 track first, a Japanese stereo track marked default.
SourceFilm TwoLanguageFilm() {
    return SourceFilm{.width = 320,
                      .height = 240,
                      .sound = {FilmSound{"eng", false, 6, 440}, FilmSound{"jpn", true, 2, 1000}},
                      .chapters = {{0, 400000, "Opening"}, {400000, 800000, "Middle"}, {800000, 5000000, "End"},
                                   {3000000, 4000000, "After the end"}}};
}

struct SoundCase {
    std::vector<std::string> wanted;
    const char* language;
    double frequency;
};

class SoundChoice : public testing::TestWithParam<SoundCase> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

TEST_P(SoundChoice, TakesTheWantedTrackAndSaysItsLanguage) {
    const SoundCase& c = GetParam();
    const std::string input = (ScratchFolder() / "languages.mkv").string();
    WriteSourceFilm(TwoLanguageFilm(), input);
    TConversionSettings settings = SettingsFor("ipod");
    settings.Inputs.AudioLanguages = c.wanted;
    const FilmReadBack out = ReadFilmBack(ConvertFilm(input, settings), 1);
    EXPECT_EQ(out.audioStreams, 1);
    EXPECT_EQ(out.audioChannels, 2);
    EXPECT_EQ(out.audioLanguage, c.language);
    EXPECT_NEAR(out.audioFrequency, c.frequency, c.frequency / 10);
}

TEST(SoundChoiceSetting, ReadsTheLanguagesInTheirOrder) {
    EXPECT_EQ(SettingsFrom({{"audio-language", " eng, ,jpn "}}).Inputs.AudioLanguages,
              (std::vector<std::string>{"eng", "jpn"}));
}

INSTANTIATE_TEST_SUITE_P(Languages, SoundChoice,
                         testing::Values(SoundCase{{}, "jpn", 1000}, SoundCase{{"eng"}, "eng", 440},
                                         SoundCase{{"fra", "en"}, "eng", 440}, SoundCase{{"fre"}, "jpn", 1000}));

class Chapters : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

// A chapter past the end is left out, one running past it cut there.
TEST_P(Chapters, KeptWithTheirNamesAndTimes) {
    const std::string input = (ScratchFolder() / "chapters.mkv").string();
    WriteSourceFilm(TwoLanguageFilm(), input);
    const FilmReadBack out = ReadFilmBack(ConvertFilm(input, SettingsFor(GetParam())), 1);
    ASSERT_EQ(out.chapters.size(), 3u);
    const char* titles[] = {"Opening", "Middle", "End"};
    for (size_t n = 0; n < 3; ++n) {
        EXPECT_EQ(out.chapters[n].title, titles[n]);
        EXPECT_NEAR(static_cast<double>(out.chapters[n].startUs), 400000.0 * n, 50000);
    }
    EXPECT_LE(out.chapters[2].endUs, 1100000);
}

INSTANTIATE_TEST_SUITE_P(Devices, Chapters, testing::Values("ipod", "ipod-h264"));

// The decisions for a film written to the scratch folder.
TInputDecisions DecisionsFor(const SourceFilm& film, const TConversionSettings& settings, std::string& input) {
    input = (ScratchFolder() / "sampled.mkv").string();
    WriteSourceFilm(film, input);
    TAVProbe probe;
    EXPECT_TRUE(probe.Open(input, "")) << probe.ErrorMessage();
    return DecideForInputFile(SurveyInput(probe.Context()), input, settings);
}

struct CropCase {
    const char* name;
    const char* crop;
    double level;              // luma of the picture inside the bands
    std::array<int, 4> bands;  // in the source: top, bottom, left, right
    std::array<int, 4> cut;    // expected
};

class BlackBands : public testing::TestWithParam<CropCase> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

TEST_P(BlackBands, CutOnlyWhereEveryBrightPictureHasThem) {
    const CropCase& c = GetParam();
    SourceFilm film{.bars = {CodedColour{c.level}}, .bandTop = c.bands[0], .bandBottom = c.bands[1],
                    .bandLeft = c.bands[2], .bandRight = c.bands[3]};
    TConversionSettings settings = SettingsFor("ipod");
    settings.Inputs.Crop = c.crop;
    std::string input;
    const TInputDecisions decided = DecisionsFor(film, settings, input);
    EXPECT_EQ((std::array<int, 4>{decided.CropTop, decided.CropBottom, decided.CropLeft, decided.CropRight}), c.cut);
    if (c.cut[2] == 0 || std::string(c.crop) != "auto") return;
    // Cut, the 4:3 picture fills the 4:3 frame: no band at its sides.
    const FilmReadBack out = ReadFilmBack(ConvertFilm(input, settings), 16);
    ASSERT_EQ(out.bars.size(), 16u);
    EXPECT_GT(out.bars.front()[0], 100);
    EXPECT_GT(out.bars.back()[0], 100);
}

INSTANTIATE_TEST_SUITE_P(
    Films, BlackBands,
    testing::Values(CropCase{"pillarbox", "auto", 0.5, {0, 0, 160, 160}, {0, 0, 160, 160}},
                    CropCase{"letterbox", "auto", 0.5, {92, 92, 0, 0}, {92, 92, 0, 0}},
                    CropCase{"darkScenesOnly", "auto", 0.06, {0, 0, 160, 160}, {0, 0, 0, 0}},
                    CropCase{"none", "none", 0.5, {0, 0, 160, 160}, {0, 0, 0, 0}},
                    CropCase{"given", "0:0:100:100", 0.5, {0, 0, 160, 160}, {0, 0, 100, 100}},
                    CropCase{"unreadable", "wide", 0.5, {0, 0, 160, 160}, {0, 0, 160, 160}},
                    CropCase{"noBands", "auto", 0.5, {0, 0, 0, 0}, {0, 0, 0, 0}}),
    [](const testing::TestParamInfo<CropCase>& info) { return info.param.name; });

struct InterlaceCase {
    const char* name;
    bool interlaced;
    const char* choice;
    bool deinterlaced;
};

class Interlacing : public testing::TestWithParam<InterlaceCase> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

TEST_P(Interlacing, DeinterlacedWhenThePicturesAreCombed) {
    const InterlaceCase& c = GetParam();
    const SourceFilm film{.width = 720, .height = 480, .movingSquare = 96, .interlaced = c.interlaced};
    TConversionSettings settings = SettingsFor("ipod");
    settings.Inputs.Deinterlace = c.choice;
    std::string input;
    const TInputDecisions decided = DecisionsFor(film, settings, input);
    EXPECT_EQ(decided.Deinterlace, c.deinterlaced);
    EXPECT_EQ(DecisionOptionText(decided).find("deinterlace=1") != std::string::npos, c.deinterlaced);
}

INSTANTIATE_TEST_SUITE_P(Films, Interlacing,
                         testing::Values(InterlaceCase{"interlaced", true, "auto", true},
                                         InterlaceCase{"progressive", false, "auto", false},
                                         InterlaceCase{"interlacedOff", true, "off", false},
                                         InterlaceCase{"progressiveOn", false, "on", true}),
                         [](const testing::TestParamInfo<InterlaceCase>& info) { return info.param.name; });

// A 16:9 grey film with a forced German DVD track whose white block sits at
// the bottom of the picture and an English SRT track, both shown from 0.2 to
// 0.7 s; on a 320x240 device the picture fills rows 30 to 210.
SourceFilm SubtitledFilm(bool damaged) {
    return SourceFilm{
        .width = 640,
        .height = 360,
        .durationUs = 1600000,
        .subtitles = {FilmSubtitles{"deu", true, true, damaged, 160, 300, 320, 56, {{200000, 700000, ""}}},
                      FilmSubtitles{"eng", false, false, damaged, 0, 0, 0, 0, {{200000, 700000, "Hello there"}}}}};
}

struct SubtitleCase {
    const char* name;
    const char* device;
    const char* wanted;
    bool burn;
    const char* textTrack;  // the cue's text in the output's text track; nullptr: no track
    bool burnt;
    const char* note;  // "" for none
    bool damaged = false;  // no cue of the film can be decoded
};

class Subtitles : public testing::TestWithParam<SubtitleCase> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

TEST_P(Subtitles, ShownAsTheDeviceCanOrSaidWhyNot) {
    const SubtitleCase& c = GetParam();
    TConversionSettings settings = SettingsFor(c.device);
    settings.Inputs.Subtitles = c.wanted;
    settings.Inputs.BurnSubtitles = c.burn;
    std::string input;
    const TInputDecisions decided = DecisionsFor(SubtitledFilm(c.damaged), settings, input);
    const std::vector<std::string> notes = DecisionNotes(decided);
    const auto said = std::find_if(notes.begin(), notes.end(), [](const std::string& n) { return n.starts_with("subtitles"); });
    EXPECT_EQ(said == notes.end() ? "" : *said, c.note);

    const FilmReadBack out = ReadFilmBack(ConvertFilm(input, settings), 1, {450000, 1200000});
    ASSERT_EQ(out.error, "");
    EXPECT_EQ(out.subtitleStreams, c.textTrack ? 1 : 0);
    if (c.textTrack) {
        EXPECT_EQ(out.subtitleCodec, "mov_text");
        EXPECT_EQ(out.subtitleLanguage, "eng");
        EXPECT_TRUE(out.subtitleHandler);
        EXPECT_EQ(out.subtitleTexts, std::vector<std::string>{c.textTrack});
    }
    ASSERT_EQ(out.pictures.size(), 2u);
    const ReadPicture &during = out.pictures[0], &after = out.pictures[1];
    // Drawn into the lower part of the picture during the cue only, and
    // never into the black band below it.
    EXPECT_EQ(during.Brightest(40, 140, 280, 210) > 200, c.burnt) << during.Brightest(40, 140, 280, 210);
    EXPECT_LT(after.Brightest(40, 140, 280, 210), 160);
    EXPECT_LT(during.Brightest(0, 216, 320, 240), 40);
}

INSTANTIATE_TEST_SUITE_P(
    Films, Subtitles,
    testing::Values(SubtitleCase{"textTrack", "ipod-h264", "eng", false, "Hello there", false,
                                 "subtitles: English, as text track"},
                    SubtitleCase{"burntForTheOldestIpod", "ipod", "en", false, nullptr, true,
                                 "subtitles: English, burnt in"},
                    SubtitleCase{"burntAsAsked", "iphone", "English", true, nullptr, true,
                                 "subtitles: English, burnt in"},
                    SubtitleCase{"forcedPictures", "ipod-h264", "", false, nullptr, true,
                                 "subtitles: German (forced), burnt in (pictures cannot become text)"},
                    SubtitleCase{"missingLanguage", "ipod-h264", "fra", false, nullptr, false,
                                 "subtitles: none; no French track"},
                    SubtitleCase{"none", "ipod", "none", false, nullptr, false, ""},
                    // Cues that cannot be decoded are left out; the film is made.
                    SubtitleCase{"damagedPictures", "ipod", "", false, nullptr, false,
                                 "subtitles: German (forced), burnt in (pictures cannot become text)", true},
                    SubtitleCase{"damagedText", "ipod", "eng", true, nullptr, false,
                                 "subtitles: English, burnt in", true}),
    [](const testing::TestParamInfo<SubtitleCase>& info) { return info.param.name; });

class SoundInStep : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override { BindComponentTestLibraries(); }
};

// Pictures 30 to 80 ms apart, as a phone records them, made into the
// device's steady rate: a flash and the sound that starts with it stay
// within 40 ms of each other.
TEST_P(SoundInStep, OnAVariableRateSource) {
    const SourceFilm film{.width = 320, .height = 240, .durationUs = 3000000, .variableRate = true,
                          .flashUs = 1870000, .sound = {FilmSound{"eng", true, 2, 1000}}};
    const std::string input = (ScratchFolder() / "phone.mkv").string();
    WriteSourceFilm(film, input);
    const FilmReadBack out = ReadFilmBack(ConvertFilm(input, SettingsFor(GetParam())), 1);
    ASSERT_GE(out.firstWhiteUs, 0);
    ASSERT_GE(out.firstSoundUs, 0);
    EXPECT_NEAR(static_cast<double>(out.firstSoundUs), static_cast<double>(out.firstWhiteUs), 40000);
}

INSTANTIATE_TEST_SUITE_P(Devices, SoundInStep, testing::Values("ipod", "ipod-h264", "rockbox"));

// Forced lines are for everyone, and a text track shows only when turned on.
TEST(SubtitleDecision, AForcedTextTrackIsDrawnIntoThePicture) {
    TInputSurvey survey;
    survey.Width = 640, survey.Height = 360;
    survey.SubtitleTracks = {TSubtitleTrack{2, "eng", true, false, false, true, "subrip"}};
    const TInputDecisions decided = DecideForInput(survey, {}, {}, DeviceAt(FindDevice("ipod-h264").value()));
    EXPECT_EQ(decided.SubtitleStream, 2);
    EXPECT_TRUE(decided.SubtitlesBurnt);
}

TEST(InputDecisionNotes, SayWhatWasDecided) {
    BindComponentTestLibraries();
    const std::string input = (ScratchFolder() / "notes.mkv").string();
    SourceFilm film = TwoLanguageFilm();
    film.transfer = AVCOL_TRC_SMPTE2084;
    film.primaries = AVCOL_PRI_BT2020;
    film.matrix = AVCOL_SPC_BT2020_NCL;
    WriteSourceFilm(film, input);
    TVexmoConverter component;
    TConversionSettings settings;
    settings.OutputFolder = ScratchFolder().string();
    settings.Inputs.AudioLanguages = {"fra"};
    const TJob job = AddJob(component, input, settings);
    ASSERT_FALSE(job.Refusal);
    EXPECT_EQ(job.Notes, (std::vector<std::string>{"no French sound: the file's own choice is kept",
                                                   "audio: Japanese (the file's default)", "HDR10 mapped to SDR",
                                                   "chapters: 4 kept"}));
}

}  // namespace
