#include "ConvertedFile.h"

#include <algorithm>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "TestMedia.h"

const ConvertedStream* ConvertedFile::First(int mediaType) const {
    for (const ConvertedStream& stream : streams)
        if (stream.mediaType == mediaType) return &stream;
    return nullptr;
}

double ConvertedFile::BitRate(const ConvertedStream& stream) const {
    return stream.durationUs > 0 ? static_cast<double>(stream.bytes) * 8 * 1000000 / stream.durationUs : 0;
}

ConvertedFile ReadConvertedFile(const std::string& path) {
    BindTestLibraries();
    ConvertedFile file;
    file.analysis = AnalyseMedia(path);
    AVFormatContext* input = nullptr;
    if (ff::avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) {
        file.error = "cannot open " + path;
        return file;
    }
    if (ff::avformat_find_stream_info(input, nullptr) < 0) file.error = "no stream information in " + path;
    std::vector<int64_t> first(input->nb_streams, INT64_MAX);
    std::vector<int64_t> end(input->nb_streams, INT64_MIN);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* st = input->streams[i];
        ConvertedStream stream;
        stream.mediaType = st->codecpar->codec_type;
        stream.codecName = ff::avcodec_get_name(st->codecpar->codec_id);
        stream.frameRate = st->r_frame_rate;
        file.streams.push_back(stream);
    }
    AVPacket* pkt = ff::av_packet_alloc();
    while (ff::av_read_frame(input, pkt) >= 0) {
        const int index = pkt->stream_index;
        const AVRational tb = input->streams[index]->time_base;
        file.streams[index].bytes += pkt->size;
        if (pkt->pts != AV_NOPTS_VALUE) {
            const int64_t start = ff::av_rescale_q(pkt->pts, tb, AVRational{1, 1000000});
            first[index] = std::min(first[index], start);
            end[index] = std::max(end[index], ff::av_rescale_q(pkt->pts + pkt->duration, tb, AVRational{1, 1000000}));
        }
        ff::av_packet_unref(pkt);
    }
    ff::av_packet_free(&pkt);
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (end[i] > first[i]) file.streams[i].durationUs = end[i] - first[i];
    ff::avformat_close_input(&input);
    return file;
}

std::vector<std::pair<std::string, std::string>> IpodOptions(const std::string& frameRate) {
    return {{"vcodec", "mpeg4"}, {"acodec", "libfaac"}, {"s", "320x240"}, {"r", frameRate},
            {"ar", "44100"},     {"ac", "2"},           {"b", "512000"},  {"ab", "80000"}};
}
