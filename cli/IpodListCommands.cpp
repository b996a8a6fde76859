// "tovrela-cli ipod list" and "tovrela-cli ipod remove": the videos on an
// iPod, and taking some of them off again.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Commands.h"
#include "IpodLibrary.h"

namespace {

void PrintNotice(const std::string& notice) { std::fprintf(stderr, "%s\n", notice.c_str()); }

std::string Gigabytes(uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

std::string Megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string Length(int64_t ms) {
    const int64_t seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

// A JSON string, with the characters JSON forbids raw escaped.
std::string Json(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string Line(const TIpodListedVideo& video) {
    std::string line = IpodVideoId(video.Id) + "  \"" + video.Title + "\"  " + video.Kind;
    if (!video.Show.empty() || video.Season || video.Episode) {
        char episode[32];
        std::snprintf(episode, sizeof episode, " S%02uE%02u", video.Season, video.Episode);
        line += ", " + video.Show + episode;
    }
    if (!video.Artist.empty()) line += ", by " + video.Artist;
    line += "  " + Length(video.LengthMs) + "  " + Megabytes(video.Size);
    if (video.Ours) line += "  (put there by this program)";
    return line;
}

bool OpenLibrary(const std::string& mount, TIpodLibrary& library) {
    std::string error;
    if (library.Open(mount, PrintNotice, error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

}  // namespace

int RunIpodList(const std::vector<std::string>& arguments, const char* help) {
    std::vector<std::string> mounts;
    bool json = false;
    for (const std::string& word : arguments) {
        if (word == "--json")
            json = true;
        else
            mounts.push_back(word);
    }
    if (mounts.size() != 1 || mounts[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "tovrela-cli ipod list: name the iPod's folder\n\n%s", help);
        return 2;
    }
    TIpodLibrary library;
    if (!OpenLibrary(mounts[0], library)) return 1;
    const std::vector<TIpodListedVideo> videos = library.Videos();
    std::error_code spaceError;
    const std::filesystem::space_info space = std::filesystem::space(mounts[0], spaceError);
    if (spaceError) {
        std::fprintf(stderr, "%s: its free space cannot be read: %s\n", mounts[0].c_str(), spaceError.message().c_str());
        return 1;
    }
    if (!json) {
        for (const TIpodListedVideo& video : videos) std::printf("%s\n", Line(video).c_str());
        std::printf("iPod \"%s\" (%s): %zu %s; capacity %s, free %s\n", library.Ipod().Label().c_str(),
                    mounts[0].c_str(), videos.size(), videos.size() == 1 ? "video" : "videos",
                    Gigabytes(space.capacity).c_str(), Gigabytes(space.available).c_str());
        return 0;
    }
    std::string document = "{\"ipod\":" + Json(library.Ipod().Label()) + ",\"mount\":" + Json(mounts[0]) +
                           ",\"capacity\":" + std::to_string(space.capacity) +
                           ",\"free\":" + std::to_string(space.available) + ",\"videos\":[";
    for (size_t i = 0; i < videos.size(); ++i) {
        const TIpodListedVideo& video = videos[i];
        document += std::string(i ? "," : "") + "{\"id\":" + Json(IpodVideoId(video.Id)) +
                    ",\"title\":" + Json(video.Title) + ",\"kind\":" + Json(video.Kind) +
                    ",\"show\":" + Json(video.Show) + ",\"season\":" + std::to_string(video.Season) +
                    ",\"episode\":" + std::to_string(video.Episode) + ",\"artist\":" + Json(video.Artist) +
                    ",\"length_ms\":" + std::to_string(video.LengthMs) + ",\"size\":" + std::to_string(video.Size) +
                    ",\"ours\":" + (video.Ours ? "true" : "false") + "}";
    }
    std::printf("%s]}\n", document.c_str());
    return 0;
}

int RunIpodRemove(const std::vector<std::string>& arguments, const char* help) {
    if (arguments.size() < 2 || arguments[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "tovrela-cli ipod remove: name the iPod's folder and at least one video\n\n%s", help);
        return 2;
    }
    TIpodLibrary library;
    if (!OpenLibrary(arguments[0], library)) return 1;
    const std::vector<TIpodListedVideo> videos = library.Videos();
    // Every name is matched before anything is taken off: one that does not
    // say which video it means removes nothing.
    std::vector<const TIpodListedVideo*> chosen;
    bool understood = true;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        std::vector<const TIpodListedVideo*> matches;
        for (const TIpodListedVideo& video : videos)
            if (IpodVideoId(video.Id) == name) matches.push_back(&video);
        if (matches.empty())
            for (const TIpodListedVideo& video : videos)
                if (video.Title == name) matches.push_back(&video);
        if (matches.size() == 1) {
            chosen.push_back(matches[0]);
            continue;
        }
        understood = false;
        if (matches.empty()) {
            std::fprintf(stderr, "%s: no video on the iPod has this ID or title\n", name.c_str());
            continue;
        }
        std::fprintf(stderr, "%s: %zu videos have this title; name one by its ID:\n", name.c_str(), matches.size());
        for (const TIpodListedVideo* video : matches) std::fprintf(stderr, "  %s\n", Line(*video).c_str());
    }
    if (!understood) {
        std::fprintf(stderr, "Nothing was removed.\n");
        return 1;
    }
    std::vector<std::string> removed;
    for (const TIpodListedVideo* video : chosen)
        if (library.Remove(video->Id)) removed.push_back("\"" + video->Title + "\" (" + IpodVideoId(video->Id) + ")");
    std::string error;
    if (!library.Commit(true, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (const std::string& video : removed) std::printf("%s: removed\n", video.c_str());
    return 0;
}
