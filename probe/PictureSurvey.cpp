#include "PictureSurvey.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "AVFilterHlpr.h"
#include "AVUtilHlpr.h"
#include "FilterChains.h"
#include "LibraryHandles.h"
#include "PosterPicture.h"

namespace {

// Eight places, six pictures each: idet needs a few neighbours to judge a
// picture, and a film's scenes change between places.
constexpr int kPlaces = 8;
constexpr int kRun = 6;
// Luma at or below this share of full scale is black (24 of 255; 16 is
// black at limited range, and noise and compression lift it a little).
constexpr char kBlackLimit[] = "0.094";
// A picture whose average luma is below this is a dark scene: its dark
// edges may be picture, not bands.
constexpr double kDarkAverage = 40.0;
// Bands are trusted only when this many bright pictures agree.
constexpr int kBrightNeeded = 3;
// Narrower bands are the edge of the picture itself (overscan, a blurred
// edge), not worth a rescale.
constexpr int kSmallestBand = 4;

// On the 8-bit scale, whatever the picture's depth.
double AverageLuma(const AVFrame& frame) {
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    const int depth = desc ? desc->comp[0].depth : 8;
    double sum = 0;
    for (int row = 0; row < frame.height; row += 4) {
        const uint8_t* line = frame.data[0] + static_cast<ptrdiff_t>(row) * frame.linesize[0];
        for (int x = 0; x < frame.width; x += 4)
            sum += depth > 8 ? reinterpret_cast<const uint16_t*>(line)[x] >> (depth - 8) : line[x];
    }
    const double count = ((frame.height + 3) / 4) * static_cast<double>((frame.width + 3) / 4);
    return count > 0 ? sum / count : 0;
}

int Metadata(const AVFrame& frame, const char* key, int otherwise) {
    const AVDictionaryEntry* entry = ff::av_dict_get(frame.metadata, key, nullptr, 0);
    return entry ? std::atoi(entry->value) : otherwise;
}

class Detector {
public:
    bool Build(const AVFrame& frame) {
        graph_.reset(ff::avfilter_graph_alloc());
        if (!graph_) return false;
        const std::string args = "video_size=" + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                                 ":pix_fmt=" + std::to_string(frame.format) + ":time_base=1/1000000:pixel_aspect=1/1";
        source_ = CreateFilter(graph_.get(), "buffer", "in", args);
        sink_ = CreateFilter(graph_.get(), "buffersink", "out", "");
        if (!source_ || !sink_) return false;
        // Each picture's own box (reset every picture), to the pixel.
        const std::string chain = std::string("idet,cropdetect=limit=") + kBlackLimit + ":round=2:reset=1";
        const int parsed = LinkFilterChain(graph_.get(), source_, sink_, chain);
        width_ = frame.width;
        height_ = frame.height;
        format_ = frame.format;
        return parsed >= 0 && ff::avfilter_graph_config(graph_.get(), nullptr) >= 0;
    }

    void Take(const AVFrame& picture, int place, TPictureSurvey& survey) {
        if (!graph_) {
            if (failed_ || !Build(picture)) {
                failed_ = true;
                return;
            }
            survey.Width = width_;
            survey.Height = height_;
        }
        if (picture.width != width_ || picture.height != height_ || picture.format != format_) return;
        TFramePtr frame(ff::av_frame_clone(&picture));
        TFramePtr out(ff::av_frame_alloc());
        if (!frame || !out) return;
        // Places are far apart; the pictures of a place follow each other.
        frame->pts = static_cast<int64_t>(place) * 100000000 + count_++ * 40000;
        if (ff::av_buffersrc_add_frame_flags(source_, frame.get(), 0) < 0) return;
        while (ff::av_buffersink_get_frame(sink_, out.get()) >= 0) {
            Judge(*out, survey);
            ff::av_frame_unref(out.get());
        }
    }

private:
    void Judge(const AVFrame& frame, TPictureSurvey& survey) {
        ++survey.Sampled;
        // idet's multi-frame judgement counts up over the pictures so far.
        const int tff = Metadata(frame, "lavfi.idet.multiple.tff", 0);
        const int bff = Metadata(frame, "lavfi.idet.multiple.bff", 0);
        survey.Interlaced = tff + bff;
        survey.Progressive = Metadata(frame, "lavfi.idet.multiple.progressive", 0);
        if (AverageLuma(frame) < kDarkAverage) return;
        const int x1 = Metadata(frame, "lavfi.cropdetect.x1", -1), x2 = Metadata(frame, "lavfi.cropdetect.x2", -1);
        const int y1 = Metadata(frame, "lavfi.cropdetect.y1", -1), y2 = Metadata(frame, "lavfi.cropdetect.y2", -1);
        if (x1 < 0 || x2 < x1 || y1 < 0 || y2 < y1) return;
        // The picture reaches as far as any bright picture reaches.
        if (survey.Bright++ == 0) {
            box_[0] = x1, box_[1] = x2, box_[2] = y1, box_[3] = y2;
        } else {
            box_[0] = std::min(box_[0], x1), box_[1] = std::max(box_[1], x2);
            box_[2] = std::min(box_[2], y1), box_[3] = std::max(box_[3], y2);
        }
    }

public:
    void Bands(TPictureSurvey& survey) const {
        if (survey.Bright < kBrightNeeded) return;
        const auto band = [](int pixels) { return pixels >= kSmallestBand ? pixels / 2 * 2 : 0; };
        survey.Left = band(box_[0]);
        survey.Right = band(width_ - 1 - box_[1]);
        survey.Top = band(box_[2]);
        survey.Bottom = band(height_ - 1 - box_[3]);
    }

private:
    TFilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    int width_ = 0, height_ = 0, format_ = -1;
    int64_t count_ = 0;
    bool failed_ = false;
    int box_[4] = {0, 0, 0, 0};  // x1, x2, y1, y2 of the picture within the frame
};

}  // namespace

TPictureSurvey SurveyPictures(const std::string& path) {
    TPictureSurvey survey;
    if (!ff::avfilter_graph_alloc) return survey;
    Detector detector;
    SamplePictures(path, kPlaces, kRun,
                   [&](const AVFrame& frame, int place) { detector.Take(frame, place, survey); });
    detector.Bands(survey);
    return survey;
}
