#include "SourceFilm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>
#include <stdexcept>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "LibraryHandles.h"

namespace {

constexpr int kFrameRate = 24;
constexpr int kSampleRate = 48000;
constexpr int kSamplesPerFrame = 1024;
constexpr int64_t kFlashUs = 150000;

// The time of a picture of a variable-rate film, milliseconds.
int64_t VariableRateTime(int64_t number) {
    constexpr int64_t kGaps[] = {30, 50, 40, 80};
    int64_t time = number / 4 * 200;
    for (int64_t n = 0; n < number % 4; ++n) time += kGaps[n];
    return time;
}

bool Flashing(const SourceFilm& film, int64_t timeUs) {
    return film.flashUs > 0 && timeUs >= film.flashUs && timeUs < film.flashUs + kFlashUs;
}

void Check(int code, const std::string& step) {
    if (code >= 0) return;
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    ff::av_strerror(code, reason, sizeof reason);
    throw std::runtime_error("writing a source film: " + step + ": " + reason);
}

struct Track {
    AVStream* stream = nullptr;
    TCodecContextPtr encoder;
    int64_t next = 0;  // picture or sample
    int64_t end = 0;
    int frequency = 0;
};

TCodecContextPtr OpenEncoder(const char* name, const std::function<void(AVCodecContext*)>& configure) {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(name);
    if (!codec) throw std::runtime_error(std::string("writing a source film: no encoder ") + name);
    TCodecContextPtr encoder(ff::avcodec_alloc_context3(codec));
    if (!encoder) throw std::runtime_error("writing a source film: no memory");
    configure(encoder.get());
    std::lock_guard lock(CodecLock());
    Check(ff::avcodec_open2(encoder.get(), codec, nullptr), std::string("opening ") + name);
    return encoder;
}

void FillBars(AVFrame* frame, const SourceFilm& film, int64_t number, bool flash) {
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    const int depth = desc->comp[0].depth;
    const double scale = (1 << (depth - 8));
    const bool full = film.range == AVCOL_RANGE_JPEG;
    const double maxCode = (1 << depth) - 1;
    for (int plane = 0; plane < 3; ++plane) {
        const int width = plane ? frame->width / 2 : frame->width;
        const int height = plane ? frame->height / 2 : frame->height;
        for (int row = 0; row < height; ++row) {
            for (int x = 0; x < width; ++x) {
                const int sx = plane ? 2 * x : x, sy = plane ? 2 * row : row;
                const CodedColour black{0.0, 0.0, 0.0}, white{1.0, 0.0, 0.0};
                const bool band = sy < film.bandTop || sy >= film.height - film.bandBottom || sx < film.bandLeft ||
                                  sx >= film.width - film.bandRight;
                // The second field (odd rows) is half a picture later.
                const int shift = film.interlaced && (sy & 1) ? 8 : 0;
                const int64_t left = film.bandLeft + 16 * number + shift;
                const int top = film.height / 2 - film.movingSquare / 2;
                const bool square = film.movingSquare > 0 && sx >= left && sx < left + film.movingSquare &&
                                    sy >= top && sy < top + film.movingSquare;
                const CodedColour& c = flash    ? white
                                       : band   ? black
                                       : square ? white
                                                : film.bars[static_cast<size_t>(x) * film.bars.size() / width];
                double value = 0;
                if (plane == 0)
                    value = full ? c.y * maxCode : (16 + 219 * c.y) * scale;
                else
                    value = full ? (c.cb * (plane == 1) + c.cr * (plane == 2) + 0.5) * maxCode
                                 : (128 + 224 * (plane == 1 ? c.cb : c.cr)) * scale;
                const int code = static_cast<int>(std::lround(std::clamp(value, 0.0, maxCode)));
                uint8_t* line = frame->data[plane] + static_cast<ptrdiff_t>(row) * frame->linesize[plane];
                if (depth > 8)
                    reinterpret_cast<uint16_t*>(line)[x] = static_cast<uint16_t>(code);
                else
                    line[x] = static_cast<uint8_t>(code);
            }
        }
    }
}

// The styles a text subtitle encoder takes its dialogue with.
constexpr char kAssHeader[] =
    "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 384\r\nPlayResY: 288\r\n\r\n[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\r\nStyle: Default,Arial,24,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,"
    "10,10,10,0\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, "
    "Text\r\n";

struct SubtitleTrack {
    AVStream* stream = nullptr;
    TCodecContextPtr encoder;
    const FilmSubtitles* given = nullptr;
};

SubtitleTrack OpenSubtitles(AVFormatContext* context, const FilmSubtitles& given, const SourceFilm& film) {
    SubtitleTrack track;
    track.given = &given;
    track.encoder = OpenEncoder(given.pictures ? "dvdsub" : "subrip", [&](AVCodecContext* encoder) {
        encoder->time_base = AVRational{1, 1000};
        encoder->width = film.width;
        encoder->height = film.height;
        if (given.pictures) return;
        encoder->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(sizeof kAssHeader));
        std::memcpy(encoder->subtitle_header, kAssHeader, sizeof kAssHeader);
        encoder->subtitle_header_size = sizeof kAssHeader - 1;
    });
    track.stream = ff::avformat_new_stream(context, nullptr);
    if (!track.stream) throw std::runtime_error("writing a source film: adding a stream");
    track.stream->time_base = AVRational{1, 1000};
    Check(ff::avcodec_parameters_from_context(track.stream->codecpar, track.encoder.get()), "parameters");
    if (*given.language) ff::av_dict_set(&track.stream->metadata, "language", given.language, 0);
    track.stream->disposition = given.forced ? AV_DISPOSITION_FORCED : 0;
    return track;
}

void WriteCues(AVFormatContext* context, SubtitleTrack& track) {
    const FilmSubtitles& given = *track.given;
    std::vector<uint8_t> block(static_cast<size_t>(std::max(1, given.width * given.height)), 1);
    uint32_t palette[4] = {0x00000000, 0xFFFFFFFF, 0xFF000000, 0xFF808080};
    std::vector<uint8_t> coded(1 << 20);
    for (const FilmCue& cue : given.cues) {
        AVSubtitleRect rect{};
        AVSubtitleRect* rects[] = {&rect};
        std::string dialogue = std::string("0,0,Default,,0,0,0,,") + cue.text;
        if (given.pictures) {
            rect.type = SUBTITLE_BITMAP;
            rect.x = given.left, rect.y = given.top, rect.w = given.width, rect.h = given.height;
            rect.nb_colors = 4;
            rect.data[0] = block.data();
            rect.linesize[0] = given.width;
            rect.data[1] = reinterpret_cast<uint8_t*>(palette);
        } else {
            rect.type = SUBTITLE_ASS;
            rect.ass = dialogue.data();
        }
        AVSubtitle sub{};
        sub.num_rects = 1;
        sub.rects = rects;
        sub.pts = cue.startUs;
        sub.end_display_time = static_cast<uint32_t>((cue.endUs - cue.startUs) / 1000);
        const int size = ff::avcodec_encode_subtitle(track.encoder.get(), coded.data(), static_cast<int>(coded.size()), &sub);
        Check(size, "encoding a cue");
        TPacketPtr packet(ff::av_packet_alloc());
        Check(ff::av_new_packet(packet.get(), size), "a cue's packet");
        std::memcpy(packet->data, coded.data(), static_cast<size_t>(size));
        if (given.damaged) std::memset(packet->data, 0xFF, static_cast<size_t>(size));
        packet->pts = packet->dts = cue.startUs / 1000;
        packet->duration = (cue.endUs - cue.startUs) / 1000;
        packet->stream_index = track.stream->index;
        packet->flags |= AV_PKT_FLAG_KEY;
        Check(ff::av_interleaved_write_frame(context, packet.get()), "writing a cue");
    }
}

}  // namespace

CodedColour CodedFromRgb(int r, int g, int b, AVColorSpace matrix) {
    const bool hd = matrix == AVCOL_SPC_BT709;
    const double kr = hd ? 0.2126 : 0.299, kb = hd ? 0.0722 : 0.114;
    const double red = r / 255.0, green = g / 255.0, blue = b / 255.0;
    const double y = kr * red + (1 - kr - kb) * green + kb * blue;
    return CodedColour{y, (blue - y) / (2 * (1 - kb)), (red - y) / (2 * (1 - kr))};
}

void WriteSourceFilm(const SourceFilm& film, const std::string& path) {
    AVFormatContext* raw = nullptr;
    Check(ff::avformat_alloc_output_context2(&raw, nullptr, "matroska", path.c_str()), "creating the output");
    TOutputContextPtr context(raw);
    std::vector<Track> tracks;
    {
        Track video;
        video.encoder = OpenEncoder("ffv1", [&](AVCodecContext* encoder) {
            encoder->width = film.width;
            encoder->height = film.height;
            encoder->pix_fmt = ff::av_get_pix_fmt(film.pixelFormat);
            encoder->time_base = film.variableRate ? AVRational{1, 1000} : AVRational{1, kFrameRate};
            encoder->framerate = AVRational{film.variableRate ? 20 : kFrameRate, 1};
            encoder->colorspace = film.matrix;
            encoder->color_range = film.range;
            encoder->color_trc = film.transfer;
            encoder->color_primaries = film.primaries;
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        });
        video.end = film.durationUs * kFrameRate / 1000000;
        if (film.variableRate)
            for (video.end = 0; VariableRateTime(video.end) * 1000 < film.durationUs;) ++video.end;
        tracks.push_back(std::move(video));
    }
    for (const FilmSound& sound : film.sound) {
        Track audio;
        audio.encoder = OpenEncoder("pcm_s16le", [&](AVCodecContext* encoder) {
            encoder->sample_rate = kSampleRate;
            encoder->sample_fmt = AV_SAMPLE_FMT_S16;
            ff::av_channel_layout_default(&encoder->ch_layout, sound.channels);
            encoder->time_base = AVRational{1, kSampleRate};
        });
        audio.end = film.durationUs * kSampleRate / 1000000;
        audio.frequency = sound.frequency;
        tracks.push_back(std::move(audio));
    }
    for (size_t n = 0; n < tracks.size(); ++n) {
        Track& track = tracks[n];
        track.stream = ff::avformat_new_stream(context.get(), nullptr);
        if (!track.stream) throw std::runtime_error("writing a source film: adding a stream");
        track.stream->time_base = track.encoder->time_base;
        Check(ff::avcodec_parameters_from_context(track.stream->codecpar, track.encoder.get()), "parameters");
        if (n > 0) {
            const FilmSound& sound = film.sound[n - 1];
            if (*sound.language) ff::av_dict_set(&track.stream->metadata, "language", sound.language, 0);
            track.stream->disposition = sound.isDefault ? AV_DISPOSITION_DEFAULT : 0;
        }
    }
    std::vector<SubtitleTrack> subtitles;
    for (const FilmSubtitles& given : film.subtitles) subtitles.push_back(OpenSubtitles(context.get(), given, film));
    for (const FilmChapter& given : film.chapters) {
        auto** list = static_cast<AVChapter**>(ff::av_malloc((context->nb_chapters + 1) * sizeof(AVChapter*)));
        auto* chapter = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
        if (!list || !chapter) throw std::runtime_error("writing a source film: no memory");
        chapter->id = context->nb_chapters + 1;
        chapter->time_base = AVRational{1, 1000000};
        chapter->start = given.startUs;
        chapter->end = given.endUs;
        ff::av_dict_set(&chapter->metadata, "title", given.title, 0);
        for (unsigned i = 0; i < context->nb_chapters; ++i) list[i] = context->chapters[i];
        list[context->nb_chapters] = chapter;
        ff::av_free(context->chapters);
        context->chapters = list;
        ++context->nb_chapters;
    }
    Check(ff::avio_open(&context->pb, path.c_str(), AVIO_FLAG_WRITE), "opening the file");
    Check(ff::avformat_write_header(context.get(), nullptr), "writing the header");
    for (SubtitleTrack& track : subtitles) WriteCues(context.get(), track);
    TPacketPtr packet(ff::av_packet_alloc());
    auto drain = [&](Track& track) {
        while (ff::avcodec_receive_packet(track.encoder.get(), packet.get()) >= 0) {
            ff::av_packet_rescale_ts(packet.get(), track.encoder->time_base, track.stream->time_base);
            packet->stream_index = track.stream->index;
            Check(ff::av_interleaved_write_frame(context.get(), packet.get()), "writing a packet");
        }
    };
    for (Track& track : tracks) {
        const bool video = &track == &tracks.front();
        for (; track.next < track.end;) {
            TFramePtr frame(ff::av_frame_alloc());
            if (video) {
                frame->format = track.encoder->pix_fmt;
                frame->width = film.width;
                frame->height = film.height;
                frame->color_range = film.range;
                frame->colorspace = film.matrix;
                frame->color_trc = film.transfer;
                frame->color_primaries = film.primaries;
                Check(ff::av_frame_get_buffer(frame.get(), 0), "a picture");
                const int64_t timeUs =
                    film.variableRate ? VariableRateTime(track.next) * 1000 : track.next * 1000000 / kFrameRate;
                FillBars(frame.get(), film, track.next, Flashing(film, timeUs));
                frame->pts = film.variableRate ? VariableRateTime(track.next) : track.next;
                ++track.next;
            } else {
                frame->format = AV_SAMPLE_FMT_S16;
                frame->sample_rate = kSampleRate;
                frame->nb_samples = static_cast<int>(std::min<int64_t>(kSamplesPerFrame, track.end - track.next));
                Check(ff::av_channel_layout_copy(&frame->ch_layout, &track.encoder->ch_layout), "a layout");
                Check(ff::av_frame_get_buffer(frame.get(), 0), "a block of sound");
                auto* samples = reinterpret_cast<int16_t*>(frame->data[0]);
                const int channels = frame->ch_layout.nb_channels;
                for (int i = 0; i < frame->nb_samples; ++i) {
                    const double t = static_cast<double>(track.next + i) / kSampleRate;
                    const bool silent = film.flashUs > 0 && !Flashing(film, static_cast<int64_t>(t * 1000000));
                    const auto value =
                        static_cast<int16_t>(silent ? 0 : 8000 * std::sin(2 * M_PI * track.frequency * t));
                    for (int c = 0; c < channels; ++c) samples[i * channels + c] = value;
                }
                frame->pts = track.next;
                track.next += frame->nb_samples;
            }
            Check(ff::avcodec_send_frame(track.encoder.get(), frame.get()), "encoding");
            drain(track);
        }
        Check(ff::avcodec_send_frame(track.encoder.get(), nullptr), "flushing");
        drain(track);
    }
    Check(ff::av_write_trailer(context.get()), "writing the trailer");
}
