#include "PosterStream.h"

#include <cstring>
#include <string_view>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "LibraryHandles.h"
#include "PosterPicture.h"

namespace {

bool KeepsCoverArt(const AVOutputFormat* format) {
    const std::string_view name = format->name;
    return name == "mp4" || name == "ipod" || name == "mov";
}

}  // namespace

TPosterStream AddPosterStream(AVFormatContext* output, const std::string& inputPath, int maxWidth) {
    TPosterStream poster;
    if (maxWidth <= 0 || !KeepsCoverArt(output->oformat)) return poster;
    const std::optional<TPosterPicture> picture = GrabPosterPicture(inputPath, maxWidth);
    if (!picture) return poster;
    std::vector<uint8_t> jpeg = EncodePosterJpeg(*picture);
    if (jpeg.empty()) return poster;
    AVStream* stream = ff::avformat_new_stream(output, nullptr);
    if (!stream) return poster;
    stream->disposition |= AV_DISPOSITION_ATTACHED_PIC;
    stream->time_base = AVRational{1, 90000};
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = AV_CODEC_ID_MJPEG;
    stream->codecpar->width = picture->Width;
    stream->codecpar->height = picture->Height;
    poster.index = stream->index;
    poster.jpeg = std::move(jpeg);
    return poster;
}

int WritePosterPacket(AVFormatContext* output, const TPosterStream& poster) {
    if (poster.index < 0) return 0;
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet) return AVERROR(ENOMEM);
    if (const int made = ff::av_new_packet(packet.get(), static_cast<int>(poster.jpeg.size())); made < 0) return made;
    std::memcpy(packet->data, poster.jpeg.data(), poster.jpeg.size());
    packet->stream_index = poster.index;
    packet->flags |= AV_PKT_FLAG_KEY;
    packet->pts = packet->dts = 0;
    return ff::av_interleaved_write_frame(output, packet.get());
}
