#include "SubtitleBurner.h"

#include <exception>
#include <mutex>

#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "FFMpegException.h"
#include "FilterChains.h"
#include "FormatText.h"
#include "LibraryBinding.h"
#include "PictureCues.h"
#include "PictureGeometry.h"

extern "C" {
#include <libavutil/imgutils.h>
}

SubtitleBurner::SubtitleBurner(const SubtitleBurnSettings& settings) : settings_(settings) {}

SubtitleBurner::~SubtitleBurner() = default;

void SubtitleBurner::Burn(AVFrame* picture, const CueArea& area, int64_t time_us,
                          std::vector<std::string>& messages) {
    if (failed_ || settings_.stream < 0 || area.width < 2 || area.height < 2) return;
    if (picture->format != AV_PIX_FMT_YUV420P) return;
    const int64_t file_time = time_us - settings_.time_offset_us;
    try {
        if (settings_.pictures) {
            if (!pictures_) pictures_ = std::make_unique<PictureCues>(settings_.file, settings_.stream);
            pictures_->Draw(picture, area, file_time);
        } else {
            DrawText(picture, area, file_time);
        }
    } catch (const std::exception& error) {
        failed_ = true;
        pictures_.reset();
        graph_.reset();
        messages.push_back(std::string("Subtitles are not drawn into the picture: ") + error.what());
    }
}

// The filter reads the file's cues when the graph is made, and is made again
// only if the area changes size. It opens a decoder of its own, under the
// lock every decoder is opened with.
void SubtitleBurner::BuildTextGraph(int width, int height) {
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    graph_.reset(ff::avfilter_graph_alloc());
    source_ = sink_ = nullptr;
    if (!graph_) throw FFMpegException("av_malloc fail");
    AVFilterGraph* graph = graph_.get();
    const AVFilter* subtitles = ff::avfilter_get_by_name("subtitles");
    if (!subtitles) throw FFMpegException("the FFmpeg libraries have no subtitles filter (libass)");
    source_ = CreateFilter(graph, "buffer", "src",
                           FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=1/1", width,
                                      height, AV_PIX_FMT_YUV420P));
    sink_ = CreateFilter(graph, "buffersink", "out", "");
    if (!source_ || !sink_) throw FFMpegException("cannot set up the subtitle filter");
    // Set as options rather than written into a filter text, so that no
    // character of the file's name needs escaping.
    AVFilterContext* draw = ff::avfilter_graph_alloc_filter(graph, subtitles, "subtitles");
    if (!draw || ff::av_opt_set(draw, "filename", settings_.file.c_str(), AV_OPT_SEARCH_CHILDREN) < 0 ||
        ff::av_opt_set_int(draw, "stream_index", settings_.subtitle_number, AV_OPT_SEARCH_CHILDREN) < 0 ||
        ff::avfilter_init_str(draw, nullptr) < 0)
        throw FFMpegException("the subtitles filter cannot read the text subtitles of " + settings_.file);
    if (ff::avfilter_link(source_, 0, draw, 0) < 0 || ff::avfilter_link(draw, 0, sink_, 0) < 0 ||
        ff::avfilter_graph_config(graph, nullptr) < 0)
        throw FFMpegException("cannot set up the subtitle filter");
    graph_width_ = width;
    graph_height_ = height;
}

void SubtitleBurner::DrawText(AVFrame* picture, const CueArea& area, int64_t time_us) {
    if (!graph_ || graph_width_ != area.width || graph_height_ != area.height) BuildTextGraph(area.width, area.height);
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(AV_PIX_FMT_YUV420P);
    // The area as a picture of its own, sharing the picture's memory.
    TFramePtr view(ff::av_frame_alloc());
    if (!view || ff::av_frame_ref(view.get(), picture) < 0) throw FFMpegException("av_malloc fail");
    OffsetPlanes(desc, view->data, view->linesize, area.top, area.left);
    uint8_t* const area_planes[4] = {view->data[0], view->data[1], view->data[2], view->data[3]};
    view->width = area.width;
    view->height = area.height;
    view->sample_aspect_ratio = AVRational{1, 1};
    view->pts = time_us;
    if (ff::av_buffersrc_add_frame_flags(source_, view.get(), 0) < 0)
        throw FFMpegException("the subtitles filter refused a picture");
    TFramePtr drawn(ff::av_frame_alloc());
    if (!drawn) throw FFMpegException("av_malloc fail");
    if (ff::av_buffersink_get_frame(sink_, drawn.get()) < 0) throw FFMpegException("the subtitles filter gave no picture");
    // A filter that draws on a copy of its own gives that back.
    if (drawn->data[0] != area_planes[0]) {
        int linesizes[4] = {picture->linesize[0], picture->linesize[1], picture->linesize[2], picture->linesize[3]};
        ff::av_image_copy(const_cast<uint8_t**>(area_planes), linesizes, const_cast<const uint8_t**>(drawn->data),
                          drawn->linesize, AV_PIX_FMT_YUV420P, area.width, area.height);
    }
}
