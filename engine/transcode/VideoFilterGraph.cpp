// The "vfilters" graph between a video decoder and its encoder: a "buffer"
// source named "src" takes the decoded pictures, a "buffersink" named "out"
// gives the filtered ones in the encoder's pixel format. A "scale" filter is
// put in front of the user's filters when the picture must change size, and
// pad bands are only accepted when the filters keep the requested size.

#include <cstdint>
#include <memory>

#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FilterChains.h"
#include "FormatText.h"
#include "LibraryHandles.h"
#include "PathHelpers.h"
#include "RunTables.h"

int TCustomFFmpeg::ConfigureVideoFilters(InputStreamState& ist, OutputStreamState& ost) {
    if (frame_croptop || frame_cropbottom || frame_cropleft || frame_cropright) {
        filter_error = "Cannot enable crop options and filters at the same time.";
        return -1;
    }
    AVCodecContext* enc = ost.encoder;
    const AVCodecParameters* in = ist.st->codecpar;
    ist.filter_graph = ff::avfilter_graph_alloc();
    AVFilterGraph* graph = ist.filter_graph;
    if (!graph) return -1;

    const AVRational aspect = in->sample_aspect_ratio.num > 0 ? in->sample_aspect_ratio : AVRational{1, 1};
    AVFilterContext* source =
        CreateFilter(graph, "buffer", "src",
                     FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", in->width,
                                in->height, in->format, AV_TIME_BASE, aspect.num, aspect.den));
    // The sink takes only the encoder's pixel format.
    const char* format_name = ff::av_get_pix_fmt_name(enc->pix_fmt);
    AVFilterContext* format =
        format_name ? CreateFilter(graph, "format", "format", std::string("pix_fmts=") + format_name) : nullptr;
    AVFilterContext* sink = CreateFilter(graph, "buffersink", "out", "");
    if (!source || !format || !sink || ff::avfilter_link(format, 0, sink, 0) < 0) return -1;

    AVFilterContext* last = source;
    const int scaled_width = enc->width - frame_padleft - frame_padright;
    const int scaled_height = enc->height - frame_padtop - frame_padbottom;
    if (in->width + frame_padleft + frame_padright - frame_cropleft - frame_cropright != enc->width ||
        in->height + frame_padtop + frame_padbottom - frame_croptop - frame_cropbottom != enc->height) {
        AVFilterContext* scale =
            CreateFilter(graph, "scale", "scale", FormatText("%d:%d", scaled_width, scaled_height));
        if (!scale || ff::avfilter_link(last, 0, scale, 0) < 0) return -1;
        last = scale;
    }

    if (!vfilters.empty()) {
        if (LinkFilterChain(graph, last, format, vfilters) < 0) return -1;
    } else if (ff::avfilter_link(last, 0, format, 0) < 0) {
        return -1;
    }
    if (ff::avfilter_graph_config(graph, nullptr) < 0) return -1;

    const int width = ff::av_buffersink_get_w(sink);
    const int height = ff::av_buffersink_get_h(sink);
    const bool padded = frame_padtop || frame_padbottom || frame_padleft || frame_padright;
    if (padded && (width != frame_width || height != frame_height)) {
        filter_error =
            "Cannot enable pad options and the filters which resize frame at the same time. "
            "(crop, rotate, scale, transpose, etc.)";
        return -1;
    }
    enc->width = width + frame_padleft + frame_padright;
    enc->height = height + frame_padtop + frame_padbottom;
    ist.input_video_filter = source;
    ist.output_video_filter = sink;
    return 0;
}

// The decoded picture goes into the graph at the input stream's time; every
// picture the graph gives back goes to the outputs at its own time.
void TCustomFFmpeg::FilterVideoFrame(InputStreamState& ist, AVFrame* frame) {
    frame->pts = ist.pts;
    if (ff::av_buffersrc_add_frame_flags(ist.input_video_filter, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
        Log(0, FormatText("Error while filtering stream #%d.%d", ist.file_index, ist.stream_index));
        return;
    }
    TakeFilteredPictures(ist);
}

// At the end of the input, filters that hold pictures back give them up.
void TCustomFFmpeg::FlushVideoFilters(InputStreamState& ist) {
    if (!ist.input_video_filter || ff::av_buffersrc_add_frame_flags(ist.input_video_filter, nullptr, 0) < 0) return;
    TakeFilteredPictures(ist);
}

void TCustomFFmpeg::TakeFilteredPictures(InputStreamState& ist) {
    AVFrame* filtered = RunFrame(run.filtered_frame);
    const AVRational time_base = ff::av_buffersink_get_time_base(ist.output_video_filter);
    while (ff::av_buffersink_get_frame(ist.output_video_filter, filtered) >= 0) {
        if (filtered->pts != AV_NOPTS_VALUE) ist.pts = ff::av_rescale_q(filtered->pts, time_base, AV_TIME_BASE_Q);
        try {
            EncodeForOutputs(ist, filtered);
        } catch (...) {
            ff::av_frame_unref(filtered);
            throw;
        }
        ff::av_frame_unref(filtered);
    }
}
