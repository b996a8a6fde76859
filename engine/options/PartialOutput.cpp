#include "PartialOutput.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

namespace {

// The temporaries being written, where a signal handler can read them without
// taking a lock or allocating.
constexpr int kSlots = 256;
struct TemporarySlot {
    std::atomic<bool> taken{false};
    std::atomic<bool> ready{false};
    char path[PATH_MAX];
};
TemporarySlot g_slots[kSlots];

int Register(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int slot = 0; slot < kSlots; ++slot) {
        bool expected = false;
        if (!g_slots[slot].taken.compare_exchange_strong(expected, true)) continue;
        std::memcpy(g_slots[slot].path, path.c_str(), path.size() + 1);
        g_slots[slot].ready.store(true);
        return slot;
    }
    return -1;
}

void Unregister(int slot) {
    if (slot < 0) return;
    g_slots[slot].ready.store(false);
    g_slots[slot].taken.store(false);
}

std::string FolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// The pid at the end of a temporary name; 0 when the name is none of ours.
pid_t OwnerOf(const std::string& name) {
    const size_t marker = name.rfind(TPartialOutput::kMarker);
    if (marker == std::string::npos) return 0;
    const std::string digits = name.substr(marker + std::strlen(TPartialOutput::kMarker));
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return static_cast<pid_t>(std::stol(digits));
}

// Removes the file when nobody holds its lock; the lock is taken first so
// that a writer that just created it (and locks it at once) is never hit.
void RemoveIfUnowned(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return;
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && ::flock(descriptor, LOCK_EX | LOCK_NB) == 0)
        ::unlink(path.c_str());
    ::close(descriptor);
}

}  // namespace

TPartialOutput::~TPartialOutput() { Discard(); }

void TPartialOutput::Discard() {
    if (!path_.empty()) ::unlink(path_.c_str());
    Unregister(slot_);
    slot_ = -1;
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
    path_.clear();
}

int TPartialOutput::Create(const std::string& finalPath) {
    Discard();
    RemoveAbandoned(FolderOf(finalPath));
    const std::string path = finalPath + kMarker + std::to_string(::getpid());
    for (int attempt = 0; attempt < 2; ++attempt) {
        descriptor_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor_ >= 0 || errno != EEXIST) break;
        // Only an earlier process that had this process's id can have left it:
        // within this process the final name is claimed by one task at a time.
        ::unlink(path.c_str());
    }
    if (descriptor_ < 0) return errno;
    ::flock(descriptor_, LOCK_EX | LOCK_NB);
    final_ = finalPath;
    path_ = path;
    slot_ = Register(path_);
    return 0;
}

int TPartialOutput::Commit() {
    if (path_.empty()) return EBADF;
    if (::fsync(descriptor_) != 0) return errno;
    if (::rename(path_.c_str(), final_.c_str()) != 0) return errno;
    path_.clear();
    Discard();
    return 0;
}

void TPartialOutput::RemoveAbandoned(const std::string& folder) {
    static std::mutex mutex;
    static auto* looked = new std::set<std::string>;  // outlives every task
    {
        std::error_code error;
        const std::string key = std::filesystem::absolute(folder, error).lexically_normal().string();
        std::lock_guard guard(mutex);
        if (!looked->insert(key).second) return;
    }
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) return;
    while (const dirent* entry = ::readdir(directory)) {
        const pid_t owner = OwnerOf(entry->d_name);
        if (owner <= 0 || owner == ::getpid() || ProcessAlive(owner)) continue;
        RemoveIfUnowned(folder + "/" + entry->d_name);
    }
    ::closedir(directory);
}

void TPartialOutput::RemoveAllNow() {
    for (TemporarySlot& slot : g_slots)
        if (slot.ready.load()) ::unlink(slot.path);
}
