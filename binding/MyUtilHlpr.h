#pragma once
// Run-time binding of the C run-time functions the engine uses for
// formatting, stdio file access, tokenising and number parsing.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LibraryBinder.h"
#include "MyUtilEntryPoints.h"

namespace ff {
#define TOVRELA_DECLARE_SLOT(slot, symbol) inline decltype(&::symbol) slot = nullptr;
TOVRELA_MYUTIL_ENTRY_POINTS(TOVRELA_DECLARE_SLOT)
#undef TOVRELA_DECLARE_SLOT
}  // namespace ff

LibraryBinder& MyUtilBinder();
