#pragma once
// The libswscale entry points, in the order they are resolved.
#define TOVRELA_SWSCALE_ENTRY_POINTS(X) \
    X(sws_scale)                        \
    X(sws_getContext)                   \
    X(sws_freeContext)                  \
    X(sws_getCachedContext)             \
    X(sws_isSupportedInput)             \
    X(sws_isSupportedOutput)            \
    X(sws_setColorspaceDetails)         \
    X(sws_getCoefficients)              \
    X(swscale_version)
