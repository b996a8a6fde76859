#include "OutputTags.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>
#include <string_view>
#include <vector>

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
        case TMediaKind::Podcast: return 21;
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
// after an S, an episode of one to three after an E. `at` ends past it.
std::optional<TEpisode> MarkedEpisodeAt(const std::string& stem, size_t& at) {
    if (!CharAt(stem, at, "Ss")) return std::nullopt;
    const std::optional<int> season = NumberAt(stem, at, 1, 2);
    if (!season) return std::nullopt;
    CharAt(stem, at, " ._-");
    if (!CharAt(stem, at, "Ee")) return std::nullopt;
    const std::optional<int> episode = NumberAt(stem, at, 1, 3);
    if (!episode) return std::nullopt;
    return TEpisode{"", *season, *episode};
}

// "1x12", "02x103" at `at`, which ends past it.
std::optional<TEpisode> CrossedEpisodeAt(const std::string& stem, size_t& at) {
    const std::optional<int> season = NumberAt(stem, at, 1, 2);
    if (!season || !CharAt(stem, at, "x")) return std::nullopt;
    const std::optional<int> episode = NumberAt(stem, at, 2, 3);
    if (!episode) return std::nullopt;
    return TEpisode{"", *season, *episode};
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text + ' ') {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

std::string Joined(const std::vector<std::string>& words, size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to && i < words.size(); ++i) text += (text.empty() ? "" : " ") + words[i];
    return text;
}

// A word only a release puts in a name: its resolution, source, codec or
// edition, with the group that made it after a hyphen ("x264-GRP").
bool IsReleaseWord(const std::string& word) {
    static const std::set<std::string> kWords = {
        "480p", "576p", "720p", "1080p", "1080i", "2160p", "4k",     "uhd",    "hdtv",   "pdtv",
        "sdtv", "dsr",  "dvdrip", "dvdscr", "bdrip", "brrip", "bluray", "blu-ray", "webrip", "web-dl",
        "webdl", "web", "hdrip", "x264", "x265", "h264", "h265", "hevc", "xvid", "divx",
        "aac", "ac3", "dts", "proper", "repack", "internal", "limited", "[eztv]", "(eztv)"};
    const std::string lower = Lower(word);
    return kWords.count(lower) || kWords.count(lower.substr(0, lower.find('-')));
}

// A film's year, 1900 up to next year, bare or in brackets.
int YearOf(const std::string& word) {
    std::string digits = word;
    if (digits.size() == 6 && (digits.front() == '(' || digits.front() == '[')) digits = digits.substr(1, 4);
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), IsDigit)) return 0;
    const int year = std::stoi(digits);
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    gmtime_r(&now, &today);
    return year >= 1900 && year <= today.tm_year + 1900 + 1 ? year : 0;
}

// The words before the first that only a release puts in a name.
size_t ReleaseStart(const std::vector<std::string>& words, size_t from) {
    for (size_t i = from; i < words.size(); ++i)
        if (IsReleaseWord(words[i])) return i;
    return words.size();
}

// A name's title words without the release's, and the year after them.
std::string TitleAndYear(const std::string& name, int& year) {
    const std::vector<std::string> words = Words(name);
    size_t end = ReleaseStart(words, 0);
    // A year is the film's when it follows the title and ends what is left;
    // "2001 A Space Odyssey" keeps its first word.
    if (end > 1 && YearOf(words[end - 1])) {
        year = YearOf(words[end - 1]);
        --end;
    }
    // Release names may start with their junk; then the name is all there is.
    return end == 0 ? name : Joined(words, 0, end);
}

// The first place, at the start of the name or after a character that is
// neither a letter nor a digit, where `at` finds an episode; the show is
// what comes before it, `rest` what follows.
template <typename Finder>
std::optional<TEpisode> FirstEpisode(const std::string& stem, Finder at, std::string* rest = nullptr) {
    for (size_t start = 0; start < stem.size(); ++start) {
        if (start > 0 && std::isalnum(static_cast<unsigned char>(stem[start - 1]))) continue;
        size_t end = start;
        std::optional<TEpisode> episode = at(stem, end);
        if (!episode) continue;
        std::vector<std::string> show = Words(Cleaned(stem.substr(0, start == 0 ? 0 : start - 1)));
        // The year a name carries after the show dates the release, not the show.
        if (show.size() > 1 && YearOf(show.back())) show.pop_back();
        episode->Show = Joined(show, 0, show.size());
        if (rest) *rest = end < stem.size() ? stem.substr(end) : "";
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

namespace {

std::optional<TEpisode> EpisodeOfStem(const std::string& stem, std::string* rest) {
    if (std::optional<TEpisode> marked = FirstEpisode(stem, MarkedEpisodeAt, rest)) return marked;
    return FirstEpisode(stem, CrossedEpisodeAt, rest);
}

// The season a folder's name gives: "Season 2", "Season 02", "S02".
std::optional<int> SeasonOfFolder(const std::string& folder) {
    const std::string lower = Lower(Cleaned(folder));
    size_t at = lower.rfind("season ", 0) == 0 ? 7 : lower.rfind('s', 0) == 0 ? 1 : std::string::npos;
    if (at == std::string::npos) return std::nullopt;
    const std::optional<int> season = NumberAt(lower, at, 1, 2);
    return season && at == lower.size() ? season : std::nullopt;
}

// A file in a season folder names its episode by a number first: "05 - The
// Pilot", "E05 The Pilot", "Episode 5"; `rest` is what follows it.
std::optional<int> LeadingEpisode(const std::string& name, std::string& rest) {
    const std::string lower = Lower(name);
    size_t at = lower.rfind("episode ", 0) == 0 ? 8 : lower.rfind('e', 0) == 0 ? 1 : 0;
    const std::optional<int> episode = NumberAt(lower, at, 1, 3);
    if (!episode || (at < lower.size() && std::isalnum(static_cast<unsigned char>(lower[at])))) return std::nullopt;
    while (at < name.size() && std::string_view(" -._").find(name[at]) != std::string_view::npos) ++at;
    rest = name.substr(at);
    return episode;
}

// A folder named for music videos anywhere above the file.
bool InMusicVideoFolder(const std::filesystem::path& path) {
    for (std::filesystem::path folder = path.parent_path(); folder.has_relative_path(); folder = folder.parent_path()) {
        const std::string name = Lower(Cleaned(folder.filename().string()));
        if (name == "music videos" || name == "music video") return true;
    }
    return false;
}

// "Podcasts/NAME/...": the podcast's name, the folder under one named for
// podcasts anywhere above the file.
std::optional<std::string> PodcastOfFolder(const std::filesystem::path& path) {
    for (std::filesystem::path folder = path.parent_path(); folder.has_relative_path(); folder = folder.parent_path()) {
        const std::filesystem::path above = folder.parent_path();
        if (Lower(Cleaned(above.filename().string())) == "podcasts") return Cleaned(folder.filename().string());
    }
    return std::nullopt;
}

}  // namespace

std::optional<TEpisode> EpisodeFromFileName(const std::string& path) { return EpisodeOfStem(StemOf(path), nullptr); }

std::string EpisodeId(const TEpisode& episode) {
    char id[32];
    std::snprintf(id, sizeof id, "S%02dE%02d", episode.Season, episode.Episode);
    return id;
}

TOutputTags OutputTagsOf(const std::string& inputPath, const std::string& titleTag, bool musicVideo) {
    TOutputTags tags;
    const std::string stem = StemOf(inputPath);
    const std::string name = Cleaned(stem);
    std::string rest;
    // Libraries are kept as "Show Name/Season 02/05 - Title.avi" and under
    // "Music Videos/": the folders say what the name leaves out.
    const std::filesystem::path path(inputPath);
    const std::optional<int> folderSeason = SeasonOfFolder(path.parent_path().filename().string());
    const std::string folderShow = folderSeason ? Cleaned(path.parent_path().parent_path().filename().string()) : "";
    musicVideo = musicVideo || (!folderSeason && InMusicVideoFolder(path));
    if (musicVideo) {
        tags.Kind = TMediaKind::MusicVideo;
        int year = 0;
        tags.Title = TitleAndYear(name, year);
        const size_t dash = tags.Title.find(" - ");
        if (dash != std::string::npos && dash > 0 && dash + 3 < tags.Title.size()) {
            tags.Artist = tags.Title.substr(0, dash);
            tags.Title = tags.Title.substr(dash + 3);
        }
    } else if (const std::optional<std::string> podcast = folderSeason ? std::nullopt : PodcastOfFolder(path)) {
        tags.Kind = TMediaKind::Podcast;
        tags.Album = *podcast;
        tags.Title = TitleAndYear(name, tags.Year);
    } else if ((tags.Episode = EpisodeOfStem(stem, &rest))) {
        tags.Kind = TMediaKind::TvShow;
        const std::vector<std::string> words = Words(Cleaned(rest));
        size_t from = 0;
        while (from < words.size() && words[from] == "-") ++from;
        tags.Title = Joined(words, from, ReleaseStart(words, from));
        if (tags.Title.empty()) tags.Title = "Episode " + std::to_string(tags.Episode->Episode);
        if (tags.Episode->Show.empty()) tags.Episode->Show = folderShow;
    } else if (folderSeason) {
        tags.Kind = TMediaKind::TvShow;
        const std::optional<int> episode = LeadingEpisode(name, rest);
        tags.Episode = TEpisode{folderShow, *folderSeason, episode.value_or(0)};
        tags.Title = episode ? rest : name;
        if (tags.Title.empty()) tags.Title = "Episode " + std::to_string(*episode);
    } else {
        tags.Title = TitleAndYear(name, tags.Year);
    }
    if (!titleTag.empty()) tags.Title = titleTag;
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
        AddLine(options.ExtraOptions, "metadata=episode_id=" + EpisodeId(*tags.Episode));
    }
    // The MP4 writer's names for ©ART and ©day.
    if (!tags.Artist.empty()) AddLine(options.ExtraOptions, "metadata=artist=" + tags.Artist);
    if (tags.Year > 0) AddLine(options.ExtraOptions, "metadata=date=" + std::to_string(tags.Year));
    if (!tags.Album.empty()) SetFixedText(options.Album, tags.Album);
    AddLine(options.ExtraOptions, "poster=" + std::to_string(kPosterMaxWidth));
}
