#include "IpodBackups.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>

#include "DurableFiles.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPartial[] = ".partial";

fs::path BackupsFolder(const std::string& mount) { return fs::path(mount) / "iPod_Control/iTunes/Tovrela Backups"; }
fs::path ItunesDb(const std::string& mount) { return fs::path(mount) / "iPod_Control/iTunes/iTunesDB"; }
fs::path ArtworkFolder(const std::string& mount) { return fs::path(mount) / "iPod_Control/Artwork"; }

bool IsArtworkFile(const fs::path& path) {
    return path.filename() == "ArtworkDB" || path.extension() == ".ithmb";
}

// The files a backup holds, where they live on the iPod.
std::vector<fs::path> LibraryFiles(const std::string& mount) {
    std::vector<fs::path> files;
    std::error_code error;
    if (fs::is_regular_file(ItunesDb(mount), error)) files.push_back(ItunesDb(mount));
    for (const auto& entry : fs::directory_iterator(ArtworkFolder(mount), error))
        if (entry.is_regular_file() && IsArtworkFile(entry.path())) files.push_back(entry.path());
    return files;
}

uintmax_t SizeOf(const std::vector<fs::path>& files) {
    uintmax_t bytes = 0;
    for (const fs::path& file : files) {
        std::error_code error;
        const uintmax_t size = fs::file_size(file, error);
        if (!error) bytes += size;
    }
    return bytes;
}

std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H-%M-%S", &local);
    return text;
}

}  // namespace

std::vector<TIpodBackup> IpodBackups(const std::string& mount) {
    std::vector<TIpodBackup> backups;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(BackupsFolder(mount), error)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_directory() || entry.path().extension() == kPartial) continue;
        std::vector<fs::path> files;
        for (const auto& file : fs::directory_iterator(entry.path(), error)) files.push_back(file.path());
        backups.push_back({name, entry.path().string(), SizeOf(files)});
    }
    std::sort(backups.begin(), backups.end(),
              [](const TIpodBackup& a, const TIpodBackup& b) { return a.Name > b.Name; });
    return backups;
}

uintmax_t NewBackupBytes(const std::string& mount) { return SizeOf(LibraryFiles(mount)); }

bool TakeIpodBackup(const std::string& mount, std::string& error) {
    std::error_code fsError;
    const fs::path folder = BackupsFolder(mount);
    std::string name = Now();
    for (int n = 2; fs::exists(folder / name, fsError); ++n) name = Now() + " (" + std::to_string(n) + ")";
    // A backup a killed run left half taken is of no use; the lock is held.
    std::vector<fs::path> halfTaken;
    for (const auto& entry : fs::directory_iterator(folder, fsError))
        if (entry.path().extension() == kPartial) halfTaken.push_back(entry.path());
    for (const fs::path& stale : halfTaken) fs::remove_all(stale, fsError);
    const fs::path partial = folder / (name + kPartial);
    if (!fs::create_directories(partial, fsError)) {
        error = partial.string() + ": " + fsError.message();
        return false;
    }
    bool copied = true;
    for (const fs::path& file : LibraryFiles(mount))
        copied = copied && CopyDurably(file.string(), (partial / file.filename()).string(), error);
    if (copied) {
        fs::rename(partial, folder / name, fsError);
        if (fsError) error = partial.string() + ": " + fsError.message();
        copied = !fsError && SyncPath(folder.string(), error);
    }
    if (!copied) {
        fs::remove_all(partial, fsError);
        return false;
    }
    const std::vector<TIpodBackup> backups = IpodBackups(mount);
    for (size_t i = kKeptBackups; i < backups.size(); ++i) fs::remove_all(backups[i].Folder, fsError);
    return true;
}

bool RestoreIpodBackup(const std::string& mount, const TIpodBackup& backup, std::string& error) {
    std::error_code fsError;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(backup.Folder, fsError)) files.push_back(entry.path());
    if (fsError) {
        error = backup.Folder + ": " + fsError.message();
        return false;
    }
    // The pictures first, then the artwork database that points into them,
    // then the track database that points into that.
    const auto rank = [](const fs::path& file) {
        return file.filename() == "iTunesDB" ? 2 : file.filename() == "ArtworkDB" ? 1 : 0;
    };
    std::sort(files.begin(), files.end(), [&](const fs::path& a, const fs::path& b) { return rank(a) < rank(b); });
    std::set<fs::path> restored;
    for (const fs::path& file : files) {
        const fs::path target = file.filename() == "iTunesDB" ? ItunesDb(mount) : ArtworkFolder(mount) / file.filename();
        if (target.filename() != "iTunesDB") fs::create_directories(ArtworkFolder(mount), fsError);
        if (!CopyDurably(file.string(), target.string(), error)) return false;
        restored.insert(target.filename());
    }
    // Picture files written since belong to no artwork database now.
    for (const fs::path& file : LibraryFiles(mount))
        if (!restored.count(file.filename())) RemoveDurably(file.string());
    return true;
}
