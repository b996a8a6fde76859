#include "SyncRecord.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DurableFiles.h"
#include "IpodLibrary.h"

namespace {

namespace fs = std::filesystem;

constexpr char kFolder[] = "iPod_Control/Tovrela";
constexpr char kName[] = "sync-record";
// The first line; a record of another form is not read as this one.
constexpr char kHeading[] = "tovrela sync record 1";

// A line holds ID, size, time and path separated by tabs; a path keeps its
// tabs, line ends and percent signs as %09, %0A and %25.
std::string Escaped(const std::string& path) {
    std::string text;
    for (const char c : path) {
        if (c == '%') text += "%25";
        else if (c == '\t') text += "%09";
        else if (c == '\n') text += "%0A";
        else text += c;
    }
    return text;
}

std::string Unescaped(const std::string& text) {
    std::string path;
    for (size_t i = 0; i < text.size(); ++i) {
        const std::string code = text.substr(i, 3);
        if (code == "%25" || code == "%09" || code == "%0A") {
            path += code == "%25" ? '%' : code == "%09" ? '\t' : '\n';
            i += 2;
        } else {
            path += text[i];
        }
    }
    return path;
}

}  // namespace

bool SyncSourceOf(const std::string& path, TSyncSource& source) {
    struct stat facts {};
    if (::stat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode)) return false;
    std::error_code error;
    const fs::path absolute = fs::weakly_canonical(fs::absolute(path, error), error);
    source.Path = error ? path : absolute.string();
    source.Size = static_cast<uint64_t>(facts.st_size);
    source.ModifiedNs = static_cast<int64_t>(facts.st_mtim.tv_sec) * 1000000000 + facts.st_mtim.tv_nsec;
    return true;
}

bool TSyncRecord::Read(const std::string& mount, const std::set<uint64_t>& listed, std::string& error) {
    entries_.clear();
    const fs::path path = fs::path(mount) / kFolder / kName;
    std::error_code missing;
    if (!fs::exists(path, missing) && !missing) return true;
    std::ifstream file(path);
    if (!file) {
        error = path.string() + ": " + (missing ? missing.message() : std::strerror(errno));
        return false;
    }
    std::string line;
    if (!std::getline(file, line) || line != kHeading) {
        error = path.string() + ": not a record this program can read";
        return false;
    }
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        TSyncEntry entry;
        std::string source;
        if (!(fields >> std::hex >> entry.Id >> std::dec >> entry.Source.Size >> entry.Source.ModifiedNs)) continue;
        if (fields.get() != '\t' || !std::getline(fields, source) || source.empty()) continue;
        entry.Source.Path = Unescaped(source);
        if (listed.count(entry.Id)) entries_.push_back(std::move(entry));
    }
    return true;
}

bool TSyncRecord::Write(const std::string& mount, std::string& error) const {
    const fs::path folder = fs::path(mount) / kFolder;
    std::error_code made;
    fs::create_directories(folder, made);
    if (made) {
        error = folder.string() + ": " + made.message();
        return false;
    }
    std::ostringstream text;
    text << kHeading << '\n';
    for (const TSyncEntry& entry : entries_)
        text << std::hex << entry.Id << std::dec << '\t' << entry.Source.Size << '\t' << entry.Source.ModifiedNs << '\t'
             << Escaped(entry.Source.Path) << '\n';
    return WriteDurably((folder / kName).string(), text.str(), error) &&
           SyncPath(fs::path(mount).append("iPod_Control").string(), error);
}

const TSyncEntry* TSyncRecord::Find(const std::string& path) const {
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry)
        if (entry->Source.Path == path) return &*entry;
    return nullptr;
}

void TSyncRecord::Put(const TSyncSource& source, uint64_t id) { entries_.push_back({source, id}); }

TRecorded RecordAddedTrack(const TIpodLibrary& library, const TSyncSource& source, std::string& error) {
    std::set<uint64_t> ours;
    for (const TIpodListedVideo& video : library.Videos())
        if (video.Ours) ours.insert(video.Id);
    TSyncRecord record;
    std::string cause;
    if (!record.Read(library.Ipod().Mount, ours, cause)) {
        error = source.Path + ": the iPod's record of synced files could not be read: " + cause;
        return TRecorded::Unreadable;
    }
    record.Put(source, library.LastAddedId());
    if (record.Write(library.Ipod().Mount, cause)) return TRecorded::Recorded;
    // The library takes the copied file off again when its change is given up.
    error = source.Path + " was not put on: the iPod's record of synced files could not be written: " + cause;
    return TRecorded::Failed;
}
