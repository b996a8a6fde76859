#pragma once
// What a converted file says about itself to players, library managers and
// the iPod's menus: a title, what kind of video it is and a poster, instead
// of a file name.

#include <optional>
#include <string>

struct TOutputOptions;

enum class TMediaKind { Movie, TvShow, MusicVideo, Podcast };

struct TEpisode {
    std::string Show;  // empty when the name gives none
    int Season = 0;
    int Episode = 0;
};

// "S05E14": the episode ID the iPod shows.
std::string EpisodeId(const TEpisode& episode);

struct TOutputTags {
    std::string Title;
    TMediaKind Kind = TMediaKind::Movie;
    std::optional<TEpisode> Episode;  // TV shows only
    std::string Artist;               // music videos named "Artist - Title"
    int Year = 0;                     // a film's year from its name; 0 when none
    std::string Album;                // a video podcast's name, from its folder
};

// The widest poster a converted file carries: the iPod's menus show no more.
inline constexpr int kPosterMaxWidth = 320;

// The file name as a person would write it: without folder and extension,
// underscores, and dots used as spaces, turned into spaces.
std::string TitleFromFileName(const std::string& path);
// Season and episode from a name such as "Show.Name.S01E02.720p" or
// "Show Name - 1x02", with the show's name before them (without a year that
// only dates the release, "Doctor.Who.2005.S01E01").
std::optional<TEpisode> EpisodeFromFileName(const std::string& path);

// What a name says, without the release's own words (resolution, source,
// codec, group: "720p HDTV x264-GRP"): a TV show when it carries a season and
// episode, titled by what follows them or else "Episode N"; a music video,
// when the person chose one, with the artist before " - "; a video podcast
// named after its folder when kept under "Podcasts/NAME/"; else a film, with
// the year that follows its title. The input's own title tag, when it has
// one, is the title.
TOutputTags OutputTagsOf(const std::string& inputPath, const std::string& titleTag, bool musicVideo);

// Puts the tags, and the request for a poster, into an output record.
void ApplyOutputTags(TOutputOptions& options, const TOutputTags& tags);
