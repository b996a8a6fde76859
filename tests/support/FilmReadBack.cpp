#include "FilmReadBack.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryHandles.h"

namespace {

TCodecContextPtr OpenDecoder(const AVStream* stream) {
    const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
    TCodecContextPtr decoder(codec ? ff::avcodec_alloc_context3(codec) : nullptr);
    if (!decoder || ff::avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) return nullptr;
    std::lock_guard lock(CodecLock());
    if (ff::avcodec_open2(decoder.get(), codec, nullptr) < 0) return nullptr;
    return decoder;
}

void TakeBars(const AVFrame* frame, int bars, FilmReadBack& film) {
    film.bars.clear();
    const int row = frame->height / 2;
    for (int bar = 0; bar < bars; ++bar) {
        const int x = (2 * bar + 1) * frame->width / (2 * bars);
        film.bars.push_back({frame->data[0][static_cast<ptrdiff_t>(row) * frame->linesize[0] + x],
                             frame->data[1][static_cast<ptrdiff_t>(row / 2) * frame->linesize[1] + x / 2],
                             frame->data[2][static_cast<ptrdiff_t>(row / 2) * frame->linesize[2] + x / 2]});
    }
}

// Whether an "hdlr" box of the file names the handler.
bool HasHandler(const std::string& path, const char* handler) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (size_t at = bytes.find("hdlr"); at != std::string::npos; at = bytes.find("hdlr", at + 4))
        if (at + 16 <= bytes.size() && bytes.compare(at + 12, 4, handler) == 0) return true;
    return false;
}

}  // namespace

int ReadPicture::Brightest(int left, int top, int right, int bottom) const {
    int brightest = 0;
    for (int y = std::max(0, top); y < std::min(bottom, height); ++y)
        for (int x = std::max(0, left); x < std::min(right, width); ++x) brightest = std::max(brightest, At(x, y));
    return brightest;
}

std::array<double, 3> DeviceRgb(const std::array<int, 3>& yuv) {
    const double y = (yuv[0] - 16) * 255.0 / 219.0;
    const double cb = (yuv[1] - 128) * 255.0 / 224.0;
    const double cr = (yuv[2] - 128) * 255.0 / 224.0;
    return {y + 1.402 * cr, y - 0.344136 * cb - 0.714136 * cr, y + 1.772 * cb};
}

FilmReadBack ReadFilmBack(const std::string& path, int bars, const std::vector<int64_t>& pictureTimesUs) {
    FilmReadBack film;
    AVFormatContext* raw = nullptr;
    if (ff::avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        film.error = "cannot open " + path;
        return film;
    }
    TInputContextPtr input(raw);
    ff::avformat_find_stream_info(input.get(), nullptr);
    for (unsigned n = 0; n < input->nb_chapters; ++n) {
        const AVChapter* chapter = input->chapters[n];
        const AVDictionaryEntry* title = ff::av_dict_get(chapter->metadata, "title", nullptr, 0);
        film.chapters.push_back({ff::av_rescale_q(chapter->start, chapter->time_base, AVRational{1, 1000000}),
                                 ff::av_rescale_q(chapter->end, chapter->time_base, AVRational{1, 1000000}),
                                 title ? title->value : ""});
    }
    int video = -1, audio = -1, subtitle = -1;
    for (unsigned n = 0; n < input->nb_streams; ++n) {
        const AVStream* stream = input->streams[n];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && film.subtitleStreams++ == 0) {
            subtitle = static_cast<int>(n);
            film.subtitleCodec = ff::avcodec_get_name(stream->codecpar->codec_id);
            const AVDictionaryEntry* language = ff::av_dict_get(stream->metadata, "language", nullptr, 0);
            film.subtitleLanguage = language ? language->value : "";
        }
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && video < 0) video = static_cast<int>(n);
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++film.audioStreams;
            if (audio < 0) audio = static_cast<int>(n);
        }
    }
    TCodecContextPtr videoDecoder, audioDecoder;
    if (video >= 0) {
        const AVCodecParameters* par = input->streams[video]->codecpar;
        film.matrix = par->color_space;
        film.range = par->color_range;
        film.transfer = par->color_trc;
        film.primaries = par->color_primaries;
        videoDecoder = OpenDecoder(input->streams[video]);
    }
    if (audio >= 0) {
        const AVDictionaryEntry* language = ff::av_dict_get(input->streams[audio]->metadata, "language", nullptr, 0);
        film.audioLanguage = language ? language->value : "";
        film.audioChannels = input->streams[audio]->codecpar->ch_layout.nb_channels;
        audioDecoder = OpenDecoder(input->streams[audio]);
    }
    TPacketPtr packet(ff::av_packet_alloc());
    TFramePtr frame(ff::av_frame_alloc());
    int pictures = 0;
    int64_t samples = 0, crossings = 0;
    double last = 0;
    int sampleRate = 0;
    size_t nextTime = 0;
    const AVRational videoTimeBase = video >= 0 ? input->streams[video]->time_base : AVRational{1, 1};
    auto keepPicture = [&](const AVFrame* picture) {
        const int64_t at = ff::av_rescale_q(picture->best_effort_timestamp, videoTimeBase, AVRational{1, 1000000});
        if (nextTime >= pictureTimesUs.size() || at < pictureTimesUs[nextTime]) return;
        ReadPicture kept{picture->width, picture->height, {}};
        for (int y = 0; y < picture->height; ++y) {
            const uint8_t* line = picture->data[0] + static_cast<ptrdiff_t>(y) * picture->linesize[0];
            kept.luma.insert(kept.luma.end(), line, line + picture->width);
        }
        while (nextTime < pictureTimesUs.size() && at >= pictureTimesUs[nextTime]) {
            film.pictures.push_back(kept);
            ++nextTime;
        }
    };
    auto receive = [&](AVCodecContext* decoder, bool isVideo) {
        while (ff::avcodec_receive_frame(decoder, frame.get()) >= 0) {
            // The pictures of the middle are the encoder's settled ones.
            if (isVideo && pictures++ <= 12 && frame->format == AV_PIX_FMT_YUV420P) TakeBars(frame.get(), bars, film);
            if (isVideo) keepPicture(frame.get());
            const AVRational timeBase = input->streams[isVideo ? video : audio]->time_base;
            const int64_t frameUs = ff::av_rescale_q(frame->best_effort_timestamp, timeBase, AVRational{1, 1000000});
            if (isVideo && film.firstWhiteUs < 0 && frame->format == AV_PIX_FMT_YUV420P &&
                frame->data[0][static_cast<ptrdiff_t>(frame->height / 2) * frame->linesize[0] + frame->width / 2] > 200)
                film.firstWhiteUs = frameUs;
            const bool planarFloat = frame->format == AV_SAMPLE_FMT_FLTP;
            if (!isVideo && (planarFloat || frame->format == AV_SAMPLE_FMT_S16P)) {
                sampleRate = frame->sample_rate;
                for (int i = 0; i < frame->nb_samples; ++i, ++samples) {
                    const double value = planarFloat ? reinterpret_cast<const float*>(frame->data[0])[i]
                                                     : reinterpret_cast<const int16_t*>(frame->data[0])[i];
                    if ((value >= 0) != (last >= 0)) ++crossings;
                    const double loud = planarFloat ? 0.1 : 3277;
                    if (film.firstSoundUs < 0 && std::abs(value) > loud)
                        film.firstSoundUs = frameUs + static_cast<int64_t>(i) * 1000000 / frame->sample_rate;
                    last = value;
                }
            }
            ff::av_frame_unref(frame.get());
        }
    };
    while (ff::av_read_frame(input.get(), packet.get()) >= 0) {
        // A text sample is its length in two bytes, then the text.
        if (packet->stream_index == subtitle && packet->size > 2) {
            const size_t length = static_cast<size_t>(packet->data[0] << 8 | packet->data[1]);
            if (length > 0 && length + 2 <= static_cast<size_t>(packet->size))
                film.subtitleTexts.emplace_back(reinterpret_cast<const char*>(packet->data) + 2, length);
        }
        if (packet->stream_index == video && videoDecoder && ff::avcodec_send_packet(videoDecoder.get(), packet.get()) >= 0)
            receive(videoDecoder.get(), true);
        if (packet->stream_index == audio && audioDecoder && ff::avcodec_send_packet(audioDecoder.get(), packet.get()) >= 0)
            receive(audioDecoder.get(), false);
        ff::av_packet_unref(packet.get());
    }
    if (videoDecoder && ff::avcodec_send_packet(videoDecoder.get(), nullptr) >= 0) receive(videoDecoder.get(), true);
    if (audioDecoder && ff::avcodec_send_packet(audioDecoder.get(), nullptr) >= 0) receive(audioDecoder.get(), false);
    film.subtitleHandler = HasHandler(path, "sbtl");
    if (samples > 0 && sampleRate > 0) film.audioFrequency = crossings / 2.0 * sampleRate / samples;
    return film;
}
