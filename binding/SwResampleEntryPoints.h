#pragma once
// The libswresample entry points, in the order they are resolved.
#define TOVRELA_SWRESAMPLE_ENTRY_POINTS(X) \
    X(swr_alloc_set_opts2)                 \
    X(swr_init)                            \
    X(swr_free)                            \
    X(swr_convert)                         \
    X(swr_set_compensation)                \
    X(swr_set_matrix)                      \
    X(swr_get_delay)                       \
    X(swr_get_out_samples)                 \
    X(swresample_version)
