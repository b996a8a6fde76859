#include "LogLevels.h"

extern "C" {
#include <libavutil/log.h>
}

int EngineLevelFromLibrary(int libraryLevel) {
    if (libraryLevel < AV_LOG_PANIC) return -1;
    if (libraryLevel <= AV_LOG_ERROR) return 0;
    if (libraryLevel <= AV_LOG_INFO) return 1;
    if (libraryLevel <= AV_LOG_DEBUG) return 2;
    return 3;
}

int LibraryLevelFromEngine(int engineLevel) {
    switch (engineLevel) {
        case 0: return AV_LOG_ERROR;
        case 1: return AV_LOG_INFO;
        case 2: return AV_LOG_DEBUG;
        default: return engineLevel < 0 ? AV_LOG_QUIET : AV_LOG_TRACE;
    }
}
