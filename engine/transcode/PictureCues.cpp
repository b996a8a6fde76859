#include "PictureCues.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFMpegException.h"
#include "LibraryBinding.h"

namespace {

constexpr int64_t kUntilNextCue = std::numeric_limits<int64_t>::max();

// BT.601 at limited range, as every device decodes, of R'G'B' (0..1) that
// are already weighted by their cover: what the cue adds to a sample whose
// own value is weighted by the rest.
float LumaPart(float a, float r, float g, float b) {
    return 16.0f * a + 65.481f * r + 128.553f * g + 24.966f * b;
}
float BluePart(float a, float r, float g, float b) {
    return 128.0f * a - 37.797f * r - 74.203f * g + 112.0f * b;
}
float RedPart(float a, float r, float g, float b) { return 128.0f * a + 112.0f * r - 93.786f * g - 18.214f * b; }

uint8_t Blend(uint8_t under, float cover, float part) {
    return static_cast<uint8_t>(std::clamp(std::lround(under * (1.0f - cover) + part), 0L, 255L));
}

}  // namespace

PictureCues::PictureCues(const std::string& file, int stream) {
    AVFormatContext* opened = nullptr;
    if (ff::avformat_open_input(&opened, file.c_str(), nullptr, nullptr) < 0)
        throw FFMpegException("cannot open " + file + " for its subtitles");
    TInputContextPtr input(opened);
    {
        std::lock_guard<std::recursive_mutex> lock(CodecLock());
        if (ff::avformat_find_stream_info(input.get(), nullptr) < 0)
            throw FFMpegException("cannot read the subtitle stream of " + file);
    }
    if (stream < 0 || stream >= static_cast<int>(input->nb_streams) ||
        input->streams[stream]->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
        throw FFMpegException("no subtitle stream #" + std::to_string(stream) + " in " + file);
    for (unsigned n = 0; n < input->nb_streams; ++n)
        if (static_cast<int>(n) != stream) input->streams[n]->discard = AVDISCARD_ALL;
    const AVStream* source = input->streams[stream];
    const AVCodec* codec = ff::avcodec_find_decoder(source->codecpar->codec_id);
    if (!codec) throw FFMpegException("no decoder for the subtitles (" +
                                      std::string(ff::avcodec_get_name(source->codecpar->codec_id)) + ")");
    decoder_.reset(ff::avcodec_alloc_context3(codec));
    if (!decoder_ || ff::avcodec_parameters_to_context(decoder_.get(), source->codecpar) < 0)
        throw FFMpegException("av_malloc fail");
    decoder_->pkt_timebase = source->time_base;
    {
        std::lock_guard<std::recursive_mutex> lock(CodecLock());
        if (ff::avcodec_open2(decoder_.get(), codec, nullptr) < 0)
            throw FFMpegException("cannot open the subtitle decoder (" + std::string(codec->name) + ")");
    }
    for (;;) {
        TPacketPtr packet(ff::av_packet_alloc());
        if (!packet) throw FFMpegException("av_malloc fail");
        if (ff::av_read_frame(input.get(), packet.get()) < 0) break;
        if (packet->stream_index != stream) continue;
        const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (time == AV_NOPTS_VALUE) continue;
        packets_.push_back(Packet{ff::av_rescale_q(time, source->time_base, AVRational{1, 1000000}), std::move(packet)});
    }
    std::stable_sort(packets_.begin(), packets_.end(),
                     [](const Packet& a, const Packet& b) { return a.time_us < b.time_us; });
}

PictureCues::~PictureCues() { Forget(); }

void PictureCues::Forget() {
    if (showing_) ff::avsubtitle_free(&shown_);
    showing_ = false;
}

// Decodes the packets due by then: each cue replaces the one before, an
// empty one takes it off.
void PictureCues::Advance(int64_t time_us) {
    while (next_ < packets_.size() && packets_[next_].time_us <= time_us) {
        const Packet& due = packets_[next_++];
        AVSubtitle cue{};
        int got = 0;
        if (ff::avcodec_decode_subtitle2(decoder_.get(), &cue, &got, due.packet.get()) < 0 || !got) continue;
        Forget();
        if (cue.num_rects == 0) {
            ff::avsubtitle_free(&cue);
            continue;
        }
        shown_ = cue;
        showing_ = true;
        shown_from_us_ = due.time_us + static_cast<int64_t>(cue.start_display_time) * 1000;
        // A cue without an end (Blu-ray's) lasts until the next one.
        const bool ends = cue.end_display_time > cue.start_display_time && cue.end_display_time != UINT32_MAX;
        shown_until_us_ = ends ? due.time_us + static_cast<int64_t>(cue.end_display_time) * 1000 : kUntilNextCue;
    }
}

void PictureCues::Draw(AVFrame* picture, const CueArea& area, int64_t time_us) {
    Advance(time_us);
    if (!showing_ || time_us < shown_from_us_ || time_us >= shown_until_us_) return;
    // The decoder's canvas; a stream that does not give one is drawn on the picture's.
    const int canvas_width = decoder_->width > 0 ? decoder_->width : area.source_width;
    const int canvas_height = decoder_->height > 0 ? decoder_->height : area.source_height;
    for (unsigned n = 0; n < shown_.num_rects; ++n)
        if (shown_.rects[n]->type == SUBTITLE_BITMAP && shown_.rects[n]->w > 0 && shown_.rects[n]->h > 0)
            DrawRect(picture, area, *shown_.rects[n], canvas_width, canvas_height);
}

void PictureCues::DrawRect(AVFrame* picture, const CueArea& area, const AVSubtitleRect& rect, int canvas_width,
                           int canvas_height) {
    // From the canvas onto the source picture, then onto the part of it that
    // is shown, scaled to the area.
    const double to_source_x = static_cast<double>(area.source_width) / canvas_width;
    const double to_source_y = static_cast<double>(area.source_height) / canvas_height;
    const int shown_width = area.source_width - area.crop_left - area.crop_right;
    const int shown_height = area.source_height - area.crop_top - area.crop_bottom;
    if (shown_width <= 0 || shown_height <= 0 || area.width < 2 || area.height < 2) return;
    const double scale_x = static_cast<double>(area.width) / shown_width;
    const double scale_y = static_cast<double>(area.height) / shown_height;
    int width = std::max(1, static_cast<int>(std::lround(rect.w * to_source_x * scale_x)));
    int height = std::max(1, static_cast<int>(std::lround(rect.h * to_source_y * scale_y)));
    // A cue larger than the area is made smaller at its own shape.
    const double shrink = std::min({1.0, static_cast<double>(area.width) / width,
                                    static_cast<double>(area.height) / height});
    width = std::max(1, static_cast<int>(width * shrink));
    height = std::max(1, static_cast<int>(height * shrink));
    int x = static_cast<int>(std::lround((rect.x * to_source_x - area.crop_left) * scale_x));
    int y = static_cast<int>(std::lround((rect.y * to_source_y - area.crop_top) * scale_y));
    // A cue in a band that was cut off, or reaching out of the picture, is
    // moved in, where it is still read.
    x = std::clamp(x, 0, area.width - width);
    y = std::clamp(y, 0, area.height - height);

    // Each pixel of the scaled cue is the mean of the cue's pixels it covers.
    const auto* palette = reinterpret_cast<const uint32_t*>(rect.data[1]);
    if (!palette || !rect.data[0]) return;
    layer_.assign(static_cast<size_t>(width) * height * 4, 0.0f);
    for (int row = 0; row < height; ++row) {
        const int top = row * rect.h / height;
        const int bottom = std::max(top + 1, (row + 1) * rect.h / height);
        for (int column = 0; column < width; ++column) {
            const int left = column * rect.w / width;
            const int right = std::max(left + 1, (column + 1) * rect.w / width);
            float sum[4] = {0, 0, 0, 0};
            for (int sy = top; sy < bottom; ++sy) {
                const uint8_t* line = rect.data[0] + static_cast<ptrdiff_t>(sy) * rect.linesize[0];
                for (int sx = left; sx < right; ++sx) {
                    const int index = line[sx];
                    const uint32_t colour = index < rect.nb_colors ? palette[index] : 0;
                    const float a = static_cast<float>(colour >> 24) / 255.0f;
                    sum[0] += a;
                    sum[1] += a * static_cast<float>((colour >> 16) & 0xFF) / 255.0f;
                    sum[2] += a * static_cast<float>((colour >> 8) & 0xFF) / 255.0f;
                    sum[3] += a * static_cast<float>(colour & 0xFF) / 255.0f;
                }
            }
            const float count = static_cast<float>((bottom - top) * (right - left));
            float* pixel = &layer_[(static_cast<size_t>(row) * width + column) * 4];
            for (int c = 0; c < 4; ++c) pixel[c] = sum[c] / count;
        }
    }

    // Laid over the picture: every luma sample, and each chroma sample by
    // the mean of the four pixels it stands for.
    const int left = area.left + x, top = area.top + y;
    for (int row = 0; row < height; ++row) {
        uint8_t* line = picture->data[0] + static_cast<ptrdiff_t>(top + row) * picture->linesize[0] + left;
        for (int column = 0; column < width; ++column) {
            const float* p = &layer_[(static_cast<size_t>(row) * width + column) * 4];
            line[column] = Blend(line[column], p[0], LumaPart(p[0], p[1], p[2], p[3]));
        }
    }
    for (int cy = top / 2; cy <= (top + height - 1) / 2; ++cy) {
        uint8_t* blue = picture->data[1] + static_cast<ptrdiff_t>(cy) * picture->linesize[1];
        uint8_t* red = picture->data[2] + static_cast<ptrdiff_t>(cy) * picture->linesize[2];
        for (int cx = left / 2; cx <= (left + width - 1) / 2; ++cx) {
            float mean[4] = {0, 0, 0, 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const int row = 2 * cy + dy - top, column = 2 * cx + dx - left;
                    if (row < 0 || row >= height || column < 0 || column >= width) continue;
                    const float* p = &layer_[(static_cast<size_t>(row) * width + column) * 4];
                    for (int c = 0; c < 4; ++c) mean[c] += p[c] / 4.0f;
                }
            blue[cx] = Blend(blue[cx], mean[0], BluePart(mean[0], mean[1], mean[2], mean[3]));
            red[cx] = Blend(red[cx], mean[0], RedPart(mean[0], mean[1], mean[2], mean[3]));
        }
    }
}
