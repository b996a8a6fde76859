#pragma once
// What a database write that is not preceded by a backup can be put back to
// when it fails: libgpod rewrites the artwork before the track database, so
// a write that fails after it would leave the old track database pointing
// into new pictures. A backup copies every picture file, which is too much to
// do before each file of a run; this keeps, on the iPod itself, a second name
// for each picture file and its length (libgpod writes new pictures after
// the old ones, or into a new file), a copy of the small artwork database and
// a second name for the track database (replaced by renaming). When tracks
// are taken off, libgpod may move pictures within the files, so then the
// picture files are copied whole.

#include <cstdint>
#include <string>
#include <vector>

class TArtworkSnapshot {
public:
    TArtworkSnapshot() = default;
    ~TArtworkSnapshot();
    TArtworkSnapshot(const TArtworkSnapshot&) = delete;
    TArtworkSnapshot& operator=(const TArtworkSnapshot&) = delete;

    // False with the cause; nothing is kept then.
    bool Take(const std::string& mount, bool copyPictures, std::string& error);
    // Puts the databases and the picture files back as they were taken.
    bool Restore(std::string& error);

private:
    struct TKept {
        std::string Name;  // in the artwork folder, or "iTunesDB"
        uintmax_t Length = 0;
        bool Copied = false;
    };
    void Discard();

    std::string mount_;
    std::string folder_;  // empty while nothing is kept
    std::vector<TKept> kept_;
};
