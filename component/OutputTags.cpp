#include "OutputTags.h"

#include <filesystem>
#include <regex>

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

void AddLine(std::string& lines, const std::string& line) {
    if (!lines.empty() && lines.back() != '\n') lines += '\n';
    lines += line + '\n';
}

}  // namespace

std::string TitleFromFileName(const std::string& path) { return Cleaned(StemOf(path)); }

std::optional<TEpisode> EpisodeFromFileName(const std::string& path) {
    static const std::regex kMarked(R"((^|[^A-Za-z0-9])[Ss](\d{1,2})[ ._-]?[Ee](\d{1,3})(?![0-9]))");
    static const std::regex kCrossed(R"((^|[^A-Za-z0-9])(\d{1,2})x(\d{2,3})(?![0-9]))");
    const std::string stem = StemOf(path);
    std::smatch match;
    if (!std::regex_search(stem, match, kMarked) && !std::regex_search(stem, match, kCrossed)) return std::nullopt;
    TEpisode episode;
    episode.Show = Cleaned(match.prefix().str());
    episode.Season = std::stoi(match[2].str());
    episode.Episode = std::stoi(match[3].str());
    return episode;
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
