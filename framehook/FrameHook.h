#pragma once
// Frame-hook modules and the chain of hooks installed in one engine. The
// module interface itself is hooks/include/TovrelaFrameHook.h.

#include <cstdint>
#include <string>
#include <vector>

#include "TovrelaFrameHook.h"

// One installation of a module: its entry points and the context its
// Configure filled.
struct FrameHookEntry {
    TovrelaHookConfigure configure = nullptr;
    TovrelaHookProcess process = nullptr;
    TovrelaHookRelease release = nullptr;  // none when the module lacks it
    void* context = nullptr;
};

// The hooks of one engine, in installation order. Hooks still installed
// when the chain goes away are released then.
struct FrameHookChain {
    FrameHookChain() = default;
    ~FrameHookChain();
    FrameHookChain(const FrameHookChain&) = delete;
    FrameHookChain& operator=(const FrameHookChain&) = delete;

    bool Empty() const { return entries.empty(); }
    std::vector<FrameHookEntry> entries;
};

// Results of AddFrameHook.
enum : int {
    kHookInstalled = 0,
    kHookNotLoaded = -1,       // the module could not be loaded
    kHookMissingEntry = -2,    // no arguments, or an entry point is missing
    kHookTooManyWords = -7,    // more arguments than a hook may take
    kHookNoMemory = -12,
    kHookRefused = -22,        // the module's Configure refused the arguments
};
// Entry 0 (the module) and the hook's own arguments together.
constexpr int kMaxHookArguments = 64;

// Installs the module named by argv[0] with the arguments argv[1..argc-1] at
// the end of the chain. Failures leave the chain as it was and write their
// reason to the library log at error level.
int AddFrameHook(FrameHookChain& chain, int argc, char* argv[]);
// Runs every hook, in installation order, on the picture in place.
void ProcessFrameHooks(FrameHookChain& chain, TovrelaHookPicture* picture, int pix_fmt, int width, int height,
                       int64_t pts);
// Calls each hook's Release once, in installation order, and empties the
// chain. The modules stay loaded.
void ReleaseFrameHooks(FrameHookChain& chain);

// The file a module name stands for: a name with a folder as it is, a bare
// name in the current folder, else in `installedFolder`. The full path of
// the file when one exists, otherwise the name in the current folder.
std::string ResolveHookModulePath(const std::string& name, const std::string& installedFolder);
// Where the program's own hook modules are installed.
std::string InstalledHookFolder();

// The hook modules the process has loaded, by the full path of their file:
// two names of one file share one module, and files whose names differ only
// in letter case are different modules. Modules are never unloaded, so a
// handle found here stays valid for the life of the process.
class HookModuleCache {
public:
    // The module's handle, loading it on first use; none, with the loader's
    // reason in the library log, when it cannot be loaded.
    static void* Load(const std::string& name);
    // The module's handle, or none when it was never loaded.
    static void* Find(const std::string& name);
};
