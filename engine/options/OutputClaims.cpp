#include "OutputClaims.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

namespace {

struct ClaimEntry {
    const void* owner;
    int count;
};

std::mutex& ClaimsMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, ClaimEntry>& Claims() {
    static auto* claims = new std::map<std::string, ClaimEntry>;  // outlives every task
    return *claims;
}

// One key per file, however the path is spelled; the file need not exist.
std::string KeyOf(const std::string& path) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (error) resolved = std::filesystem::absolute(path, error).lexically_normal();
    return resolved.string();
}

}  // namespace

TOutputClaim::TOutputClaim(TOutputClaim&& other) noexcept
    : key_(std::exchange(other.key_, {})), owner_(std::exchange(other.owner_, nullptr)) {}

TOutputClaim& TOutputClaim::operator=(TOutputClaim&& other) noexcept {
    if (this != &other) {
        Release();
        key_ = std::exchange(other.key_, {});
        owner_ = std::exchange(other.owner_, nullptr);
    }
    return *this;
}

bool TOutputClaim::Claim(const std::string& path, const void* owner) {
    std::string key = KeyOf(path);
    if (key == key_ && owner == owner_) return true;
    {
        std::lock_guard guard(ClaimsMutex());
        auto [entry, added] = Claims().try_emplace(key, ClaimEntry{owner, 0});
        if (!added && entry->second.owner != owner) return false;
        ++entry->second.count;
    }
    Release();
    key_ = std::move(key);
    owner_ = owner;
    return true;
}

void TOutputClaim::Release() {
    if (key_.empty()) return;
    std::lock_guard guard(ClaimsMutex());
    auto entry = Claims().find(key_);
    if (entry != Claims().end() && --entry->second.count <= 0) Claims().erase(entry);
    key_.clear();
    owner_ = nullptr;
}

bool TOutputClaim::ClaimedByOther(const std::string& path, const void* owner) {
    const std::string key = KeyOf(path);
    std::lock_guard guard(ClaimsMutex());
    auto entry = Claims().find(key);
    return entry != Claims().end() && (!owner || entry->second.owner != owner);
}
