#include "ToneMapper.h"

#include <algorithm>
#include <string>

#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "FFMpegException.h"
#include "FilterChains.h"
#include "FormatText.h"

namespace {

// zimg's names of the colour descriptions an HDR picture comes with; a
// picture that leaves its matrix or range open is read the way HDR video
// is made: BT.2020 with limited range.
const char* TransferName(int transfer) {
    return transfer == AVCOL_TRC_ARIB_STD_B67 ? "arib-std-b67" : "smpte2084";
}

const char* MatrixName(int matrix) {
    switch (matrix) {
        case AVCOL_SPC_BT709: return "709";
        case AVCOL_SPC_BT470BG: return "470bg";
        case AVCOL_SPC_SMPTE170M: return "170m";
        case AVCOL_SPC_BT2020_CL: return "2020_cl";
        default: return "2020_ncl";
    }
}

const char* PrimariesName(int primaries) { return primaries == AVCOL_PRI_BT709 ? "709" : "2020"; }

// At least `min` where the source has that much, even, never above the source.
int CoveringSize(int source, double factor) {
    const int size = static_cast<int>(source * factor + 0.999);
    return std::min(source, std::max(2, (size + 1) & ~1));
}

// A filter of the graph with the given arguments, or nullptr.

}  // namespace

bool IsHighDynamicRange(AVColorTransferCharacteristic transfer, AVColorPrimaries primaries) {
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67 || primaries == AVCOL_PRI_BT2020;
}

void ToneMapper::Build(const Key& key) {
    graph_.reset(ff::avfilter_graph_alloc());
    source_ = sink_ = nullptr;
    if (!graph_) throw FFMpegException("av_malloc fail");
    AVFilterGraph* graph = graph_.get();
    source_ = CreateFilter(graph, "buffer", "src",
                           FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=1/1", key.width,
                                      key.height, key.format));
    sink_ = CreateFilter(graph, "buffersink", "out", "");
    // Mobius keeps everything up to 30 % of the peak as it is and bends only
    // what lies above towards the peak: reference white (203 cd/m2, 2.03 in
    // units of 100 cd/m2) stays near standard white and brighter highlights
    // stay brighter. Hable's filmic curve dims reference white to mid-grey
    // when the peak is high, which is what made HDR look flat.
    std::string chain;
    const int width = key.width - key.crop_left - key.crop_right;
    const int height = key.height - key.crop_top - key.crop_bottom;
    if (width != key.width || height != key.height)
        chain = FormatText("crop=%d:%d:%d:%d:exact=1,", width, height, key.crop_left, key.crop_top);
    chain += FormatText(
        "zscale=w=%d:h=%d:f=bilinear:tin=%s:min=%s:pin=%s:rin=%s:t=linear:npl=100,format=gbrpf32le,"
        "zscale=p=709,tonemap=tonemap=mobius:desat=0,zscale=t=709:m=709:r=limited,format=yuv420p",
        key.out_width, key.out_height, TransferName(key.transfer), MatrixName(key.matrix),
        PrimariesName(key.primaries), key.range == AVCOL_RANGE_JPEG ? "full" : "limited");
    if (!source_ || !sink_) throw FFMpegException("Cannot set up tone mapping");
    if (LinkFilterChain(graph, source_, sink_, chain) < 0 || ff::avfilter_graph_config(graph, nullptr) < 0) {
        graph_.reset();
        throw FFMpegException("Cannot set up tone mapping: the libraries lack the zscale or tonemap filter");
    }
    key_ = key;
}

TFramePtr ToneMapper::Map(const AVFrame* frame, const int crop[4], int min_width, int min_height) {
    const int width = frame->width - crop[2] - crop[3];
    const int height = frame->height - crop[0] - crop[1];
    const double factor = std::min(
        1.0, std::max(static_cast<double>(min_width) / width, static_cast<double>(min_height) / height));
    const Key key{frame->width,
                  frame->height,
                  frame->format,
                  CoveringSize(width, factor),
                  CoveringSize(height, factor),
                  crop[0],
                  crop[1],
                  crop[2],
                  crop[3],
                  frame->color_trc,
                  frame->color_primaries,
                  frame->colorspace,
                  frame->color_range};
    if (!graph_ || !(key == key_)) Build(key);
    TFramePtr input(ff::av_frame_clone(frame));
    if (!input) throw FFMpegException("av_malloc fail");
    // The filters read the description from the picture; one that leaves it
    // open gets the one the graph was built for.
    input->sample_aspect_ratio = AVRational{1, 1};
    if (input->colorspace == AVCOL_SPC_UNSPECIFIED) input->colorspace = AVCOL_SPC_BT2020_NCL;
    if (input->color_primaries == AVCOL_PRI_UNSPECIFIED) input->color_primaries = AVCOL_PRI_BT2020;
    if (input->color_range == AVCOL_RANGE_UNSPECIFIED) input->color_range = AVCOL_RANGE_MPEG;
    input->pts = 0;
    if (ff::av_buffersrc_add_frame_flags(source_, input.get(), 0) < 0)
        throw FFMpegException("Tone mapping failed");
    TFramePtr mapped(ff::av_frame_alloc());
    if (!mapped || ff::av_buffersink_get_frame(sink_, mapped.get()) < 0) throw FFMpegException("Tone mapping failed");
    // The source's timing and flags, with the description it now has.
    if (ff::av_frame_copy_props(mapped.get(), frame) < 0) throw FFMpegException("av_malloc fail");
    mapped->color_trc = AVCOL_TRC_BT709;
    mapped->color_primaries = AVCOL_PRI_BT709;
    mapped->colorspace = AVCOL_SPC_BT709;
    mapped->color_range = AVCOL_RANGE_MPEG;
    return mapped;
}
