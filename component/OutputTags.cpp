#include "OutputTags.h"

#include <cctype>
#include <filesystem>
#include <string_view>

#include "TaskOptions.h"

namespace {

std::string StemOf(const std::string& path) { return std::filesystem::path(path).stem().string(); }

std::string Cleaned(std::string name) {
    const bool dotsAreSpaces = name.find(' ') == std::string::npos;
    for (char& c : name)
        if (c == '_' || c == '\n' || c == '\r' || (dotsAreSpaces && c == '.')) c = ' ';
    std::string cleaned;
    for (char c : name)
        if (c != ' ' || (!cleaned.empty() && cleaned.back() != ' ')) cleaned += c;
    while (!cleaned.empty() && (cleaned.back() == ' ' || cleaned.back() == '-')) cleaned.pop_back();
    return cleaned;
}

// The media kinds' numbers in the MP4 "stik" tag.
int StikOf(TMediaKind kind) {
    switch (kind) {
        case TMediaKind::MusicVideo: return 6;
        case TMediaKind::TvShow: return 10;
        case TMediaKind::Movie: break;
    }
    return 9;
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The number written at `at` if it has between `least` and `most` digits
// (and no more), moving `at` past it.
std::optional<int> NumberAt(const std::string& text, size_t& at, size_t least, size_t most) {
    size_t end = at;
    while (end < text.size() && IsDigit(text[end])) ++end;
    if (end - at < least || end - at > most) return std::nullopt;
    const int number = std::stoi(text.substr(at, end - at));
    at = end;
    return number;
}

bool CharAt(const std::string& text, size_t& at, const char* any) {
    if (at >= text.size() || std::string_view(any).find(text[at]) == std::string_view::npos) return false;
    ++at;
    return true;
}

// "S02E03", "s2.e3", "S02-E003" at `at`: a season of one or two digits
// after an S, an episode of one to three after an E.
std::optional<TEpisode> MarkedEpisodeAt(const std::string& stem, size_t at) {
    if (!CharAt(stem, at, "Ss")) return std::nullopt;
    const std::optional<int> season = NumberAt(stem, at, 1, 2);
    if (!season) return std::nullopt;
    CharAt(stem, at, " ._-");
    if (!CharAt(stem, at, "Ee")) return std::nullopt;
    const std::optional<int> episode = NumberAt(stem, at, 1, 3);
    if (!episode) return std::nullopt;
    return TEpisode{"", *season, *episode};
}

// "1x12", "02x103" at `at`.
std::optional<TEpisode> CrossedEpisodeAt(const std::string& stem, size_t at) {
    const std::optional<int> season = NumberAt(stem, at, 1, 2);
    if (!season || !CharAt(stem, at, "x")) return std::nullopt;
    const std::optional<int> episode = NumberAt(stem, at, 2, 3);
    if (!episode) return std::nullopt;
    return TEpisode{"", *season, *episode};
}

// The first place, at the start of the name or after a character that is
// neither a letter nor a digit, where `at` finds an episode; the show is
// what comes before it.
template <typename Finder>
std::optional<TEpisode> FirstEpisode(const std::string& stem, Finder at) {
    for (size_t start = 0; start < stem.size(); ++start) {
        if (start > 0 && std::isalnum(static_cast<unsigned char>(stem[start - 1]))) continue;
        std::optional<TEpisode> episode = at(stem, start);
        if (!episode) continue;
        episode->Show = Cleaned(stem.substr(0, start == 0 ? 0 : start - 1));
        return episode;
    }
    return std::nullopt;
}

void AddLine(std::string& lines, const std::string& line) {
    if (!lines.empty() && lines.back() != '\n') lines += '\n';
    lines += line + '\n';
}

}  // namespace

std::string TitleFromFileName(const std::string& path) { return Cleaned(StemOf(path)); }

std::optional<TEpisode> EpisodeFromFileName(const std::string& path) {
    const std::string stem = StemOf(path);
    if (std::optional<TEpisode> marked = FirstEpisode(stem, MarkedEpisodeAt)) return marked;
    return FirstEpisode(stem, CrossedEpisodeAt);
}

TOutputTags OutputTagsOf(const std::string& inputPath, const std::string& titleTag, bool musicVideo) {
    TOutputTags tags;
    tags.Title = titleTag.empty() ? TitleFromFileName(inputPath) : titleTag;
    if (musicVideo) {
        tags.Kind = TMediaKind::MusicVideo;
    } else if ((tags.Episode = EpisodeFromFileName(inputPath))) {
        tags.Kind = TMediaKind::TvShow;
    }
    return tags;
}

void ApplyOutputTags(TOutputOptions& options, const TOutputTags& tags) {
    SetFixedText(options.Title, tags.Title);
    // The MP4 writer's names for the iTunes tags stik, tvsh, tvsn and tves.
    AddLine(options.ExtraOptions, "metadata=media_type=" + std::to_string(StikOf(tags.Kind)));
    if (tags.Episode) {
        if (!tags.Episode->Show.empty()) AddLine(options.ExtraOptions, "metadata=show=" + tags.Episode->Show);
        AddLine(options.ExtraOptions, "metadata=season_number=" + std::to_string(tags.Episode->Season));
        AddLine(options.ExtraOptions, "metadata=episode_sort=" + std::to_string(tags.Episode->Episode));
    }
    AddLine(options.ExtraOptions, "poster=" + std::to_string(kPosterMaxWidth));
}
