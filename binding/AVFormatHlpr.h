#pragma once
// Run-time binding of libavformat: a typed slot in namespace ff for every entry
// point, filled when the library binds. Call ff::name(...) for every use.

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

#include "AVFormatEntryPoints.h"
#include "LibraryBinder.h"

namespace ff {
#define TOVRELA_DECLARE_SLOT(name) inline decltype(&::name) name = nullptr;
TOVRELA_AVFORMAT_ENTRY_POINTS(TOVRELA_DECLARE_SLOT)
#undef TOVRELA_DECLARE_SLOT
}  // namespace ff

LibraryBinder& AVFormatBinder();
