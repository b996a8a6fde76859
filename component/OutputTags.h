#pragma once
// What a converted file says about itself to players, library managers and
// the iPod's menus: a title, what kind of video it is and a poster, instead
// of a file name.

#include <optional>
#include <string>

struct TOutputOptions;

enum class TMediaKind { Movie, TvShow, MusicVideo };

struct TEpisode {
    std::string Show;  // empty when the name gives none
    int Season = 0;
    int Episode = 0;
};

struct TOutputTags {
    std::string Title;
    TMediaKind Kind = TMediaKind::Movie;
    std::optional<TEpisode> Episode;  // TV shows only
};

// The widest poster a converted file carries: the iPod's menus show no more.
inline constexpr int kPosterMaxWidth = 320;

// The file name as a person would write it: without folder and extension,
// underscores, and dots used as spaces, turned into spaces.
std::string TitleFromFileName(const std::string& path);
// Season and episode from a name such as "Show.Name.S01E02.720p" or
// "Show Name - 1x02", with the show's name before them.
std::optional<TEpisode> EpisodeFromFileName(const std::string& path);

// The input's own title tag when it has one, else its cleaned file name; a TV
// show when the name carries a season and episode, unless the person chose
// music video.
TOutputTags OutputTagsOf(const std::string& inputPath, const std::string& titleTag, bool musicVideo);

// Puts the tags, and the request for a poster, into an output record.
void ApplyOutputTags(TOutputOptions& options, const TOutputTags& tags);
