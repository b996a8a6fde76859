#include "PosterPicture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "DisplayTurn.h"
#include "LibraryBinding.h"
#include "LibraryHandles.h"
#include "LocalFile.h"
#include "SwScaleHlpr.h"

namespace {

// Later candidates when the picture at a tenth is black or blank; past the
// middle a picture says little more about the video.
constexpr int kCandidates = 5;
// Without a known duration the candidates are this far apart from the start;
// a seek that lands past its instant goes back this far, then twice as far.
constexpr int64_t kUnknownDurationStepUs = 1000000;
constexpr int kSeekAttempts = 3;

TPosterPicture Turned(const TPosterPicture& source, const TPictureTurn& turn) {
    TPosterPicture shown;
    shown.Width = turn.Swaps() ? source.Height : source.Width;
    shown.Height = turn.Swaps() ? source.Width : source.Height;
    shown.Rgb.resize(source.Rgb.size());
    // Offsets that bring the turned coordinates back into the picture.
    const int offsetX = (turn.xx < 0 ? source.Width - 1 : 0) + (turn.yx < 0 ? source.Height - 1 : 0);
    const int offsetY = (turn.xy < 0 ? source.Width - 1 : 0) + (turn.yy < 0 ? source.Height - 1 : 0);
    for (int y = 0; y < source.Height; ++y)
        for (int x = 0; x < source.Width; ++x) {
            const int shownX = offsetX + turn.xx * x + turn.yx * y;
            const int shownY = offsetY + turn.xy * x + turn.yy * y;
            std::memcpy(&shown.Rgb[(static_cast<size_t>(shownY) * shown.Width + shownX) * 3],
                        &source.Rgb[(static_cast<size_t>(y) * source.Width + x) * 3], 3);
        }
    return shown;
}

int EvenAtLeastTwo(double value) { return std::max(2, static_cast<int>(std::lround(value / 2)) * 2); }

bool KnownDuration(const AVStream& stream, int64_t fileDurationUs) {
    return stream.duration > 0 || fileDurationUs > 0;
}

}  // namespace

// Black, white or any one colour with hardly a shade in it: the luma's spread
// is tiny, or nearly everything is almost black (a fade with some noise).
bool LooksBlank(const TPosterPicture& picture) {
    const size_t pixels = static_cast<size_t>(picture.Width) * picture.Height;
    double sum = 0, squares = 0;
    size_t dark = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* rgb = &picture.Rgb[i * 3];
        const double luma = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
        sum += luma;
        squares += luma * luma;
        dark += luma < 24;
    }
    const double mean = sum / pixels;
    const double spread = std::sqrt(std::max(0.0, squares / pixels - mean * mean));
    return spread < 6 || dark > pixels * 98 / 100;
}

std::vector<int64_t> PosterInstants(const AVStream& stream, int64_t fileDurationUs, bool fromStart) {
    const AVRational base = stream.time_base;
    const int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    int64_t duration = fromStart ? 0 : stream.duration;
    if (duration <= 0 && fileDurationUs > 0 && !fromStart)
        duration = ff::av_rescale_q(fileDurationUs, AVRational{1, AV_TIME_BASE}, base);
    std::vector<int64_t> instants;
    for (int k = 1; k <= kCandidates; ++k)
        instants.push_back(duration > 0 ? start + duration * k / 10
                                        : start + ff::av_rescale_q(kUnknownDurationStepUs * (k - 1),
                                                                   AVRational{1, 1000000}, base));
    instants.erase(std::unique(instants.begin(), instants.end()), instants.end());
    return instants;
}

TPosterSize PosterSizeOf(const AVStream& stream, int width, int height, AVRational aspect, int maxWidth) {
    if (aspect.num <= 0 || aspect.den <= 0) aspect = stream.sample_aspect_ratio;
    const double pixelAspect = aspect.num > 0 && aspect.den > 0 ? static_cast<double>(aspect.num) / aspect.den : 1.0;
    double shownWidth = std::max(width, 2) * pixelAspect, shownHeight = std::max(height, 2);
    if (PictureTurnOf(&stream).Swaps()) std::swap(shownWidth, shownHeight);
    const double scale = std::min(1.0, std::max(maxWidth, 2) / shownWidth);
    return TPosterSize{EvenAtLeastTwo(shownWidth * scale), EvenAtLeastTwo(shownHeight * scale)};
}

std::optional<TPosterPicture> PosterPictureOf(const AVFrame& frame, const AVStream& stream, int maxWidth) {
    if (maxWidth < 2 || frame.width <= 0 || frame.height <= 0) return std::nullopt;
    const TPictureTurn turn = PictureTurnOf(&stream);
    const TPosterSize size = PosterSizeOf(stream, frame.width, frame.height, frame.sample_aspect_ratio, maxWidth);
    // Scaled first, then turned.
    TPosterPicture picture;
    picture.Width = turn.Swaps() ? size.Height : size.Width;
    picture.Height = turn.Swaps() ? size.Width : size.Height;
    TScalerContextPtr scaler(ff::sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                                picture.Width, picture.Height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr,
                                                nullptr, nullptr));
    if (!scaler) return std::nullopt;
    picture.Rgb.resize(static_cast<size_t>(picture.Width) * picture.Height * 3);
    uint8_t* const planes[4] = {picture.Rgb.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {picture.Width * 3, 0, 0, 0};
    if (ff::sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != picture.Height)
        return std::nullopt;
    if (turn.Identity()) return picture;
    return Turned(picture, turn);
}

namespace {

class TPosterGrabber {
public:
    bool Open(const std::string& path) {
        if (!NotARegularFileText(path).empty()) return false;
        AVFormatContext* opened = nullptr;
        if (ff::avformat_open_input(&opened, LocalFileUrl(path).c_str(), nullptr, nullptr) < 0) return false;
        input_.reset(opened);
        std::lock_guard<std::recursive_mutex> lock(CodecLock());
        if (ff::avformat_find_stream_info(input_.get(), nullptr) < 0) return false;
        for (unsigned index = 0; index < input_->nb_streams && !stream_; ++index) {
            AVStream* stream = input_->streams[index];
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
                stream_ = stream;
        }
        if (!stream_) return false;
        const AVCodec* decoder = ff::avcodec_find_decoder(stream_->codecpar->codec_id);
        if (!decoder) return false;
        decoder_.reset(ff::avcodec_alloc_context3(decoder));
        if (!decoder_ || ff::avcodec_parameters_to_context(decoder_.get(), stream_->codecpar) < 0) return false;
        // One picture needs no threads, and thumbnails are made several at once.
        decoder_->thread_count = 1;
        frame_.reset(ff::av_frame_alloc());
        last_.reset(ff::av_frame_alloc());
        packet_.reset(ff::av_packet_alloc());
        return frame_ && last_ && packet_ && ff::avcodec_open2(decoder_.get(), decoder, nullptr) >= 0;
    }

    // The instants to try, in the stream's time base. `fromStart`: the
    // first seconds, read on from the start without seeking.
    std::vector<int64_t> Candidates(bool fromStart) {
        const std::vector<int64_t> instants = PosterInstants(*stream_, fromStart ? 0 : input_->duration, fromStart);
        knownDuration_ = !fromStart && KnownDuration(*stream_, input_->duration);
        return instants;
    }

    // `places` instants spread evenly across the stream, each in the middle
    // of its stretch; a few seconds apart when the duration is unknown.
    std::vector<int64_t> Spread(int places) {
        const AVRational base = stream_->time_base;
        int64_t duration = stream_->duration;
        if (duration <= 0 && input_->duration > 0)
            duration = ff::av_rescale_q(input_->duration, AVRational{1, AV_TIME_BASE}, base);
        knownDuration_ = duration > 0;
        std::vector<int64_t> instants;
        for (int k = 0; k < places; ++k)
            instants.push_back(StartOf() + (knownDuration_ ? duration * (2 * k + 1) / (2 * places)
                                                           : ff::av_rescale_q(kUnknownDurationStepUs * 3 * k,
                                                                              AVRational{1, 1000000}, base)));
        instants.erase(std::unique(instants.begin(), instants.end()), instants.end());
        return instants;
    }

    // The picture DecodeAt or DecodeNext found; the caller lets it go.
    AVFrame& Frame() { return *frame_; }
    // The picture after the one found; false at the end of the stream.
    bool DecodeNext() {
        const int64_t at = frame_->best_effort_timestamp;
        ff::av_frame_unref(frame_.get());
        if (at == AV_NOPTS_VALUE) return false;
        ff::av_frame_unref(last_.get());
        return DecodeFrom(at + 1, false) && frame_->buf[0] && frame_->best_effort_timestamp != at;
    }

    // Decodes the first picture at or after `instant`. A file that cannot
    // seek is read on from where it stands. Demuxers that seek by byte
    // position may land past the instant: then the seek goes further back.
    bool DecodeAt(int64_t instant) {
        // Nothing lies before the start; a still picture's demuxer may not
        // come back from a seek there.
        if (!knownDuration_ || instant <= StartOf()) return DecodeFrom(instant, false);
        const int64_t step = ff::av_rescale_q(kUnknownDurationStepUs, AVRational{1, 1000000}, stream_->time_base);
        int64_t seekTo = instant;
        for (int attempt = 0; attempt < kSeekAttempts; ++attempt) {
            if (!SeekTo(seekTo)) return DecodeFrom(instant, false);
            ff::avcodec_flush_buffers(decoder_.get());
            ff::av_frame_unref(last_.get());
            draining_ = false;
            if (!DecodeFrom(instant, true)) return false;
            if (!landedPast_ || seekTo <= StartOf()) return true;
            seekTo = std::max(StartOf(), seekTo - (step << attempt));
        }
        return true;
    }

    // A seek to the start reads the file from its first byte where it can:
    // some demuxers' timestamp seeks miss the first pictures.
    bool SeekTo(int64_t at) {
        if (at <= StartOf() && ff::avformat_seek_file(input_.get(), -1, 0, 0, 0, AVSEEK_FLAG_BYTE) >= 0) return true;
        return ff::avformat_seek_file(input_.get(), stream_->index, INT64_MIN, at, at, 0) >= 0;
    }

    // The first picture decoded from here at or after `instant`; the last
    // one when the stream ends before it.
    bool DecodeFrom(int64_t instant, bool afterSeek) {
        landedPast_ = false;
        for (;;) {
            const int received = ff::avcodec_receive_frame(decoder_.get(), frame_.get());
            if (received == 0) {
                const int64_t at = frame_->best_effort_timestamp;
                if (at == AV_NOPTS_VALUE || at >= instant) {
                    landedPast_ = afterSeek && !last_->buf[0] && at != AV_NOPTS_VALUE && at > instant;
                    return true;
                }
                ff::av_frame_unref(last_.get());
                ff::av_frame_ref(last_.get(), frame_.get());
                ff::av_frame_unref(frame_.get());
                continue;
            }
            // A stream that ends before the instant (a still picture, a
            // duration that promised more) gives its last picture.
            if (received != AVERROR(EAGAIN) || draining_)
                return last_->buf[0] && ff::av_frame_ref(frame_.get(), last_.get()) >= 0;
            if (ff::av_read_frame(input_.get(), packet_.get()) < 0) {
                draining_ = true;
                ff::avcodec_send_packet(decoder_.get(), nullptr);
                continue;
            }
            // A damaged packet costs its picture, not the search.
            if (packet_->stream_index == stream_->index) ff::avcodec_send_packet(decoder_.get(), packet_.get());
            ff::av_packet_unref(packet_.get());
        }
    }

    // The decoded picture at its display shape, at most `maxWidth` wide.
    std::optional<TPosterPicture> Picture(int maxWidth) {
        std::optional<TPosterPicture> picture = PosterPictureOf(*frame_, *stream_, maxWidth);
        ff::av_frame_unref(frame_.get());
        return picture;
    }

private:
    int64_t StartOf() const { return stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0; }

    TInputContextPtr input_;
    AVStream* stream_ = nullptr;
    TCodecContextPtr decoder_;
    TFramePtr frame_;
    TFramePtr last_;  // the latest picture before the instant
    TPacketPtr packet_;
    bool knownDuration_ = false;
    bool draining_ = false;
    bool landedPast_ = false;  // the first picture after a seek came after the instant
};

bool Sample(const std::string& path, int places, int runLength,
            const std::function<void(const AVFrame&, int)>& take) {
    TPosterGrabber grabber;
    if (!grabber.Open(path)) return false;
    bool any = false;
    int place = 0;
    for (const int64_t instant : grabber.Spread(places)) {
        if (!grabber.DecodeAt(instant)) break;
        for (int n = 0; n < runLength; ++n) {
            take(grabber.Frame(), place);
            any = true;
            if (n + 1 < runLength && !grabber.DecodeNext()) break;
        }
        ff::av_frame_unref(&grabber.Frame());
        ++place;
    }
    return any;
}

std::optional<TPosterPicture> Grab(const std::string& path, int maxWidth, bool fromStart) {
    TPosterGrabber grabber;
    if (!grabber.Open(path)) return std::nullopt;
    std::optional<TPosterPicture> firstBlank;
    for (const int64_t instant : grabber.Candidates(fromStart)) {
        if (!grabber.DecodeAt(instant)) break;
        std::optional<TPosterPicture> picture = grabber.Picture(maxWidth);
        if (!picture) return std::nullopt;
        if (!LooksBlank(*picture)) return picture;
        if (!firstBlank) firstBlank = std::move(picture);
    }
    // A seek may land where nothing decodes, or only grey (an unindexed
    // stream whose key pictures are few): the file is then read from its
    // start, where the decoder has everything it needs.
    if (!fromStart)
        if (std::optional<TPosterPicture> picture = Grab(path, maxWidth, true);
            picture && (!firstBlank || !LooksBlank(*picture)))
            return picture;
    // A video that is blank throughout is still shown by its own picture.
    return firstBlank;
}

// JPEG's own colours: full-range luma and chroma after ITU-R BT.601, the
// chroma averaged over each 2x2 block (the sizes are even).
void ToFullRangeYuv(const TPosterPicture& picture, AVFrame& frame) {
    auto clamped = [](double value) { return static_cast<uint8_t>(std::clamp(value + 0.5, 0.0, 255.0)); };
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x) {
            const uint8_t* rgb = &picture.Rgb[(static_cast<size_t>(y) * picture.Width + x) * 3];
            frame.data[0][y * frame.linesize[0] + x] = clamped(0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]);
        }
    for (int y = 0; y < picture.Height / 2; ++y)
        for (int x = 0; x < picture.Width / 2; ++x) {
            double r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const uint8_t* rgb =
                        &picture.Rgb[(static_cast<size_t>(2 * y + dy) * picture.Width + 2 * x + dx) * 3];
                    r += rgb[0] / 4.0, g += rgb[1] / 4.0, b += rgb[2] / 4.0;
                }
            frame.data[1][y * frame.linesize[1] + x] = clamped(128 - 0.168736 * r - 0.331264 * g + 0.5 * b);
            frame.data[2][y * frame.linesize[2] + x] = clamped(128 + 0.5 * r - 0.418688 * g - 0.081312 * b);
        }
}

bool Bound() {
    return LibrariesBound() && ff::avformat_open_input && ff::avcodec_open2 && ff::sws_getContext;
}

}  // namespace

std::optional<TPosterPicture> GrabPosterPicture(const std::string& path, int maxWidth) {
    if (maxWidth < 2 || !Bound()) return std::nullopt;
    try {
        return Grab(path, maxWidth, false);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool SamplePictures(const std::string& path, int places, int runLength,
                    const std::function<void(const AVFrame&, int)>& take) {
    if (places < 1 || runLength < 1 || !Bound()) return false;
    try {
        return Sample(path, places, runLength, take);
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<uint8_t> EncodePosterJpeg(const TPosterPicture& picture) {
    if (!Bound() || picture.Width < 2 || picture.Height < 2 || picture.Width % 2 || picture.Height % 2 ||
        picture.Rgb.size() != static_cast<size_t>(picture.Width) * picture.Height * 3)
        return {};
    try {
        const AVCodec* encoder = ff::avcodec_find_encoder_by_name("mjpeg");
        if (!encoder) return {};
        TCodecContextPtr context(ff::avcodec_alloc_context3(encoder));
        TFramePtr frame(ff::av_frame_alloc());
        TPacketPtr packet(ff::av_packet_alloc());
        if (!context || !frame || !packet) return {};
        context->width = picture.Width;
        context->height = picture.Height;
        context->pix_fmt = AV_PIX_FMT_YUVJ420P;
        context->color_range = AVCOL_RANGE_JPEG;
        context->time_base = AVRational{1, 25};
        // A fixed, good quality: the picture is small and shown large on a TV.
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = 3 * FF_QP2LAMBDA;
        {
            std::lock_guard<std::recursive_mutex> lock(CodecLock());
            if (ff::avcodec_open2(context.get(), encoder, nullptr) < 0) return {};
        }
        frame->width = picture.Width;
        frame->height = picture.Height;
        frame->format = AV_PIX_FMT_YUVJ420P;
        frame->quality = context->global_quality;
        frame->pts = 0;
        if (ff::av_frame_get_buffer(frame.get(), 0) < 0) return {};
        ToFullRangeYuv(picture, *frame);
        if (ff::avcodec_send_frame(context.get(), frame.get()) < 0 ||
            ff::avcodec_send_frame(context.get(), nullptr) < 0 ||
            ff::avcodec_receive_packet(context.get(), packet.get()) < 0)
            return {};
        return std::vector<uint8_t>(packet->data, packet->data + packet->size);
    } catch (const std::exception&) {
        return {};
    }
}
