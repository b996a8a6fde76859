#pragma once
// Owning holders for the library objects this program keeps, so that each one
// is released exactly once, through the library's own free function, on every
// path. The deleters do nothing when the library is no longer bound: at that
// point the memory belongs to a library that is gone.

#include <cstdint>
#include <memory>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

struct LibraryMemoryDeleter {
    void operator()(void* memory) const {
        if (ff::av_free) ff::av_free(memory);
    }
};

// Closing a codec is not safe across threads, so it happens under the codec
// lock (which is recursive: a caller may already hold it).
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const {
        if (!ff::avcodec_free_context) return;
        std::lock_guard<std::recursive_mutex> lock(CodecLock());
        ff::avcodec_free_context(&context);
    }
};

// A format context that never opened a file: an option holder or a context
// whose opening failed before the library took it over.
struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const {
        if (ff::avformat_free_context) ff::avformat_free_context(context);
    }
};

struct InputContextDeleter {
    void operator()(AVFormatContext* context) const {
        if (ff::avformat_close_input) ff::avformat_close_input(&context);
    }
};

// Closes the output's byte stream when its format writes a file, then frees
// the context with its streams.
struct OutputContextDeleter {
    void operator()(AVFormatContext* context) const {
        if (!ff::avformat_free_context) return;
        if (context->pb && context->oformat && !(context->oformat->flags & AVFMT_NOFILE))
            ff::avio_closep(&context->pb);
        ff::avformat_free_context(context);
    }
};

struct ScalerContextDeleter {
    void operator()(SwsContext* context) const {
        if (ff::sws_freeContext) ff::sws_freeContext(context);
    }
};

struct ResamplerDeleter {
    void operator()(SwrContext* context) const {
        if (ff::swr_free) ff::swr_free(&context);
    }
};

struct AudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const {
        if (ff::av_audio_fifo_free) ff::av_audio_fifo_free(fifo);
    }
};

struct BitstreamFilterDeleter {
    void operator()(AVBSFContext* context) const {
        if (ff::av_bsf_free) ff::av_bsf_free(&context);
    }
};

struct PacketDeleter {
    void operator()(AVPacket* packet) const {
        if (ff::av_packet_free) ff::av_packet_free(&packet);
    }
};

struct FrameDeleter {
    void operator()(AVFrame* frame) const {
        if (ff::av_frame_free) ff::av_frame_free(&frame);
    }
};

// A list of open ends of a filter graph, as the graph parser takes them.
struct FilterInOutDeleter {
    void operator()(AVFilterInOut* list) const {
        if (ff::avfilter_inout_free) ff::avfilter_inout_free(&list);
    }
};

struct FilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const {
        if (ff::avfilter_graph_free) ff::avfilter_graph_free(&graph);
    }
};

// A zero-terminated text allocated with av_strdup or av_malloc.
using TLibraryString = std::unique_ptr<char, LibraryMemoryDeleter>;
// 64 quantiser coefficients in a zero-filled 128-byte block from av_mallocz.
using TQuantMatrix = std::unique_ptr<int16_t[], LibraryMemoryDeleter>;
using TCodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using TFormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using TInputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using TOutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using TScalerContextPtr = std::unique_ptr<SwsContext, ScalerContextDeleter>;
using TResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using TBitstreamFilterPtr = std::unique_ptr<AVBSFContext, BitstreamFilterDeleter>;
using TPacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using TFramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using TFilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutDeleter>;
using TFilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
