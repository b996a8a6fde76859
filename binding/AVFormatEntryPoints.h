#pragma once
// The libavformat entry points, in the order they are resolved. Kept free of
// FFmpeg headers so that stand-in libraries can be generated from it.
#define TOVRELA_AVFORMAT_ENTRY_POINTS(X) \
    X(avformat_alloc_context)            \
    X(avformat_free_context)             \
    X(avformat_get_class)                \
    X(av_seek_frame)                     \
    X(avformat_seek_file)                \
    X(av_guess_format)                   \
    X(avformat_alloc_output_context2)    \
    X(avformat_new_stream)               \
    X(av_stream_new_side_data)           \
    X(av_guess_codec)                    \
    X(av_filename_number_test)           \
    X(avio_open)                         \
    X(avio_closep)                       \
    X(av_codec_get_id)                   \
    X(av_codec_get_tag)                  \
    X(avformat_query_codec)              \
    X(avformat_write_header)             \
    X(av_sdp_create)                     \
    X(avio_seek)                         \
    X(avio_size)                         \
    X(av_pkt_dump_log2)                  \
    X(av_write_trailer)                  \
    X(av_interleaved_write_frame)        \
    X(av_find_input_format)              \
    X(avformat_open_input)               \
    X(avformat_close_input)              \
    X(avformat_find_stream_info)         \
    X(av_dump_format)                    \
    X(av_read_frame)                     \
    X(avformat_version)
