#pragma once
// Run-time binding of libavfilter: a typed slot in namespace ff for every entry
// point, filled when the library binds. Call ff::name(...) for every use.

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

#include "AVFilterEntryPoints.h"
#include "LibraryBinder.h"

namespace ff {
#define TOVRELA_DECLARE_SLOT(name) inline decltype(&::name) name = nullptr;
TOVRELA_AVFILTER_ENTRY_POINTS(TOVRELA_DECLARE_SLOT)
#undef TOVRELA_DECLARE_SLOT
}  // namespace ff

LibraryBinder& AVFilterBinder();
