#include "IpodTestSupport.h"

#include <fstream>
#include <sstream>

#include "GpodHandles.h"
#include "PosterPicture.h"

namespace fs = std::filesystem;

std::string MakeTestIpod(const fs::path& folder, const char* model, bool firewireGuid) {
    if (firewireGuid) {
        fs::create_directories(folder / "iPod_Control/Device");
        std::ofstream(folder / "iPod_Control/Device/SysInfo") << "FirewireGuid: 0x000A27001C0FFEE5\n";
    }
    TGErrorSlot error;
    return itdb_init_ipod(folder.c_str(), model, "Test iPod", error.Out()) ? std::string() : error.Message();
}

std::string TestIpodModelNumber(const std::string& generationName) {
    for (const Itdb_IpodInfo* info = itdb_info_get_ipod_info_table(); info->model_number; ++info) {
        const std::string name = itdb_info_get_ipod_generation_string(info->ipod_generation);
        if (name.rfind(generationName, 0) == 0) return std::string("M") + info->model_number;
    }
    return {};
}

std::vector<TTestIpodTrack> ReadTestIpodTracks(const fs::path& folder, std::string& error) {
    TGErrorSlot failure;
    TGpodDatabasePtr database(itdb_parse(folder.c_str(), failure.Out()));
    if (!database) {
        error = failure.Message();
        return {};
    }
    std::vector<TTestIpodTrack> tracks;
    for (GList* item = database->tracks; item; item = item->next) {
        const Itdb_Track* track = static_cast<const Itdb_Track*>(item->data);
        TTestIpodTrack read;
        read.Title = track->title ? track->title : "";
        switch (track->mediatype) {
            case ITDB_MEDIATYPE_MOVIE: read.Kind = "movie"; break;
            case ITDB_MEDIATYPE_TVSHOW: read.Kind = "TV show"; break;
            case ITDB_MEDIATYPE_MUSICVIDEO: read.Kind = "music video"; break;
            case ITDB_MEDIATYPE_PODCAST | ITDB_MEDIATYPE_MOVIE: read.Kind = "video podcast"; break;
            default: read.Kind = "other"; break;
        }
        read.Album = track->album ? track->album : "";
        Itdb_Playlist* podcasts = itdb_playlist_podcasts(database.get());
        read.InPodcasts = podcasts && itdb_playlist_contains_track(podcasts, const_cast<Itdb_Track*>(track));
        read.Unplayed = track->mark_unplayed == 0x02;
        read.Show = track->tvshow ? track->tvshow : "";
        read.Season = track->season_nr;
        read.Episode = track->episode_nr;
        read.EpisodeId = track->tvepisode ? track->tvepisode : "";
        read.Artist = track->artist ? track->artist : "";
        read.Year = track->year;
        read.LengthMs = track->tracklen;
        read.RemembersPosition = track->remember_playback_position == 1;
        read.HasArtwork = itdb_track_has_thumbnails(const_cast<Itdb_Track*>(track));
        if (TGTextPtr file{itdb_filename_on_ipod(const_cast<Itdb_Track*>(track))}) read.File = file.get();
        read.Size = track->size;
        if (track->chapterdata)
            for (GList* item = track->chapterdata->chapters; item; item = item->next) {
                const auto* chapter = static_cast<const Itdb_Chapter*>(item->data);
                read.Chapters.emplace_back(chapter->startpos, chapter->chaptertitle ? chapter->chaptertitle : "");
            }
        tracks.push_back(read);
    }
    return tracks;
}

std::vector<std::string> FilesOnIpod(const fs::path& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder / "iPod_Control/Music", error))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    return files;
}

namespace {

void PutLittle32(std::string& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xff);
}

std::vector<uint8_t> TestArtworkJpeg(int shade) {
    TPosterPicture picture;
    picture.Width = 64;
    picture.Height = 48;
    picture.Rgb.assign(static_cast<size_t>(picture.Width * picture.Height * 3), static_cast<uint8_t>(shade));
    return EncodePosterJpeg(picture);
}

}  // namespace

std::string FillTestIpod(const fs::path& folder, int songs) {
    TGErrorSlot error;
    TGpodDatabasePtr database(itdb_parse(folder.c_str(), error.Out()));
    if (!database) return error.Message();
    Itdb_Playlist* master = itdb_playlist_mpl(database.get());
    Itdb_Playlist* favourites = itdb_playlist_new("Favourites", FALSE);
    Itdb_Playlist* smart = itdb_playlist_new("Rated", TRUE);
    itdb_playlist_add(database.get(), favourites, -1);
    itdb_playlist_add(database.get(), smart, -1);
    const fs::path song = folder / "song.mp3";
    for (int i = 0; i < songs; ++i) {
        std::ofstream(song, std::ios::binary) << "ID3 song " << i << std::string(static_cast<size_t>(100 + i), 's');
        Itdb_Track* track = itdb_track_new();
        track->title = g_strdup(("Song " + std::to_string(i)).c_str());
        track->artist = g_strdup("Test Band");
        track->filetype = g_strdup("MPEG audio file");
        track->mediatype = ITDB_MEDIATYPE_AUDIO;
        track->tracklen = 180000 + i;
        track->rating = static_cast<guint32>((i % 6) * ITDB_RATING_STEP);
        track->playcount = static_cast<guint32>(i % 7);
        itdb_track_add(database.get(), track, -1);
        itdb_playlist_add_track(master, track, -1);
        if (i % 2 == 0) itdb_playlist_add_track(favourites, track, -1);
        if (!itdb_cp_track_to_ipod(track, song.c_str(), error.Out())) return error.Message();
        if (i % 3 == 0) {
            const std::vector<uint8_t> jpeg = TestArtworkJpeg(40 + i % 200);
            if (!itdb_track_set_thumbnails_from_data(track, jpeg.data(), jpeg.size())) return "no artwork";
        }
    }
    fs::remove(song);
    itdb_spl_update_all(database.get());
    return itdb_write(database.get(), error.Out()) ? std::string() : error.Message();
}

std::string PutTestIpodVideos(const fs::path& folder, const std::vector<TTestIpodTrack>& videos) {
    TGErrorSlot error;
    TGpodDatabasePtr database(itdb_parse(folder.c_str(), error.Out()));
    if (!database) return error.Message();
    const fs::path file = folder / "video.m4v";
    for (const TTestIpodTrack& video : videos) {
        std::ofstream(file, std::ios::binary) << std::string(video.Size, 'v');
        Itdb_Track* track = itdb_track_new();
        track->title = g_strdup(video.Title.c_str());
        track->filetype = g_strdup("MPEG-4 video file");
        track->mediatype = video.Kind == "TV show" ? ITDB_MEDIATYPE_TVSHOW : ITDB_MEDIATYPE_MOVIE;
        track->movie_flag = 1;
        track->tracklen = video.LengthMs;
        itdb_track_add(database.get(), track, -1);
        itdb_playlist_add_track(itdb_playlist_mpl(database.get()), track, -1);
        if (!itdb_cp_track_to_ipod(track, file.c_str(), error.Out())) return error.Message();
        const std::vector<uint8_t> jpeg = TestArtworkJpeg(200);
        if (video.HasArtwork && !itdb_track_set_thumbnails_from_data(track, jpeg.data(), jpeg.size()))
            return "no artwork";
    }
    fs::remove(file);
    return itdb_write(database.get(), error.Out()) ? std::string() : error.Message();
}

std::string MusicLibraryOf(const fs::path& folder, std::string& error) {
    TGErrorSlot failure;
    TGpodDatabasePtr database(itdb_parse(folder.c_str(), failure.Out()));
    if (!database) {
        error = failure.Message();
        return {};
    }
    std::ostringstream text;
    for (GList* item = database->tracks; item; item = item->next) {
        Itdb_Track* track = static_cast<Itdb_Track*>(item->data);
        if (track->mediatype != ITDB_MEDIATYPE_AUDIO) continue;
        TGTextPtr file(itdb_filename_on_ipod(track));
        std::error_code missing;
        text << (track->title ? track->title : "") << " rating " << track->rating << " plays " << track->playcount
             << (itdb_track_has_thumbnails(track) ? " artwork" : "")
             << (file && fs::file_size(file.get(), missing) == track->size ? " file" : "") << "\n";
    }
    for (GList* item = database->playlists; item; item = item->next) {
        Itdb_Playlist* playlist = static_cast<Itdb_Playlist*>(item->data);
        if (itdb_playlist_is_mpl(playlist)) continue;
        text << "playlist " << (playlist->name ? playlist->name : "") << ":";
        for (GList* member = playlist->members; member; member = member->next) {
            const Itdb_Track* track = static_cast<const Itdb_Track*>(member->data);
            if (track->mediatype == ITDB_MEDIATYPE_AUDIO) text << " " << (track->title ? track->title : "");
        }
        text << "\n";
    }
    return text.str();
}

void PlayTestIpod(const fs::path& folder, uint32_t plays, uint32_t otgTracks) {
    uint32_t tracks = 0;
    {
        TGErrorSlot failure;
        TGpodDatabasePtr database(itdb_parse(folder.c_str(), failure.Out()));
        if (database) tracks = itdb_tracks_number(database.get());
    }
    // One entry a track in the database's order: plays, last played and
    // bookmark (the shortest entry, which leaves ratings alone).
    constexpr uint32_t kHeader = 0x60, kEntry = 0x0c;
    std::string counts = "mhdp";
    PutLittle32(counts, kHeader);
    PutLittle32(counts, kEntry);
    PutLittle32(counts, tracks);
    counts.resize(kHeader, '\0');
    for (uint32_t i = 0; i < tracks; ++i) {
        PutLittle32(counts, plays);
        counts.append(kEntry - 4, '\0');
    }
    std::ofstream(folder / "iPod_Control/iTunes/Play Counts", std::ios::binary) << counts;
    std::string otg = "mhpo";
    PutLittle32(otg, 0x14);
    PutLittle32(otg, 4);
    PutLittle32(otg, otgTracks);
    PutLittle32(otg, 0);
    for (uint32_t i = 0; i < otgTracks; ++i) PutLittle32(otg, i);
    std::ofstream(folder / "iPod_Control/iTunes/OTGPlaylistInfo", std::ios::binary) << otg;
}
