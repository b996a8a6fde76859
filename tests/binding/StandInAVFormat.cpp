// A stand-in libavformat that exports every entry point the binding looks up
// except one, so that the binding's failure path can be exercised for real.
// The build renames the missing one with -D<name>=<other name>.
#include "AVFormatEntryPoints.h"

#define TOVRELA_STAND_IN(name) \
    extern "C" __attribute__((visibility("default"))) void name() {}
TOVRELA_AVFORMAT_ENTRY_POINTS(TOVRELA_STAND_IN)
