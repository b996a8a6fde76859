#include "IpodLibrary.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "GpodHandles.h"
#include "MediaFacts.h"
#include "PosterPicture.h"

namespace {

namespace fs = std::filesystem;

constexpr char kBackupName[] = "iTunesDB.tovrela-backup";
constexpr char kNewName[] = "iTunesDB.tovrela-new";
constexpr char kGone[] = "the iPod is no longer connected";

std::string Tag(const TMediaFacts& facts, const std::string& key) {
    const auto found = facts.Tags.find(key);
    return found == facts.Tags.end() ? "" : found->second;
}

int Number(const std::string& text) {
    try {
        return text.empty() ? 0 : std::stoi(text);
    } catch (const std::exception&) {
        return 0;
    }
}

// The kind a file's own "stik" tag gives, else what its name says.
TOutputTags TagsOf(const std::string& path, const TMediaFacts& facts) {
    TOutputTags tags = OutputTagsOf(path, Tag(facts, "title"), false);
    const int kind = Number(Tag(facts, "media_type"));
    if (kind == 6) tags.Kind = TMediaKind::MusicVideo;
    if (kind == 9) tags.Kind = TMediaKind::Movie;
    if (kind == 10) {
        tags.Kind = TMediaKind::TvShow;
        if (!tags.Episode) tags.Episode = TEpisode{};
        if (!Tag(facts, "show").empty()) tags.Episode->Show = Tag(facts, "show");
        if (const int season = Number(Tag(facts, "season_number"))) tags.Episode->Season = season;
        if (const int episode = Number(Tag(facts, "episode_sort"))) tags.Episode->Episode = episode;
    }
    if (tags.Kind != TMediaKind::TvShow) tags.Episode.reset();
    return tags;
}

guint32 MediaTypeOf(TMediaKind kind) {
    switch (kind) {
        case TMediaKind::MusicVideo: return ITDB_MEDIATYPE_MUSICVIDEO;
        case TMediaKind::TvShow: return ITDB_MEDIATYPE_TVSHOW;
        case TMediaKind::Movie: break;
    }
    return ITDB_MEDIATYPE_MOVIE;
}

std::string ErrnoText(int number) { return std::strerror(number); }

// Room left for the database and the artwork that grow with each video.
constexpr uintmax_t kRoomToSpare = 1024 * 1024;

std::string Megabytes(uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    return text;
}

}  // namespace

bool ReadIpodVideo(const std::string& path, TIpodVideo& video, std::string& error) {
    TMediaFacts facts;
    if (!ReadMediaFacts(path, facts, error)) return false;
    video = TIpodVideo{};
    video.Path = path;
    video.Tags = TagsOf(path, facts);
    video.DurationMs = facts.DurationUs > 0 ? facts.DurationUs / 1000 : 0;
    int64_t bitRate = 0;
    if (facts.Video) bitRate += facts.Video->BitRate;
    if (facts.Audio) bitRate += facts.Audio->BitRate;
    video.BitRateKbps = static_cast<int32_t>(bitRate / 1000);
    if (const std::optional<TPosterPicture> poster = GrabPosterPicture(path, kPosterMaxWidth))
        video.PosterJpeg = EncodePosterJpeg(*poster);
    return true;
}

void TIpodLibrary::TDatabaseFree::operator()(_Itdb_iTunesDB* database) const { itdb_free(database); }

std::string TIpodLibrary::Failure(const std::string& cause) const {
    return "iPod \"" + ipod_.Label() + "\" (" + ipod_.Mount + "): " + cause;
}

bool TIpodLibrary::Open(const TIpod& ipod, std::string& error) {
    ipod_ = ipod;
    if (ipod.Support != TIpodSupport::Supported) {
        error = Failure("cannot receive videos: " + ipod.Reason);
        return false;
    }
    TGErrorSlot failure;
    database_.reset(itdb_parse(ipod.Mount.c_str(), failure.Out()));
    if (!database_) {
        error = Failure("its database cannot be read (" + failure.Message() + ")");
        return false;
    }
    return true;
}

bool TIpodLibrary::Add(const TIpodVideo& video, std::string& error) {
    const std::string mount = ipod_.Mount;
    if (!HoldsIpodDatabase(mount)) {
        error = Failure(video.Path + " was not copied: " + kGone);
        return false;
    }
    // A copy that runs out of room fails with whatever the last write saw;
    // the room is known beforehand.
    std::error_code sizeError, spaceError;
    const uintmax_t size = fs::file_size(video.Path, sizeError);
    const fs::space_info space = fs::space(mount, spaceError);
    if (!sizeError && !spaceError && size + kRoomToSpare > space.available) {
        error = Failure(video.Path + " was not copied: there is not enough room on it (" + Megabytes(size) +
                        " needed, " + Megabytes(space.available) + " free)");
        return false;
    }
    TGpodTrackPtr track(itdb_track_new());
    track->title = g_strdup(video.Tags.Title.c_str());
    track->filetype = g_strdup("MPEG-4 video file");
    track->mediatype = MediaTypeOf(video.Tags.Kind);
    track->movie_flag = 1;
    track->tracklen = static_cast<gint32>(video.DurationMs);
    track->bitrate = video.BitRateKbps;
    track->time_added = std::time(nullptr);
    if (video.Tags.Episode) {
        track->tvshow = g_strdup(video.Tags.Episode->Show.c_str());
        track->season_nr = static_cast<guint32>(video.Tags.Episode->Season);
        track->episode_nr = static_cast<guint32>(video.Tags.Episode->Episode);
    }
    // libgpod chooses the music folder from the database the track is in.
    Itdb_Track* listed = track.release();
    itdb_track_add(database_.get(), listed, -1);
    TGErrorSlot failure;
    TGTextPtr destination(itdb_cp_get_dest_filename(listed, mount.c_str(), video.Path.c_str(), failure.Out()));
    bool copied = destination && itdb_cp(video.Path.c_str(), destination.get(), failure.Out());
    copied = copied && itdb_cp_finalize(listed, mount.c_str(), destination.get(), failure.Out());
    if (!copied) {
        if (destination) ::unlink(destination.get());
        itdb_track_remove(listed);
        error = Failure(video.Path + " was not copied: " + failure.Message());
        return false;
    }
    // A picture libgpod cannot take costs the artwork, not the video.
    if (!video.PosterJpeg.empty())
        itdb_track_set_thumbnails_from_data(listed, video.PosterJpeg.data(), video.PosterJpeg.size());
    itdb_playlist_add_track(itdb_playlist_mpl(database_.get()), listed, -1);
    unsaved_.push_back(listed);
    return true;
}

void TIpodLibrary::Forget(Itdb_Track* track) {
    if (TGTextPtr file{itdb_filename_on_ipod(track)}) ::unlink(file.get());
    itdb_playlist_remove_track(itdb_playlist_mpl(database_.get()), track);
    itdb_track_remove(track);
}

bool TIpodLibrary::Save(std::string& error) {
    if (unsaved_.empty()) return true;
    const fs::path itunes = TGTextPtr(itdb_get_itunes_dir(ipod_.Mount.c_str())).get();
    const fs::path current = itunes / "iTunesDB";
    const fs::path fresh = itunes / kNewName;
    std::string cause;
    std::error_code copyError;
    const bool gone = !HoldsIpodDatabase(ipod_.Mount);
    if (gone) {
        cause = std::string("could not write its database: ") + kGone;
    } else if (!backedUp_ &&
               !fs::copy_file(current, itunes / kBackupName, fs::copy_options::overwrite_existing, copyError)) {
        cause = "could not keep a copy of its database (" + copyError.message() + ")";
    } else {
        backedUp_ = true;
        TGErrorSlot failure;
        if (!itdb_write_file(database_.get(), fresh.c_str(), failure.Out())) {
            cause = "could not write its database (" + failure.Message() + ")";
        } else if (::rename(fresh.c_str(), current.c_str()) != 0) {
            cause = "could not write its database (" + ErrnoText(errno) + ")";
        }
    }
    if (cause.empty()) {
        unsaved_.clear();
        return true;
    }
    std::error_code ignored;
    fs::remove(fresh, ignored);
    for (Itdb_Track* track : unsaved_) Forget(track);
    const size_t lost = unsaved_.size();
    unsaved_.clear();
    const std::string videos = std::to_string(lost) + (lost == 1 ? " video" : " videos");
    error = Failure(cause + (gone ? "; the " + videos + " sent since are not in its database"
                                  : "; its database was left as it was and the " + videos +
                                        " sent since were taken off again"));
    return false;
}
