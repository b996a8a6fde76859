#pragma once

#include <span>
#include <string>

// One run-time bound shared library: its file names, its module handle and the
// table of entry points that are looked up by exported name when it binds.
struct EntryPoint {
    const char* symbol;
    void (*assign)(void* address);
};

class LibraryBinder {
public:
    // A binder whose file is the same for both name forms (the C run-time)
    // ignores the caller's folder: it is always the system's own copy.
    LibraryBinder(std::string versionedName, std::string plainName,
                  std::span<const EntryPoint> entryPoints, bool loadsFromFolder = true);
    LibraryBinder(const LibraryBinder&) = delete;
    LibraryBinder& operator=(const LibraryBinder&) = delete;

    // Loads the file unless a module is already held; true when one is held.
    bool LoadFile(const std::string& folder);
    // Loads when needed and resolves every entry point in table order.
    bool Bind(const std::string& folder, bool versioned, std::string& errorText);
    // Chooses the file name for the next load.
    void UseVersionedName(bool versioned) { versioned_ = versioned; }
    // Unloads the module; the entry-point slots keep their values.
    void Release();

    bool Bound() const { return bound_; }
    bool Loaded() const { return module_ != nullptr; }
    const std::string& FileName() const { return versioned_ ? versionedName_ : plainName_; }
    const std::string& ErrorText() const { return errorText_; }

private:
    bool ResolveEntryPoints();

    std::string versionedName_;
    std::string plainName_;
    std::span<const EntryPoint> entryPoints_;
    bool loadsFromFolder_;
    void* module_ = nullptr;
    bool bound_ = false;
    bool versioned_ = true;
    std::string errorText_;
};

// Builds one table row that stores the resolved address in a typed slot.
#define TOVRELA_ENTRY_POINT(slot, symbol) \
    EntryPoint { #symbol, [](void* address) { slot = reinterpret_cast<decltype(slot)>(address); } }
