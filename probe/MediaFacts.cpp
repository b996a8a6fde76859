#include "MediaFacts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "LibraryHandles.h"

namespace {

double RateOf(AVRational rate) {
    return rate.num > 0 && rate.den > 0 ? static_cast<double>(rate.num) / rate.den : 0.0;
}

std::string LowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// The stream's average bit rate: the container's figure when it keeps one,
// else the stream's bytes over its duration.
int64_t StreamBitRate(AVFormatContext* context, const AVStream* stream) {
    if (stream->codecpar->bit_rate > 0) return stream->codecpar->bit_rate;
    if (stream->duration <= 0 || stream->time_base.num <= 0 || stream->time_base.den <= 0) return 0;
    const double seconds = static_cast<double>(stream->duration) * stream->time_base.num / stream->time_base.den;
    if (seconds <= 0.0) return 0;
    if (ff::avformat_seek_file(context, -1, INT64_MIN, 0, 0, 0) < 0) return 0;
    const TPacketPtr packet(ff::av_packet_alloc());
    if (!packet) return 0;
    int64_t bytes = 0;
    while (ff::av_read_frame(context, packet.get()) >= 0) {
        if (packet->stream_index == stream->index) bytes += packet->size;
        ff::av_packet_unref(packet.get());
    }
    return static_cast<int64_t>(static_cast<double>(bytes) * 8.0 / seconds);
}

TVideoFacts VideoFactsOf(AVFormatContext* context, const AVStream* stream) {
    const AVCodecParameters& parameters = *stream->codecpar;
    TVideoFacts video;
    video.Codec = parameters.codec_id;
    video.Profile = parameters.profile;
    video.Level = parameters.level;
    video.Width = parameters.width;
    video.Height = parameters.height;
    // The average counts a short file's frames over its trimmed duration and
    // comes out high; the base rate of a variable-rate file can be a multiple
    // of the real one. The lower of the two known rates is the file's.
    const double average = RateOf(stream->avg_frame_rate);
    const double base = RateOf(stream->r_frame_rate);
    video.FrameRate = average > 0.0 && base > 0.0 ? std::min(average, base) : std::max(average, base);
    video.BitRate = StreamBitRate(context, stream);
    return video;
}

TAudioFacts AudioFactsOf(AVFormatContext* context, const AVStream* stream) {
    const AVCodecParameters& parameters = *stream->codecpar;
    TAudioFacts audio;
    audio.Codec = parameters.codec_id;
    audio.Profile = parameters.profile;
    audio.SampleRate = parameters.sample_rate;
    audio.Channels = parameters.ch_layout.nb_channels;
    audio.BitRate = StreamBitRate(context, stream);
    return audio;
}

const AVStream* FirstStream(const AVFormatContext* context, AVMediaType type) {
    for (unsigned index = 0; index < context->nb_streams; ++index)
        if (context->streams[index]->codecpar->codec_type == type) return context->streams[index];
    return nullptr;
}

}  // namespace

bool ReadMediaFacts(const std::string& path, TMediaFacts& facts, std::string& error) {
    TAVProbe::CheckLibraries();
    facts = TMediaFacts{};
    AVFormatContext* opened = nullptr;
    const int result = ff::avformat_open_input(&opened, path.c_str(), nullptr, nullptr);
    if (result < 0) {
        error = FormatOpenErrorText(path, result);
        return false;
    }
    TInputContextPtr context(opened);
    {
        std::lock_guard<std::recursive_mutex> lock(CodecLock());
        if (ff::avformat_find_stream_info(context.get(), nullptr) < 0) {
            error = path + ": could not find codec parameters";
            return false;
        }
    }
    facts.Container = context->iformat->name;
    facts.Extension = LowerExtension(path);
    if (context->duration != AV_NOPTS_VALUE && context->duration >= 0) facts.DurationUs = context->duration;
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = ff::av_dict_get(context->metadata, "", tag, AV_DICT_IGNORE_SUFFIX))) facts.Tags[tag->key] = tag->value;
    for (unsigned n = 0; n < context->nb_chapters; ++n) {
        const AVChapter* chapter = context->chapters[n];
        const AVDictionaryEntry* title = ff::av_dict_get(chapter->metadata, "title", nullptr, 0);
        facts.Chapters.push_back(
            {ff::av_rescale_q(chapter->start, chapter->time_base, AVRational{1, 1000}), title ? title->value : ""});
    }
    for (unsigned index = 0; index < context->nb_streams && facts.CoverJpeg.empty(); ++index)
        if (const AVStream* stream = context->streams[index];
            (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) && stream->codecpar->codec_id == AV_CODEC_ID_MJPEG)
            facts.CoverJpeg.assign(stream->attached_pic.data, stream->attached_pic.data + stream->attached_pic.size);
    const AVStream* video = FirstStream(context.get(), AVMEDIA_TYPE_VIDEO);
    const AVStream* audio = FirstStream(context.get(), AVMEDIA_TYPE_AUDIO);
    if (video) facts.Video = VideoFactsOf(context.get(), video);
    if (audio) facts.Audio = AudioFactsOf(context.get(), audio);
    return true;
}
