#pragma once
// Run-time binding of libavutil: a typed slot in namespace ff for every entry
// point, filled when the library binds. Call ff::name(...) for every use.

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/fifo.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
}

#include "AVUtilEntryPoints.h"
#include "LibraryBinder.h"

namespace ff {
#define TOVRELA_DECLARE_SLOT(name) inline decltype(&::name) name = nullptr;
TOVRELA_AVUTIL_ENTRY_POINTS(TOVRELA_DECLARE_SLOT)
#undef TOVRELA_DECLARE_SLOT
}  // namespace ff

LibraryBinder& AVUtilBinder();
