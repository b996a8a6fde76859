// The seven process-wide binders: one per FFmpeg library and one for the C
// run-time, each with its entry-point table.
#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryFileName.h"
#include "MyUtilHlpr.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

namespace {
#define TOVRELA_ROW(name) TOVRELA_ENTRY_POINT(ff::name, name),
const EntryPoint kAVUtil[] = {TOVRELA_AVUTIL_ENTRY_POINTS(TOVRELA_ROW)};
const EntryPoint kAVCodec[] = {TOVRELA_AVCODEC_ENTRY_POINTS(TOVRELA_ROW)};
const EntryPoint kAVFormat[] = {TOVRELA_AVFORMAT_ENTRY_POINTS(TOVRELA_ROW)};
const EntryPoint kSwScale[] = {TOVRELA_SWSCALE_ENTRY_POINTS(TOVRELA_ROW)};
const EntryPoint kSwResample[] = {TOVRELA_SWRESAMPLE_ENTRY_POINTS(TOVRELA_ROW)};
const EntryPoint kAVFilter[] = {TOVRELA_AVFILTER_ENTRY_POINTS(TOVRELA_ROW)};
#undef TOVRELA_ROW
#define TOVRELA_ROW(slot, symbol) TOVRELA_ENTRY_POINT(ff::slot, symbol),
const EntryPoint kMyUtil[] = {TOVRELA_MYUTIL_ENTRY_POINTS(TOVRELA_ROW)};
#undef TOVRELA_ROW

}  // namespace

#define TOVRELA_CODEC_LIBRARY(library, major, entries) \
    static LibraryBinder binder(VersionedLibraryName(library, major), PlainLibraryName(library), entries)
LibraryBinder& AVUtilBinder() {
    TOVRELA_CODEC_LIBRARY("libavutil", LIBAVUTIL_VERSION_MAJOR, kAVUtil);
    return binder;
}
LibraryBinder& AVCodecBinder() {
    TOVRELA_CODEC_LIBRARY("libavcodec", LIBAVCODEC_VERSION_MAJOR, kAVCodec);
    return binder;
}
LibraryBinder& AVFormatBinder() {
    TOVRELA_CODEC_LIBRARY("libavformat", LIBAVFORMAT_VERSION_MAJOR, kAVFormat);
    return binder;
}
LibraryBinder& SwScaleBinder() {
    TOVRELA_CODEC_LIBRARY("libswscale", LIBSWSCALE_VERSION_MAJOR, kSwScale);
    return binder;
}
LibraryBinder& SwResampleBinder() {
    TOVRELA_CODEC_LIBRARY("libswresample", LIBSWRESAMPLE_VERSION_MAJOR, kSwResample);
    return binder;
}
LibraryBinder& AVFilterBinder() {
    TOVRELA_CODEC_LIBRARY("libavfilter", LIBAVFILTER_VERSION_MAJOR, kAVFilter);
    return binder;
}
LibraryBinder& MyUtilBinder() {
    // The C run-time is always the system's own; a codec folder never holds it.
    static LibraryBinder binder("libc.so.6", "libc.so.6", kMyUtil, /*loadsFromFolder=*/false);
    return binder;
}
