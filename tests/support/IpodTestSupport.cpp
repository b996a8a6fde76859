#include "IpodTestSupport.h"

#include <fstream>

#include "GpodHandles.h"

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
            default: read.Kind = "other"; break;
        }
        read.Show = track->tvshow ? track->tvshow : "";
        read.Season = track->season_nr;
        read.Episode = track->episode_nr;
        read.LengthMs = track->tracklen;
        read.HasArtwork = itdb_track_has_thumbnails(const_cast<Itdb_Track*>(track));
        if (TGTextPtr file{itdb_filename_on_ipod(const_cast<Itdb_Track*>(track))}) read.File = file.get();
        read.Size = track->size;
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
