#include "LibraryBinder.h"

#include <dlfcn.h>

#include <cstdio>
#include <utility>

namespace {

std::string LastLoaderError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
    int length = std::snprintf(nullptr, 0, pattern, args...);
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

std::string JoinPath(const std::string& folder, const std::string& file) {
    if (folder.empty() || folder.back() == '/') return folder + file;
    return folder + "/" + file;
}

}  // namespace

LibraryBinder::LibraryBinder(std::string versionedName, std::string plainName,
                             std::span<const EntryPoint> entryPoints, bool loadsFromFolder)
    : versionedName_(std::move(versionedName)),
      plainName_(std::move(plainName)),
      entryPoints_(entryPoints),
      loadsFromFolder_(loadsFromFolder) {}

bool LibraryBinder::LoadFile(const std::string& folder) {
    if (module_) return true;
    const std::string& file = FileName();
    // The folder's copy is loaded by its full path; libraries it depends on
    // resolve to the copies already loaded from the same folder.
    const std::string path = (loadsFromFolder_ && !folder.empty()) ? JoinPath(folder, file) : file;
    dlerror();
    // A released library stays mapped: the libraries and what they pull in
    // keep process-wide state (log callbacks, allocations made by their
    // initialisers) that must not dangle once the handle is given back.
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module_) errorText_ = Format("Load libraray %s error: %s", file.c_str(), LastLoaderError().c_str());
    return module_ != nullptr;
}

bool LibraryBinder::Bind(const std::string& folder, bool versioned, std::string& errorText) {
    UseVersionedName(versioned);
    bool ok = LoadFile(folder) && (bound_ || ResolveEntryPoints());
    if (!ok) errorText = errorText_;
    return ok;
}

bool LibraryBinder::ResolveEntryPoints() {
    for (const EntryPoint& entry : entryPoints_) {
        dlerror();
        void* address = dlsym(module_, entry.symbol);
        if (!address) {
            errorText_ = Format("Load function %s@%s error: %s", entry.symbol, FileName().c_str(),
                                LastLoaderError().c_str());
            return false;
        }
        entry.assign(address);
    }
    bound_ = true;
    return true;
}

void LibraryBinder::Release() {
    if (!module_) return;
    dlclose(module_);
    module_ = nullptr;
    bound_ = false;
}
