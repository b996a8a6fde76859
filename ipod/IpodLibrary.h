#pragma once
// Putting videos on an iPod: each file copied into the iPod's music folders
// under the name libgpod chooses and listed in its database as a video with
// its title, kind, length, size, bit rate and poster. The database is the
// person's whole library, so it is written with care: a copy of the old one
// is kept beside it before the first write, the new one is written under a
// temporary name and renamed over the old one, and a write that fails takes
// the files it would have listed off the iPod again.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "IpodFinder.h"
#include "OutputTags.h"

// What the iPod's database says about one video.
struct TIpodVideo {
    std::string Path;  // the file on this computer
    TOutputTags Tags;
    int64_t DurationMs = 0;
    int32_t BitRateKbps = 0;
    std::vector<uint8_t> PosterJpeg;  // empty: no artwork
};

// Reads a converted file's tags (its own title, kind, show, season and
// episode, else what its name says), length, bit rate and poster. False with
// a message naming the file when it cannot be read.
bool ReadIpodVideo(const std::string& path, TIpodVideo& video, std::string& error);

// libgpod's types, kept out of this header: its GLib headers and Qt's do not
// mix.
struct _Itdb_iTunesDB;
struct _Itdb_Track;

class TIpodLibrary {
public:
    // Reads the iPod's database. False with a message naming the iPod.
    bool Open(const TIpod& ipod, std::string& error);
    // Copies the file onto the iPod and lists it; the database is written by
    // Save. A copy that fails (a full or removed iPod) leaves nothing behind.
    bool Add(const TIpodVideo& video, std::string& error);
    // Writes the database when files were added since the last write. When it
    // fails the old database stays and the files added since are removed.
    bool Save(std::string& error);
    size_t UnsavedCount() const { return unsaved_.size(); }
    const TIpod& Ipod() const { return ipod_; }

private:
    struct TDatabaseFree {
        void operator()(_Itdb_iTunesDB* database) const;
    };
    void Forget(_Itdb_Track* track);
    std::string Failure(const std::string& cause) const;

    TIpod ipod_;
    std::unique_ptr<_Itdb_iTunesDB, TDatabaseFree> database_;
    std::vector<_Itdb_Track*> unsaved_;  // owned by the database
    bool backedUp_ = false;
};
