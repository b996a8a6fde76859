#pragma once
// Run-time binding of libavcodec: a typed slot in namespace ff for every entry
// point, filled when the library binds. Call ff::name(...) for every use.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
}

#include "AVCodecEntryPoints.h"
#include "LibraryBinder.h"

namespace ff {
#define TOVRELA_DECLARE_SLOT(name) inline decltype(&::name) name = nullptr;
TOVRELA_AVCODEC_ENTRY_POINTS(TOVRELA_DECLARE_SLOT)
#undef TOVRELA_DECLARE_SLOT
}  // namespace ff

LibraryBinder& AVCodecBinder();
