#pragma once
// The libavfilter entry points, in the order they are resolved.
#define TOVRELA_AVFILTER_ENTRY_POINTS(X) \
    X(avfilter_graph_alloc)              \
    X(avfilter_graph_free)               \
    X(avfilter_get_by_name)              \
    X(avfilter_graph_create_filter)      \
    X(avfilter_graph_alloc_filter)       \
    X(avfilter_init_str)                 \
    X(avfilter_graph_parse_ptr)          \
    X(avfilter_graph_config)             \
    X(avfilter_inout_alloc)              \
    X(avfilter_inout_free)               \
    X(avfilter_link)                     \
    X(av_buffersrc_add_frame_flags)      \
    X(av_buffersink_get_frame)           \
    X(av_buffersink_get_time_base)       \
    X(av_buffersink_get_w)               \
    X(av_buffersink_get_h)               \
    X(avfilter_version)
