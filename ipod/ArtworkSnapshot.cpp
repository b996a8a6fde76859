#include "ArtworkSnapshot.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "DurableFiles.h"

namespace {

namespace fs = std::filesystem;

fs::path ItunesDb(const std::string& mount) { return fs::path(mount) / "iPod_Control/iTunes/iTunesDB"; }
fs::path ArtworkFolder(const std::string& mount) { return fs::path(mount) / "iPod_Control/Artwork"; }

bool IsPicture(const fs::path& path) { return path.extension() == ".ithmb"; }

bool Link(const fs::path& from, const fs::path& to, std::string& error) {
    if (::link(from.c_str(), to.c_str()) == 0) return true;
    error = to.string() + ": " + std::strerror(errno);
    return false;
}

}  // namespace

TArtworkSnapshot::~TArtworkSnapshot() { Discard(); }

void TArtworkSnapshot::Discard() {
    if (folder_.empty()) return;
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    std::string unsynced;
    SyncPath(fs::path(folder_).parent_path().string(), unsynced);
    folder_.clear();
    kept_.clear();
}

bool TArtworkSnapshot::Take(const std::string& mount, bool copyPictures, std::string& error) {
    Discard();
    mount_ = mount;
    const fs::path folder = fs::path(mount) / "iPod_Control/iTunes/Tovrela Rollback";
    std::error_code fsError;
    // One a killed run left behind is of no use; the lock is held.
    fs::remove_all(folder, fsError);
    if (!fs::create_directories(folder, fsError)) {
        error = folder.string() + ": " + fsError.message();
        return false;
    }
    folder_ = folder.string();
    bool kept = Link(ItunesDb(mount), folder / "iTunesDB", error);
    kept_.push_back({"iTunesDB", 0, false});
    for (const auto& entry : fs::directory_iterator(ArtworkFolder(mount), fsError)) {
        if (!kept) break;
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        if (name == "ArtworkDB" || (IsPicture(entry.path()) && copyPictures)) {
            kept = CopyDurably(entry.path().string(), (folder / name).string(), error);
            kept_.push_back({name, 0, true});
        } else if (IsPicture(entry.path())) {
            const uintmax_t length = entry.file_size(fsError);
            kept = !fsError && Link(entry.path(), folder / name, error);
            kept_.push_back({name, length, false});
        }
    }
    kept = kept && SyncPath(folder_, error);
    if (!kept) Discard();
    return kept;
}

bool TArtworkSnapshot::Restore(std::string& error) {
    if (folder_.empty()) return true;
    const fs::path folder = folder_;
    std::set<std::string> pictures;
    bool restored = true;
    // The pictures first, then the artwork database that points into them,
    // then the track database that points into that.
    for (int pass = 0; pass < 3; ++pass) {
        for (const TKept& file : kept_) {
            const int rank = file.Name == "iTunesDB" ? 2 : file.Name == "ArtworkDB" ? 1 : 0;
            if (rank != pass || !restored) continue;
            const fs::path target = rank == 2 ? ItunesDb(mount_) : ArtworkFolder(mount_) / file.Name;
            const fs::path kept = folder / file.Name;
            if (rank == 0) pictures.insert(file.Name);
            if (file.Copied) {
                restored = CopyDurably(kept.string(), target.string(), error);
                continue;
            }
            // The second name is the old file, with whatever was written
            // after its end cut off again.
            if (::rename(kept.c_str(), target.c_str()) != 0) {
                error = target.string() + ": " + std::strerror(errno);
                restored = false;
            } else if (rank == 0 && ::truncate(target.c_str(), static_cast<off_t>(file.Length)) != 0) {
                error = target.string() + ": " + std::strerror(errno);
                restored = false;
            } else {
                restored = SyncPath(target.string(), error);
            }
        }
    }
    if (!restored) return false;
    // Picture files written since belong to no artwork database now, nor
    // does an artwork database the iPod did not have.
    const bool hadArtworkDb =
        std::any_of(kept_.begin(), kept_.end(), [](const TKept& k) { return k.Name == "ArtworkDB"; });
    std::error_code fsError;
    for (const auto& entry : fs::directory_iterator(ArtworkFolder(mount_), fsError)) {
        const std::string name = entry.path().filename().string();
        if ((IsPicture(entry.path()) && !pictures.count(name)) || (name == "ArtworkDB" && !hadArtworkDb))
            RemoveDurably(entry.path().string());
    }
    restored = SyncPath(ArtworkFolder(mount_).string(), error) &&
               SyncPath(ItunesDb(mount_).parent_path().string(), error);
    Discard();
    return restored;
}
