#pragma once

#include <string>

// "libavutil.so.57" and "libavutil.so": the file names a library is loaded by.
inline std::string VersionedLibraryName(const std::string& library, int major) {
    return library + ".so." + std::to_string(major);
}

inline std::string PlainLibraryName(const std::string& library) { return library + ".so"; }
