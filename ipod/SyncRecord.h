#pragma once
// What this program's syncs put on an iPod: for each source file (its path,
// size and modification time) the database ID of the track made from it,
// kept on the iPod itself so that any computer syncing the same folders
// finds what is already there. It is written under the iPod's lock before
// the database that lists the new tracks, so that it never lacks a track a
// database lists; an entry whose track the database does not list (a write
// that failed, a track removed since) is dropped when the record is read.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// A source file as it was when it went on.
struct TSyncSource {
    std::string Path;  // absolute
    uint64_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const TSyncSource&) const = default;
};
// The file as it is now; false when it is gone or unreadable.
bool SyncSourceOf(const std::string& path, TSyncSource& source);

struct TSyncEntry {
    TSyncSource Source;
    uint64_t Id = 0;
};

class TIpodLibrary;

class TSyncRecord {
public:
    // Reads the record of the iPod at `mount`, keeping only the entries
    // whose track is in `listed` (the IDs of this program's tracks). None
    // yet is an empty record. False with the cause when it cannot be read.
    bool Read(const std::string& mount, const std::set<uint64_t>& listed, std::string& error);
    // Writes it, flushed, in place of the old one; false with the cause.
    bool Write(const std::string& mount, std::string& error) const;
    // The entry of that path; nullptr when none.
    const TSyncEntry* Find(const std::string& path) const;
    // The entry of a new track, beside the old one of the same path until a
    // read finds that one's track gone.
    void Put(const TSyncSource& source, uint64_t id);
    const std::vector<TSyncEntry>& Entries() const { return entries_; }

private:
    std::vector<TSyncEntry> entries_;
};

// In a change of `library` whose last Add listed a track made from
// `source`: reads the record afresh (keeping the entries of the tracks the
// change leaves), gives the track to the source and writes the record, all
// before the change's database is written. Otherwise `error` says why,
// naming the source and the record: Unreadable when the record on the iPod
// cannot be read (it is left as it is), Failed when it cannot be written.
enum class TRecorded { Recorded, Unreadable, Failed };
TRecorded RecordAddedTrack(const TIpodLibrary& library, const TSyncSource& source, std::string& error);
