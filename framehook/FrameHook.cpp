#include "FrameHook.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <new>
#include <utility>

#include "AVUtilHlpr.h"

namespace {

struct CachedModule {
    std::string name;
    void* handle;
};

// Hooks are normally added while tasks are set up on one thread, but nothing
// stops two clients from setting tasks up at once.
std::mutex& CacheMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<CachedModule>& CachedModules() {
    static std::vector<CachedModule> modules;
    return modules;
}

// Written to the library log without an object, like the libraries' own
// complaints about a file.
void LogHookError(const char* format, const char* text) { ff::av_log(nullptr, AV_LOG_ERROR, format, text); }

// Called with the cache's mutex held; `path` is resolved.
void* FindLocked(const std::string& path) {
    for (const CachedModule& module : CachedModules())
        if (module.name == path) return module.handle;
    return nullptr;
}

template <typename Function>
Function ModuleFunction(void* module, const char* name) {
    return reinterpret_cast<Function>(dlsym(module, name));
}

}  // namespace

FrameHookChain::~FrameHookChain() { ReleaseFrameHooks(*this); }

std::string ResolveHookModulePath(const std::string& name, const std::string& installedFolder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path given(name);
    std::vector<fs::path> candidates;
    if (given.has_parent_path()) {
        candidates.push_back(given);
    } else {
        candidates.push_back(fs::current_path(error) / given);
        if (!installedFolder.empty()) candidates.push_back(fs::path(installedFolder) / given);
    }
    for (const fs::path& candidate : candidates) {
        const fs::path resolved = fs::canonical(candidate, error);
        if (!error && fs::is_regular_file(resolved, error)) return resolved.string();
    }
    return candidates.front().string();
}

std::string InstalledHookFolder() { return TOVRELA_HOOK_DIR; }

void* HookModuleCache::Load(const std::string& name) {
    const std::string path = ResolveHookModulePath(name, InstalledHookFolder());
    std::lock_guard<std::mutex> lock(CacheMutex());
    if (void* handle = FindLocked(path)) return handle;
    // Loaded by its full path: the module's own dependencies are found
    // through its run path, and the process's current folder, which other
    // tasks' relative file names depend on, is left alone.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        LogHookError("%s\n", reason ? reason : name.c_str());
        return nullptr;
    }
    CachedModules().push_back({path, handle});
    return handle;
}

void* HookModuleCache::Find(const std::string& name) {
    const std::string path = ResolveHookModulePath(name, InstalledHookFolder());
    std::lock_guard<std::mutex> lock(CacheMutex());
    return FindLocked(path);
}

int AddFrameHook(FrameHookChain& chain, int argc, char* argv[]) {
    if (argc <= 0 || !argv || !argv[0]) return kHookMissingEntry;
    if (argc > kMaxHookArguments) {
        LogHookError("Too many arguments for the video hook %s\n", argv[0]);
        return kHookTooManyWords;
    }
    void* module = HookModuleCache::Load(argv[0]);
    if (!module) return kHookNotLoaded;
    try {
        chain.entries.reserve(chain.entries.size() + 1);
    } catch (const std::bad_alloc&) {
        return kHookNoMemory;
    }
    FrameHookEntry entry;
    entry.configure = ModuleFunction<TovrelaHookConfigure>(module, "Configure");
    entry.process = ModuleFunction<TovrelaHookProcess>(module, "Process");
    entry.release = ModuleFunction<TovrelaHookRelease>(module, "Release");
    if (!entry.process) {
        LogHookError("Failed to find Process entrypoint in %s\n", argv[0]);
        return kHookMissingEntry;
    }
    if (!entry.configure && argc > 1) {
        LogHookError("Failed to find Configure entrypoint in %s\n", argv[0]);
        return kHookMissingEntry;
    }
    if (entry.configure && entry.configure(&entry.context, argc, argv) != 0) {
        LogHookError("Failed to Configure %s\n", argv[0]);
        return kHookRefused;
    }
    chain.entries.push_back(entry);
    return kHookInstalled;
}

void ProcessFrameHooks(FrameHookChain& chain, TovrelaHookPicture* picture, int pix_fmt, int width, int height,
                       int64_t pts) {
    for (const FrameHookEntry& entry : chain.entries) entry.process(entry.context, picture, pix_fmt, width, height, pts);
}

void ReleaseFrameHooks(FrameHookChain& chain) {
    std::vector<FrameHookEntry> entries = std::exchange(chain.entries, {});
    for (const FrameHookEntry& entry : entries)
        if (entry.release) entry.release(entry.context);
}
