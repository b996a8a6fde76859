#pragma once
// Test iPods in folders, made and read back by libgpod itself the way an
// iPod reads its database. libgpod's types stay out of this header, which
// the window's tests include beside Qt's.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Makes an empty iPod of that model number ("MA002", a classic "MB029") in
// `folder`, as iTunes leaves a freshly restored one; with `firewireGuid` its
// SysInfo carries the ID its database is signed with. Empty on success, else
// libgpod's message.
std::string MakeTestIpod(const std::filesystem::path& folder, const char* model, bool firewireGuid);
// A model number libgpod knows for the first iPod of the generation whose
// name starts with `generationName` ("Touch", "Nano (5th Gen.)"); empty when none.
std::string TestIpodModelNumber(const std::string& generationName);

struct TTestIpodTrack {
    std::string Title;
    std::string Kind;  // "movie", "TV show", "music video", "video podcast" or "other"
    std::string Album;
    bool InPodcasts = false;  // in the playlist the iPod shows as Podcasts
    bool Unplayed = false;    // marked with the iPod's dot
    std::string Show;
    uint32_t Season = 0;
    uint32_t Episode = 0;
    std::string EpisodeId;
    std::string Artist;
    int32_t Year = 0;
    int32_t LengthMs = 0;
    bool HasArtwork = false;
    bool RemembersPosition = false;  // resumes where it was stopped
    std::string File;   // on the iPod, empty when the track names none
    uint64_t Size = 0;  // as the database says
    std::vector<std::pair<uint32_t, std::string>> Chapters;  // start (ms) and title, in the database's order
};
// The tracks of the iPod's database; `error` is set when it cannot be read.
std::vector<TTestIpodTrack> ReadTestIpodTracks(const std::filesystem::path& folder, std::string& error);
// Every file in the iPod's music folders.
std::vector<std::string> FilesOnIpod(const std::filesystem::path& folder);

// Fills the iPod made by MakeTestIpod with a music library as iTunes would
// leave it: `songs` songs (each with a file, a rating and a play count, every
// third with artwork), a playlist of every other song and a smart playlist.
// Empty on success, else the cause.
std::string FillTestIpod(const std::filesystem::path& folder, int songs);
// Everything of the music library a person would miss: each song's title,
// rating, play count, artwork and file, and each playlist but the iPod's own
// with its songs. Videos are left out. `error` is set when it cannot be read.
std::string MusicLibraryOf(const std::filesystem::path& folder, std::string& error);
// Lists videos on the iPod made by MakeTestIpod as another program would:
// each a file of `Size` bytes, of its kind ("movie", "TV show") and length,
// with a plain poster when `HasArtwork`. Empty on success, else the cause.
std::string PutTestIpodVideos(const std::filesystem::path& folder, const std::vector<TTestIpodTrack>& videos);

// What the iPod leaves for the next sync after being played: `plays` more
// plays of every track ("Play Counts"), and a playlist made on it of its first
// `otgTracks` tracks ("OTGPlaylistInfo").
void PlayTestIpod(const std::filesystem::path& folder, uint32_t plays, uint32_t otgTracks);
