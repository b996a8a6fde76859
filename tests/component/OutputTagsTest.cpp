// What a converted file says about itself: a title, a media kind with the
// show, season and episode, and a poster, all read back from the file.

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "AVFormatHlpr.h"
#include "ComponentTestSupport.h"
#include "JobBuilder.h"
#include "MediaFacts.h"
#include "OutputTags.h"

namespace {

struct NameCase {
    const char* path;
    const char* title;
    TMediaKind kind;
    const char* show;
    int season;
    int episode;
    int year = 0;
    bool musicVideo = false;
    const char* artist = "";
};

class OutputTagsOfName : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputTagsOfName, TitleAndKindComeFromTheName) {
    const NameCase& c = GetParam();
    const TOutputTags tags = OutputTagsOf(c.path, "", c.musicVideo);
    EXPECT_EQ(tags.Title, c.title);
    EXPECT_EQ(tags.Kind, c.kind);
    EXPECT_EQ(tags.Year, c.year);
    EXPECT_EQ(tags.Artist, c.artist);
    if (c.kind == TMediaKind::TvShow) {
        ASSERT_TRUE(tags.Episode);
        EXPECT_EQ(tags.Episode->Show, c.show);
        EXPECT_EQ(tags.Episode->Season, c.season);
        EXPECT_EQ(tags.Episode->Episode, c.episode);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputTagsOfName,
    ::testing::Values(NameCase{"/v/The.Office.S02E03.720p.mkv", "Episode 3", TMediaKind::TvShow, "The Office", 2, 3},
                      NameCase{"/v/The Office US S05E14 720p HDTV x264-GRP.mkv", "Episode 14", TMediaKind::TvShow,
                               "The Office US", 5, 14},
                      NameCase{"/v/Doctor.Who.2005.S01E01.Rose.720p.WEB-DL.mkv", "Rose", TMediaKind::TvShow,
                               "Doctor Who", 1, 1},
                      NameCase{"/v/Show Name - 1x12 - The Pilot.avi", "The Pilot", TMediaKind::TvShow, "Show Name",
                               1, 12},
                      NameCase{"/v/Show Name - 1x12.avi", "Episode 12", TMediaKind::TvShow, "Show Name", 1, 12},
                      NameCase{"/v/my_holiday__film.avi", "my holiday film", TMediaKind::Movie, "", 0, 0},
                      NameCase{"/v/Mr. Smith Goes.avi", "Mr. Smith Goes", TMediaKind::Movie, "", 0, 0},
                      NameCase{"/v/Film.1080p.x264.mkv", "Film", TMediaKind::Movie, "", 0, 0},
                      NameCase{"/v/Some.Movie.2009.720p.BluRay.x264-GRP.mkv", "Some Movie", TMediaKind::Movie, "",
                               0, 0, 2009},
                      NameCase{"/v/Some Movie (1999) DVDRip XviD.avi", "Some Movie", TMediaKind::Movie, "", 0, 0,
                               1999},
                      NameCase{"/v/2001 A Space Odyssey.avi", "2001 A Space Odyssey", TMediaKind::Movie, "", 0, 0},
                      NameCase{"/v/Blade Runner 2049.mkv", "Blade Runner 2049", TMediaKind::Movie, "", 0, 0},
                      NameCase{"/v/The Band - Our Song.avi", "Our Song", TMediaKind::MusicVideo, "", 0, 0, 0, true,
                               "The Band"},
                      NameCase{"/v/show.s2.e3.avi", "Episode 3", TMediaKind::TvShow, "show", 2, 3},
                      NameCase{"/v/Series 02x103.mkv", "Episode 103", TMediaKind::TvShow, "Series", 2, 103},
                      NameCase{"/v/Clip S123E04.avi", "Clip S123E04", TMediaKind::Movie, "", 0, 0},
                      NameCase{"/v/DoctorS01E01.avi", "DoctorS01E01", TMediaKind::Movie, "", 0, 0},
                      NameCase{"/v/Show Name/Season 02/05 - The Pilot.avi", "The Pilot", TMediaKind::TvShow,
                               "Show Name", 2, 5},
                      NameCase{"/v/Show_Name/S3/E07.mkv", "Episode 7", TMediaKind::TvShow, "Show Name", 3, 7},
                      NameCase{"/v/Show/Season 1/Episode 12 Finale.avi", "Finale", TMediaKind::TvShow, "Show", 1, 12},
                      NameCase{"/v/Show/Season 1/Show.S01E04.Late.avi", "Late", TMediaKind::TvShow, "Show", 1, 4},
                      NameCase{"/v/Show/Season 1/Extras.avi", "Extras", TMediaKind::TvShow, "Show", 1, 0},
                      NameCase{"/v/Seasons/2001 A Space Odyssey.avi", "2001 A Space Odyssey", TMediaKind::Movie, "",
                               0, 0},
                      NameCase{"/v/Music Videos/Band/The Band - Our Song.avi", "Our Song", TMediaKind::MusicVideo,
                               "", 0, 0, 0, false, "The Band"},
                      NameCase{"/v/Podcasts/Tech Talk/2024/Talk.12.mp4", "Talk 12", TMediaKind::Podcast, "", 0, 0}));

TEST(OutputTags, OwnTitleTagAndMusicVideoWin) {
    const TOutputTags tags = OutputTagsOf("/v/Band.S01E01.avi", "Our Song", true);
    EXPECT_EQ(tags.Title, "Our Song");
    EXPECT_EQ(tags.Kind, TMediaKind::MusicVideo);
    EXPECT_FALSE(tags.Episode);
}

// A real conversion through the shared job routine: the MP4 writer's tags
// and the cover picture are in the file.
TEST(OutputTags, AConvertedFileCarriesTitleKindEpisodeAndPoster) {
    BindComponentTestLibraries();
    const std::filesystem::path folder = ScratchFolder();
    const std::filesystem::path input = folder / "Some_Show.S03E07.avi";
    std::filesystem::copy_file(ClipPath("video_only.avi"), input);
    TVexmoConverter component;
    TConversionSettings settings;
    settings.OutputFolder = folder.string();
    const TJob job = AddJob(component, input.string(), settings);
    ASSERT_GE(job.TaskIndex, 0);
    EventRecorder events;
    events.Attach(component);
    component.StartConvert(1);
    ASSERT_TRUE(events.WaitForEnd());
    const std::string output = (folder / (job.OutputName + ".mp4")).string();

    TMediaFacts facts;
    std::string error;
    ASSERT_TRUE(ReadMediaFacts(output, facts, error)) << error;
    EXPECT_EQ(facts.Tags["title"], "Episode 7");
    EXPECT_EQ(facts.Tags["episode_id"], "S03E07");
    EXPECT_EQ(facts.Tags["media_type"], "10");
    EXPECT_EQ(facts.Tags["show"], "Some Show");
    EXPECT_EQ(facts.Tags["season_number"], "3");
    EXPECT_EQ(facts.Tags["episode_sort"], "7");

    // Read back without an error from the libraries, as players read it. (The
    // MP4 reader of FFmpeg 5.1 notes "timescale not set" for any iTunes cover
    // picture, whatever wrote it: that notice is no error.)
    std::mutex linesLock;
    std::vector<std::string> lines;
    component.SetLogLevel(llError);
    component.SetOnLog([&](int32_t, TLogLevel, const std::string& line) {
        std::lock_guard<std::mutex> lock(linesLock);
        lines.push_back(line);
    });
    AVFormatContext* context = nullptr;
    ASSERT_EQ(ff::avformat_open_input(&context, output.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(ff::avformat_find_stream_info(context, nullptr), 0);
    component.SetOnLog(nullptr);
    EXPECT_EQ(lines, std::vector<std::string>());
    int posters = 0;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (!(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        ++posters;
        EXPECT_EQ(stream->codecpar->codec_id, AV_CODEC_ID_MJPEG);
        EXPECT_GT(stream->attached_pic.size, 0);
        EXPECT_LE(stream->codecpar->width, kPosterMaxWidth);
    }
    ff::avformat_close_input(&context);
    EXPECT_EQ(posters, 1);
}

}  // namespace
