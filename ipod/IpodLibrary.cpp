#include "IpodLibrary.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

#include "ArtworkSnapshot.h"
#include "DurableFiles.h"
#include "IpodBackups.h"
#include "IpodLimits.h"
#include "IpodReading.h"
#include "MediaFacts.h"
#include "PosterPicture.h"

namespace {

namespace fs = std::filesystem;

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
    if (kind == 21) tags.Kind = TMediaKind::Podcast;
    if (kind == 10) {
        tags.Kind = TMediaKind::TvShow;
        if (!tags.Episode) tags.Episode = TEpisode{};
        if (!Tag(facts, "show").empty()) tags.Episode->Show = Tag(facts, "show");
        if (const int season = Number(Tag(facts, "season_number"))) tags.Episode->Season = season;
        if (const int episode = Number(Tag(facts, "episode_sort"))) tags.Episode->Episode = episode;
    }
    if (tags.Kind != TMediaKind::TvShow) tags.Episode.reset();
    if (!Tag(facts, "artist").empty()) tags.Artist = Tag(facts, "artist");
    if (const int year = Number(Tag(facts, "date").substr(0, 4))) tags.Year = year;
    if (tags.Kind == TMediaKind::Podcast && !Tag(facts, "album").empty()) tags.Album = Tag(facts, "album");
    return tags;
}

// The file type this program writes into the tracks it lists, which tells
// them apart from other programs' tracks; the iPod shows it nowhere.
constexpr char kOurFileType[] = "MPEG-4 video file (Tovrela)";

constexpr guint32 kVideoTypes = ITDB_MEDIATYPE_MOVIE | ITDB_MEDIATYPE_MUSICVIDEO | ITDB_MEDIATYPE_TVSHOW;

std::string KindName(guint32 mediaType) {
    if (mediaType & ITDB_MEDIATYPE_TVSHOW) return "TV show";
    if (mediaType & ITDB_MEDIATYPE_MUSICVIDEO) return "music video";
    if ((mediaType & ITDB_MEDIATYPE_PODCAST) && (mediaType & ITDB_MEDIATYPE_MOVIE)) return "video podcast";
    if (mediaType & ITDB_MEDIATYPE_MOVIE) return "movie";
    return "other";
}

std::string Text(const gchar* text) { return text ? text : ""; }

guint32 MediaTypeOf(TMediaKind kind) {
    switch (kind) {
        case TMediaKind::MusicVideo: return ITDB_MEDIATYPE_MUSICVIDEO;
        case TMediaKind::TvShow: return ITDB_MEDIATYPE_TVSHOW;
        case TMediaKind::Podcast: return ITDB_MEDIATYPE_PODCAST | ITDB_MEDIATYPE_MOVIE;
        case TMediaKind::Movie: break;
    }
    return ITDB_MEDIATYPE_MOVIE;
}

std::string ErrnoText(int number) { return std::strerror(number); }

// Out of every playlist, before the track itself goes.
void Unlist(Itdb_iTunesDB* database, Itdb_Track* track) {
    for (GList* list = database->playlists; list; list = list->next) {
        Itdb_Playlist* playlist = static_cast<Itdb_Playlist*>(list->data);
        while (itdb_playlist_contains_track(playlist, track)) itdb_playlist_remove_track(playlist, track);
    }
}

// The iPod lists podcasts under Podcasts only from the playlist marked as
// its podcasts; one is made when the database has none.
Itdb_Playlist* PodcastsPlaylist(Itdb_iTunesDB* database) {
    if (Itdb_Playlist* podcasts = itdb_playlist_podcasts(database)) return podcasts;
    Itdb_Playlist* podcasts = itdb_playlist_new("Podcasts", FALSE);
    itdb_playlist_set_podcasts(podcasts);
    itdb_playlist_add(database, podcasts, -1);
    return podcasts;
}

// Films and episodes longer than this resume where they were stopped, as
// audiobooks do.
constexpr int64_t kResumeAfterMs = 10 * 60 * 1000;

// Room left beyond the databases' own size for what grows with each video.
constexpr uintmax_t kRoomToSpare = 1024 * 1024;

std::string Megabytes(uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    return text;
}

// A folder standing in for the iPod while libgpod writes artwork that must
// not reach it: its device files, so that the database is signed as the
// iPod's, and an empty artwork folder. Removed when it goes.
class TStandIn {
public:
    explicit TStandIn(const std::string& mount) {
        std::error_code error;
        std::string pattern = (fs::temp_directory_path(error) / "tovrela-ipod-XXXXXX").string();
        if (!error && ::mkdtemp(pattern.data())) path_ = pattern;
        const fs::path device = fs::path(path_) / "iPod_Control/Device";
        if (path_.empty() || !fs::create_directories(device, error) ||
            !fs::create_directories(fs::path(path_) / "iPod_Control/Artwork", error)) {
            failure_ = error ? error.message() : ErrnoText(errno);
            return;
        }
        for (const auto& entry : fs::directory_iterator(fs::path(mount) / "iPod_Control/Device", error))
            if (entry.is_regular_file()) fs::copy_file(entry.path(), device / entry.path().filename(), error);
        if (error) failure_ = error.message();
    }
    ~TStandIn() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    TStandIn(const TStandIn&) = delete;
    TStandIn& operator=(const TStandIn&) = delete;
    bool Made() const { return !path_.empty() && failure_.empty(); }
    const std::string& Failure() const { return failure_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string failure_;
};

}  // namespace

uintmax_t IpodDatabaseRoom(const std::string& mount) {
    // The new database is written beside the old one, the artwork rewritten,
    // and a backup of both may be taken first.
    return 2 * NewBackupBytes(mount) + kRoomToSpare;
}

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
    video.Chapters = facts.Chapters;
    // A converted file carries the poster its conversion took: the file is
    // decoded again only when it has none.
    video.PosterJpeg = std::move(facts.CoverJpeg);
    if (video.PosterJpeg.empty())
        if (const std::optional<TPosterPicture> poster = GrabPosterPicture(path, kPosterMaxWidth))
            video.PosterJpeg = EncodePosterJpeg(*poster);
    return true;
}

void TIpodLibrary::TDatabaseFree::operator()(_Itdb_iTunesDB* database) const { itdb_free(database); }

TIpodLibrary::TIpodLibrary() = default;

TIpodLibrary::~TIpodLibrary() { TakeOffAdded(); }

std::string TIpodLibrary::Failure(const std::string& cause) const {
    return ipod_.Name.empty() ? "iPod at " + ipod_.Mount + ": " + cause
                              : "iPod \"" + ipod_.Label() + "\" (" + ipod_.Mount + "): " + cause;
}

bool TIpodLibrary::Open(const std::string& mount, const TNotice& notice, std::string& error,
                        const std::function<bool()>& givenUp) {
    ipod_ = TIpod{};
    ipod_.Mount = mount;
    notice_ = notice;
    if (!HoldsIpodDatabase(mount)) {
        error = Failure(kGone);
        return false;
    }
    std::string lockError;
    const auto waiting = [&] {
        if (notice_) notice_(Failure("another program is writing to it; waiting for it to finish"));
    };
    if (!lock_.Take(mount, waiting, kIpodLockPatience, lockError, givenUp)) {
        error = Failure(lockError);
        return false;
    }
    TGpodDatabasePtr database;
    ipod_ = ReadIpod(mount, database);
    if (ipod_.Support != TIpodSupport::Supported) {
        error = Failure("cannot receive videos: " + ipod_.Reason);
        return false;
    }
    database_.reset(database.release());
    roomForDatabases_ = IpodDatabaseRoom(mount);
    return true;
}

TIpodLibrary::TAdded TIpodLibrary::Add(const TIpodVideo& video, bool evenIfThere, std::string& error) {
    const std::string mount = ipod_.Mount;
    if (!database_) {
        error = Failure(video.Path + " was not copied: its database is not open");
        return TAdded::Failed;
    }
    if (!HoldsIpodDatabase(mount)) {
        error = Failure(video.Path + " was not copied: " + kGone);
        return TAdded::Failed;
    }
    std::error_code sizeError, spaceError;
    const uintmax_t size = fs::file_size(video.Path, sizeError);
    if (sizeError) {
        error = video.Path + ": " + sizeError.message();
        return TAdded::Failed;
    }
    if (size > kIpodLargestFile) {
        error = Failure(video.Path + " was not copied: it is larger than the iPod can hold in one file (" +
                        Megabytes(size) + ", at most " + Megabytes(kIpodLargestFile) + ")");
        return TAdded::Failed;
    }
    if (!evenIfThere) {
        const guint32 kind = MediaTypeOf(video.Tags.Kind);
        for (GList* item = database_->tracks; item; item = item->next) {
            const Itdb_Track* track = static_cast<const Itdb_Track*>(item->data);
            if (track->title && video.Tags.Title == track->title && track->mediatype == kind &&
                std::abs(static_cast<int64_t>(track->tracklen) - video.DurationMs) <= 1000 &&
                static_cast<uintmax_t>(track->size) == size) {
                error = Failure(video.Path + ": already on the iPod, as \"" + video.Tags.Title + "\"");
                return TAdded::AlreadyThere;
            }
        }
    }
    // A copy that runs out of room fails with whatever the last write saw;
    // the room is known beforehand, with what the databases need.
    if (!HasRoomFor(size)) {
        const fs::space_info space = fs::space(mount, spaceError);
        error = Failure(video.Path + " was not copied: there is not enough room on it (" +
                        Megabytes(size + roomForDatabases_) + " needed with its database, " +
                        Megabytes(space.available) + " free)");
        return TAdded::Failed;
    }
    // libgpod chooses the music folder from the database the track is in.
    Itdb_Track* listed = List(video);
    TGErrorSlot failure;
    std::string syncError;
    TGTextPtr destination(itdb_cp_get_dest_filename(listed, mount.c_str(), video.Path.c_str(), failure.Out()));
    bool copied = destination && itdb_cp(video.Path.c_str(), destination.get(), failure.Out());
    copied = copied && itdb_cp_finalize(listed, mount.c_str(), destination.get(), failure.Out());
    // The file must be on the device before a database lists it.
    const bool synced = copied && SyncPath(destination.get(), syncError) &&
                        SyncPath(fs::path(destination.get()).parent_path().string(), syncError);
    if (!synced) {
        if (destination) RemoveDurably(destination.get());
        Unlist(database_.get(), listed);
        itdb_track_remove(listed);
        error = Failure(video.Path + " was not copied: " + (copied ? syncError : failure.Message()));
        return TAdded::Failed;
    }
    added_.push_back(listed);
    if (!video.PosterJpeg.empty() && !ipod_.NoPosterReason.empty() && notice_)
        notice_(Failure(video.Path + ": sent without a poster: " + ipod_.NoPosterReason));
    return TAdded::Added;
}

bool TIpodLibrary::HasRoomFor(uintmax_t bytes) const {
    std::error_code spaceError;
    const fs::space_info space = fs::space(ipod_.Mount, spaceError);
    return spaceError || bytes + roomForDatabases_ <= space.available;
}

uint64_t TIpodLibrary::LastAddedId() const { return added_.empty() ? 0 : added_.back()->dbid; }

Itdb_Track* TIpodLibrary::List(const TIpodVideo& video) {
    Itdb_Track* track = itdb_track_new();
    track->title = g_strdup(video.Tags.Title.c_str());
    track->filetype = g_strdup(kOurFileType);
    track->mediatype = MediaTypeOf(video.Tags.Kind);
    track->movie_flag = 1;
    track->tracklen = static_cast<gint32>(video.DurationMs);
    track->bitrate = video.BitRateKbps;
    track->time_added = std::time(nullptr);
    // The iPod marks a video not yet watched with a dot.
    track->mark_unplayed = 0x02;
    // A film or an episode is watched in sittings; a music video is not.
    track->remember_playback_position =
        video.Tags.Kind != TMediaKind::MusicVideo && video.DurationMs > kResumeAfterMs ? 1 : 0;
    if (video.Tags.Episode) {
        track->tvshow = g_strdup(video.Tags.Episode->Show.c_str());
        track->season_nr = static_cast<guint32>(video.Tags.Episode->Season);
        track->episode_nr = static_cast<guint32>(video.Tags.Episode->Episode);
        track->tvepisode = g_strdup(EpisodeId(*video.Tags.Episode).c_str());
    }
    if (!video.Tags.Artist.empty()) track->artist = g_strdup(video.Tags.Artist.c_str());
    if (!video.Tags.Album.empty()) track->album = g_strdup(video.Tags.Album.c_str());
    if (video.Tags.Kind == TMediaKind::Podcast) {
        // As libgpod documents a podcast's flags: left out of shuffling, its
        // "Now Playing" page showing title and album.
        track->skip_when_shuffling = 1;
        track->flag4 = 0x01;
    }
    track->year = video.Tags.Year;
    if (!video.Chapters.empty()) {
        // A new track may come with an empty chapter list of its own, which
        // replacing would leak.
        if (!track->chapterdata) track->chapterdata = itdb_chapterdata_new();
        for (const TChapterFact& chapter : video.Chapters)
            itdb_chapterdata_add_chapter(track->chapterdata, static_cast<guint32>(std::max<int64_t>(chapter.StartMs, 0)),
                                         const_cast<gchar*>(chapter.Title.c_str()));
    }
    itdb_track_add(database_.get(), track, -1);
    // A picture libgpod cannot take costs the artwork, not the video.
    if (!video.PosterJpeg.empty() && ipod_.NoPosterReason.empty())
        itdb_track_set_thumbnails_from_data(track, video.PosterJpeg.data(), video.PosterJpeg.size());
    if (Itdb_Playlist* master = itdb_playlist_mpl(database_.get())) itdb_playlist_add_track(master, track, -1);
    if (video.Tags.Kind == TMediaKind::Podcast) itdb_playlist_add_track(PodcastsPlaylist(database_.get()), track, -1);
    return track;
}

std::string IpodVideoId(uint64_t id) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(id));
    return text;
}

std::vector<TIpodListedVideo> TIpodLibrary::Videos() const {
    std::vector<TIpodListedVideo> videos;
    if (!database_) return videos;
    for (GList* item = database_->tracks; item; item = item->next) {
        const Itdb_Track* track = static_cast<const Itdb_Track*>(item->data);
        if (!(track->mediatype & kVideoTypes) && !track->movie_flag) continue;
        TIpodListedVideo video;
        video.Id = track->dbid;
        video.Title = Text(track->title);
        video.Kind = KindName(track->mediatype);
        video.Show = Text(track->tvshow);
        video.Season = track->season_nr;
        video.Episode = track->episode_nr;
        video.Artist = Text(track->artist);
        video.LengthMs = track->tracklen;
        video.Size = track->size;
        video.Ours = Text(track->filetype) == kOurFileType;
        videos.push_back(std::move(video));
    }
    return videos;
}

bool TIpodLibrary::Remove(uint64_t id) {
    if (!database_) return false;
    for (GList* item = database_->tracks; item; item = item->next) {
        Itdb_Track* track = static_cast<Itdb_Track*>(item->data);
        if (track->dbid != id || (!(track->mediatype & kVideoTypes) && !track->movie_flag)) continue;
        if (TGTextPtr file{itdb_filename_on_ipod(track)}) removedFiles_.push_back(file.get());
        Unlist(database_.get(), track);
        itdb_track_remove(track);
        return true;
    }
    return false;
}

std::vector<std::string> TIpodLibrary::TrackProblems() const {
    std::vector<std::string> problems;
    if (!database_) return problems;
    for (GList* item = database_->tracks; item; item = item->next) {
        Itdb_Track* track = static_cast<Itdb_Track*>(item->data);
        const std::string title = "\"" + std::string(track->title ? track->title : "") + "\"";
        TGTextPtr file(itdb_filename_on_ipod(track));
        std::error_code sizeError;
        const uintmax_t size = file ? fs::file_size(file.get(), sizeError) : 0;
        if (!track->ipod_path || !*track->ipod_path) {
            problems.push_back(title + ": the database names no file for it");
        } else if (!file || sizeError) {
            problems.push_back(title + ": its file " + std::string(track->ipod_path) + " is missing");
        } else if (size != static_cast<uintmax_t>(track->size)) {
            problems.push_back(title + ": its file " + file.get() + " has " + std::to_string(size) +
                               " bytes, the database says " + std::to_string(track->size));
        }
    }
    return problems;
}

std::vector<std::string> TIpodLibrary::Orphans() const {
    std::vector<std::string> orphans;
    if (!database_) return orphans;
    std::set<std::string> listed;
    for (GList* item = database_->tracks; item; item = item->next)
        if (TGTextPtr file{itdb_filename_on_ipod(static_cast<Itdb_Track*>(item->data))})
            listed.insert(fs::weakly_canonical(file.get()).string());
    TGTextPtr music(itdb_get_music_dir(ipod_.Mount.c_str()));
    if (!music) return orphans;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(music.get(), error))
        if (entry.is_regular_file() && !listed.count(fs::weakly_canonical(entry.path()).string()))
            orphans.push_back(entry.path().string());
    std::sort(orphans.begin(), orphans.end());
    return orphans;
}

bool TIpodLibrary::Adopt(const std::string& file, std::string& error) {
    TMediaFacts facts;
    TIpodVideo video;
    if (!ReadMediaFacts(file, facts, error) || !facts.Video || Tag(facts, "media_type").empty()) {
        error = "not a video this program made";
        return false;
    }
    if (!ReadIpodVideo(file, video, error)) return false;
    Itdb_Track* listed = List(video);
    TGErrorSlot failure;
    if (!itdb_cp_finalize(listed, ipod_.Mount.c_str(), file.c_str(), failure.Out())) {
        Unlist(database_.get(), listed);
        itdb_track_remove(listed);
        error = failure.Message();
        return false;
    }
    adopted_.push_back(listed);
    return true;
}

std::vector<std::string> TIpodLibrary::TakeOffAdded() {
    std::vector<std::string> left;
    for (Itdb_Track* track : added_) {
        if (TGTextPtr file{itdb_filename_on_ipod(track)}) {
            if (!RemoveDurably(file.get())) left.push_back(file.get());
        } else if (track->ipod_path) {
            // The iPod went: the file is where it was copied to.
            std::string path = track->ipod_path;
            for (char& c : path)
                if (c == ':') c = '/';
            left.push_back(ipod_.Mount + path);
        }
        Unlist(database_.get(), track);
        itdb_track_remove(track);
    }
    added_.clear();
    return left;
}

bool TIpodLibrary::WriteDatabase(std::string& cause) {
    TGTextPtr itunes(itdb_get_itunes_dir(ipod_.Mount.c_str()));
    if (!itunes || !HoldsIpodDatabase(ipod_.Mount)) {
        cause = std::string("could not write its database: ") + kGone;
        return false;
    }
    const fs::path current = fs::path(itunes.get()) / "iTunesDB";
    // Of its own, should another program ever write without the lock.
    const fs::path fresh = fs::path(itunes.get()) / (std::string(kNewName) + "-" + std::to_string(::getpid()));
    TGErrorSlot failure;
    std::string syncError;
    // libgpod writes the artwork with the database, from what it read; when
    // it could read none, the iPod's own is kept by letting libgpod write
    // into a folder of ours that stands in for the iPod.
    std::optional<TStandIn> standIn;
    if (!ipod_.NoPosterReason.empty()) {
        standIn.emplace(ipod_.Mount);
        if (!standIn->Made()) {
            cause = "could not write its database (" + standIn->Failure() + ")";
            return false;
        }
        itdb_device_set_mountpoint(database_->device, standIn->Path().c_str());
    }
    bool written = itdb_write_file(database_.get(), fresh.c_str(), failure.Out());
    if (standIn) itdb_device_set_mountpoint(database_->device, ipod_.Mount.c_str());
    if (!written) cause = "could not write its database (" + failure.Message() + ")";
    // libgpod rewrote the artwork in place; it and the new database must be
    // on the device before the new database takes the old one's name.
    if (written) {
        TGTextPtr artwork(itdb_get_artwork_dir(ipod_.Mount.c_str()));
        std::error_code ignored;
        if (artwork)
            for (const auto& entry : fs::directory_iterator(artwork.get(), ignored))
                written = written && (!entry.is_regular_file() || SyncPath(entry.path().string(), syncError));
        written = written && (!artwork || SyncPath(artwork.get(), syncError)) && SyncPath(fresh.string(), syncError);
        if (!written) cause = "could not write its database (" + syncError + ")";
    }
    if (written && ::rename(fresh.c_str(), current.c_str()) != 0) {
        cause = "could not write its database (" + ErrnoText(errno) + ")";
        written = false;
    }
    if (!written) {
        RemoveDurably(fresh.string());
        return false;
    }
    if (!SyncPath(itunes.get(), syncError)) {
        cause = "could not write its database (" + syncError + ")";
        return false;
    }
    // The plays and the playlists made on the iPod since the last write are
    // in the database now: libgpod moves their files away, as it does when
    // it writes the database itself, or they would be counted again at every
    // read.
    TGErrorSlot renameFailure;
    if (!itdb_rename_files(ipod_.Mount.c_str(), renameFailure.Out()) && notice_)
        notice_(Failure("the plays made on it since the last write may be counted again (" +
                        renameFailure.Message() + ")"));
    SyncPath(itunes.get(), syncError);
    return true;
}

bool TIpodLibrary::Commit(bool keepBackup, std::string& error) {
    if (added_.empty() && adopted_.empty() && removedFiles_.empty()) return true;
    std::string cause;
    std::string backupError;
    bool backedUp = false;
    // A write after the run's first keeps no backup, but can still be put back.
    TArtworkSnapshot snapshot;
    const bool gone = !HoldsIpodDatabase(ipod_.Mount);
    if (gone) {
        cause = std::string("could not write its database: ") + kGone;
    } else if (keepBackup && !(backedUp = TakeIpodBackup(ipod_.Mount, backupError))) {
        cause = "could not keep a copy of its database (" + backupError + ")";
    } else if (!keepBackup && !snapshot.Take(ipod_.Mount, !removedFiles_.empty(), backupError)) {
        cause = "could not keep a copy of its artwork (" + backupError + ")";
    } else if (WriteDatabase(cause)) {
        added_.clear();
        adopted_.clear();
        // Only now that no track lists them; one left is an orphan that
        // "ipod check --repair" finds.
        std::vector<std::string> left;
        for (const std::string& file : removedFiles_)
            if (!RemoveDurably(file)) left.push_back(file);
        removedFiles_.clear();
        if (left.empty()) return true;
        error = Failure("its database was written, but these files could not be removed:");
        for (const std::string& file : left) error += " " + file;
        error += " (\"tovrela-cli ipod check MOUNT --repair\" removes them)";
        return false;
    }
    removedFiles_.clear();
    // libgpod rewrites the artwork in place before the track database; the
    // backup just taken puts back what the old database points into.
    const std::vector<TIpodBackup> backups = IpodBackups(ipod_.Mount);
    if (backedUp && !backups.empty() && HoldsIpodDatabase(ipod_.Mount))
        RestoreIpodBackup(ipod_.Mount, backups.front(), backupError);
    else if (HoldsIpodDatabase(ipod_.Mount))
        snapshot.Restore(backupError);
    const size_t count = added_.size();
    const std::vector<std::string> left = TakeOffAdded();
    const std::string videos = std::to_string(count) + (count == 1 ? " video" : " videos");
    std::string outcome = "; its database was left as it was";
    if (count == 0) {
    } else if (left.empty()) {
        outcome += " and the " + videos + " copied were taken off again";
    } else {
        outcome += "; copied files that could not be taken off again:";
        for (const std::string& file : left) outcome += " " + file;
        outcome += " (\"tovrela-cli ipod check MOUNT --repair\" removes them)";
    }
    error = Failure(cause + outcome);
    return false;
}
