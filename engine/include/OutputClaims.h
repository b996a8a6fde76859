#pragma once
// The output paths that tasks of this process have set up and not yet
// released. Outputs are no longer created on disk at set-up, so this is what
// keeps two tasks of one run from being given, or writing, the same file.

#include <string>

class TOutputClaim {
public:
    TOutputClaim() = default;
    ~TOutputClaim() { Release(); }
    TOutputClaim(TOutputClaim&& other) noexcept;
    TOutputClaim& operator=(TOutputClaim&& other) noexcept;
    TOutputClaim(const TOutputClaim&) = delete;
    TOutputClaim& operator=(const TOutputClaim&) = delete;

    // Claims `path` for `owner`. False when another owner holds it; the same
    // owner may claim a path it already holds.
    bool Claim(const std::string& path, const void* owner);
    void Release();
    bool Held() const { return !key_.empty(); }

    // True when some owner other than `owner` holds the path (none: any owner).
    static bool ClaimedByOther(const std::string& path, const void* owner = nullptr);

private:
    std::string key_;
    const void* owner_ = nullptr;
};
