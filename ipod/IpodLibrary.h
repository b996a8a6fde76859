#pragma once
// Putting videos on an iPod: each file copied into the iPod's music folders
// under the name libgpod chooses and listed in its database as a video with
// its title, kind, length, size, bit rate and poster. The database is the
// person's whole library, so it is changed with care (see TIpodLibrary).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "IpodFinder.h"
#include "IpodLock.h"
#include "MediaFacts.h"
#include "OutputTags.h"

// What the iPod's database says about one video.
struct TIpodVideo {
    std::string Path;  // the file on this computer
    TOutputTags Tags;
    int64_t DurationMs = 0;
    int32_t BitRateKbps = 0;
    std::vector<uint8_t> PosterJpeg;  // empty: no artwork
    std::vector<TChapterFact> Chapters;  // the iPod's "Chapters" menu
};

// Reads a converted file's tags (its own title, kind, show, season and
// episode, else what its name says), length, bit rate and poster. False with
// a message naming the file when it cannot be read.
bool ReadIpodVideo(const std::string& path, TIpodVideo& video, std::string& error);

// The room a change to the iPod's library needs beyond the videos it adds.
uintmax_t IpodDatabaseRoom(const std::string& mount);

// One video as the iPod's database lists it.
struct TIpodListedVideo {
    uint64_t Id = 0;  // the database's own, kept across writes
    std::string Title;
    std::string Kind;  // "movie", "TV show", "music video", "video podcast" or "other"
    std::string Show;
    uint32_t Season = 0;
    uint32_t Episode = 0;
    std::string Artist;
    int64_t LengthMs = 0;
    uint64_t Size = 0;
    bool Ours = false;  // put there by this program
};
// The form an ID is shown and typed in: 16 hexadecimal digits.
std::string IpodVideoId(uint64_t id);

// A video's poster as rows of RGB bytes, three a pixel; empty when it has none.
struct TIpodPoster {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb;
};

// libgpod's types, kept out of this header: its GLib headers and Qt's do not
// mix.
struct _Itdb_iTunesDB;
struct _Itdb_Track;

// One change to the iPod's library, made the way a database changes its
// files: the iPod's lock is taken, its database read afresh (and refused
// unless it read completely), the videos copied and listed, and the new
// database written under a temporary name, flushed, renamed over the old one
// and its folder flushed, all before the lock is released. No copy of the
// database outlives the change, so nothing another program wrote meanwhile
// is thrown away.
class TIpodLibrary {
public:
    using TNotice = std::function<void(const std::string&)>;
    TIpodLibrary();
    // Takes the files added but not written off the iPod again, then
    // releases the lock.
    ~TIpodLibrary();
    TIpodLibrary(const TIpodLibrary&) = delete;
    TIpodLibrary& operator=(const TIpodLibrary&) = delete;

    // Takes the lock of the iPod at `mount` (telling `notice` when it waits
    // for another program, and no longer waiting once `givenUp` says so) and
    // reads its database. False with a message naming the iPod.
    bool Open(const std::string& mount, const TNotice& notice, std::string& error,
              const std::function<bool()>& givenUp = {});
    enum class TAdded { Added, AlreadyThere, Failed };
    // Copies the file onto the iPod, flushed, and lists it. A track with the
    // same title, kind, length (within a second) and size is taken to be
    // this file already, unless `evenIfThere`. A copy that fails leaves
    // nothing behind.
    TAdded Add(const TIpodVideo& video, bool evenIfThere, std::string& error);
    // Whether a file of that size can be copied on now, with the room a
    // write of the database needs.
    bool HasRoomFor(uintmax_t bytes) const;
    // The database ID of the track the last Add listed; 0 when none.
    uint64_t LastAddedId() const;
    // Writes the database lasting when files were added, after a backup of
    // the old one when `keepBackup`. When that fails, the old database stays
    // and the files added are taken off again; the message says which could
    // not be.
    bool Commit(bool keepBackup, std::string& error);
    const TIpod& Ipod() const { return ipod_; }

    // What "tovrela-cli ipod check" looks at. Tracks whose file is missing
    // or has another size than the database says, one line each.
    std::vector<std::string> TrackProblems() const;
    // Files in the music folders that no track lists.
    std::vector<std::string> Orphans() const;
    // Every video the database lists (songs are left out), in its order.
    std::vector<TIpodListedVideo> Videos() const;
    // Takes the video with that ID out of the database and every playlist;
    // Commit writes the database, then removes its file (its artwork goes
    // with the database). False when no video has that ID.
    bool Remove(uint64_t id);
    // The poster of the video with that ID, at most `width` x `height`.
    TIpodPoster Poster(uint64_t id, int width, int height) const;
    // Lists a file already in the music folders as a video, when it is one
    // this program made (a video with its kind in its tags); false with the
    // reason otherwise. Commit writes it.
    bool Adopt(const std::string& file, std::string& error);

private:
    struct TDatabaseFree {
        void operator()(_Itdb_iTunesDB* database) const;
    };
    // A new track for the video, in the database and its master playlist.
    _Itdb_Track* List(const TIpodVideo& video);
    bool WriteDatabase(std::string& cause);
    // The files of the added tracks that could not be removed.
    std::vector<std::string> TakeOffAdded();
    std::string Failure(const std::string& cause) const;

    TIpod ipod_;
    TIpodLock lock_;
    TNotice notice_;
    std::unique_ptr<_Itdb_iTunesDB, TDatabaseFree> database_;
    std::vector<_Itdb_Track*> added_;    // owned by the database
    std::vector<_Itdb_Track*> adopted_;  // likewise; their files were there before
    std::vector<std::string> removedFiles_;  // to go once the database no longer lists them
    uintmax_t roomForDatabases_ = 0;
};
