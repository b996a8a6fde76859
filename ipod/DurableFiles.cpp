#include "DurableFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

class TDescriptor {
public:
    explicit TDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~TDescriptor() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return descriptor_; }

private:
    int descriptor_;
};

std::string Reason() { return std::strerror(errno); }

std::string FolderOf(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

bool WriteAll(int descriptor, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

bool SyncPath(const std::string& path, std::string& error) {
    const TDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0 || ::fsync(file.Get()) != 0) {
        error = path + ": " + Reason();
        return false;
    }
    return true;
}

bool CopyDurably(const std::string& from, const std::string& to, std::string& error) {
    const std::string temporary = to + ".tovrela-" + std::to_string(::getpid());
    const TDescriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.Get() < 0) {
        error = from + ": " + Reason();
        return false;
    }
    bool copied = false;
    {
        const TDescriptor target(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (target.Get() < 0) {
            error = temporary + ": " + Reason();
            return false;
        }
        char buffer[64 * 1024];
        ssize_t got = 0;
        while ((got = ::read(source.Get(), buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
            if (got > 0 && !WriteAll(target.Get(), buffer, static_cast<size_t>(got))) break;
        copied = got == 0 && ::fsync(target.Get()) == 0;
        if (!copied) error = to + ": " + Reason();
    }
    if (copied && ::rename(temporary.c_str(), to.c_str()) != 0) {
        error = to + ": " + Reason();
        copied = false;
    }
    if (!copied) {
        ::unlink(temporary.c_str());
        return false;
    }
    return SyncPath(FolderOf(to), error);
}

bool WriteDurably(const std::string& path, const std::string& contents, std::string& error) {
    const std::string temporary = path + ".tovrela-" + std::to_string(::getpid());
    bool written = false;
    {
        const TDescriptor target(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (target.Get() < 0) {
            error = temporary + ": " + Reason();
            return false;
        }
        written = WriteAll(target.Get(), contents.data(), contents.size()) && ::fsync(target.Get()) == 0;
    }
    if (written && ::rename(temporary.c_str(), path.c_str()) != 0) written = false;
    if (!written) {
        error = path + ": " + Reason();
        ::unlink(temporary.c_str());
        return false;
    }
    return SyncPath(FolderOf(path), error);
}

bool RemoveDurably(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
    std::string ignored;
    SyncPath(FolderOf(path), ignored);
    return true;
}
