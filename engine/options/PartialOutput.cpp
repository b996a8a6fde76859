#include "PartialOutput.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "OutputClaims.h"
#include "OutputNaming.h"

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

std::string RandomCharacters() {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static std::atomic<unsigned> counter{0};
        const unsigned seed = static_cast<unsigned>(::getpid()) * 7919u + counter++;
        for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string text;
    for (unsigned char byte : bytes) text += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return text;
}

bool SameInode(const struct stat& first, const struct stat& second) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// True while `path` still names the open file `descriptor`.
bool StillNamed(int descriptor, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(descriptor, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && SameInode(opened, named);
}

// Removes the file when nobody holds its lock. The writer locks its file
// right after creating it and then checks that it still has its name, so a
// file removed in between is simply made again.
void RemoveIfUnowned(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return;
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
        StillNamed(descriptor, path))
        ::unlink(path.c_str());
    ::close(descriptor);
}

// Moves `from` to `to` unless `to` exists: EEXIST then. File systems
// without an atomic way to refuse fall back on a hard link, and those
// without hard links on a check just before the move.
int RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EMLINK) return errno;
    struct stat status {};
    if (::lstat(to.c_str(), &status) == 0) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
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

int TPartialOutput::Create(const std::string& finalPath, const void* owner) {
    Discard();
    written_.clear();
    const std::string folder = FolderOf(finalPath);
    RemoveAbandoned(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder + "/" + kMarker + RandomCharacters();
        const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            return errno;
        }
        // Another run's clean-up may have taken it before the lock did.
        if (::flock(descriptor, LOCK_EX) != 0 || !StillNamed(descriptor, path)) {
            ::close(descriptor);
            continue;
        }
        descriptor_ = descriptor;
        final_ = finalPath;
        owner_ = owner;
        path_ = path;
        slot_ = Register(path_);
        return 0;
    }
    return EEXIST;
}

int TPartialOutput::MoveToFreeName(std::string (*candidate)(const std::string& finalPath, int number)) {
    for (int number = 0;; ++number) {
        const std::string target = candidate(final_, number);
        if (TOutputClaim::ClaimedByOther(target, owner_)) continue;
        const int failure = RenameWithoutReplacing(path_, target);
        if (failure == EEXIST) continue;
        if (failure != 0) return failure;
        written_ = target;
        return 0;
    }
}

int TPartialOutput::Commit(TFinish finish) {
    if (path_.empty()) return EBADF;
    if (::fsync(descriptor_) != 0) return errno;
    int failure = 0;
    if (finish == TFinish::Replace) {
        failure = ::rename(path_.c_str(), final_.c_str()) == 0 ? 0 : errno;
        if (failure == 0) written_ = final_;
    } else if (finish == TFinish::KeepExisting) {
        failure = MoveToFreeName(&NumberedOutputPath);
    } else {
        failure = RenameWithoutReplacing(path_, final_);
        if (failure == 0) written_ = final_;
        if (failure == EEXIST) failure = MoveToFreeName(&StoppedOutputPath);
    }
    if (failure != 0) return failure;
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
    while (const dirent* entry = ::readdir(directory))
        if (std::strstr(entry->d_name, kMarker)) RemoveIfUnowned(folder + "/" + entry->d_name);
    ::closedir(directory);
}

void TPartialOutput::RemoveAllNow() {
    for (TemporarySlot& slot : g_slots)
        if (slot.ready.load()) ::unlink(slot.path);
}
