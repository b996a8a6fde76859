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

const AVStream* PosterSource(const AVFormatContext* input) {
    for (unsigned index = 0; input && index < input->nb_streams; ++index) {
        const AVStream* stream = input->streams[index];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return stream;
    }
    return nullptr;
}

int AddPosterStream(AVFormatContext* output, const AVStream& source, int maxWidth) {
    if (maxWidth <= 0 || !KeepsCoverArt(output->oformat)) return -1;
    AVStream* stream = ff::avformat_new_stream(output, nullptr);
    if (!stream) return -1;
    stream->disposition |= AV_DISPOSITION_ATTACHED_PIC;
    stream->time_base = AVRational{1, 90000};
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = AV_CODEC_ID_MJPEG;
    // The muxer wants the size with the header; the picture taken later has
    // it unless its frames change shape.
    const TPosterSize size = PosterSizeOf(source, source.codecpar->width, source.codecpar->height,
                                          source.codecpar->sample_aspect_ratio, maxWidth);
    stream->codecpar->width = size.Width;
    stream->codecpar->height = size.Height;
    return stream->index;
}

TPosterShot GrabPosterShot(const std::string& inputPath, int maxWidth) {
    TPosterShot shot;
    if (const std::optional<TPosterPicture> picture = GrabPosterPicture(inputPath, maxWidth)) {
        shot.jpeg = EncodePosterJpeg(*picture);
        shot.width = picture->Width;
        shot.height = picture->Height;
    }
    return shot;
}

int WritePosterPacket(AVFormatContext* output, int index, const TPosterShot& shot) {
    if (index < 0 || shot.jpeg.empty()) return 0;
    AVCodecParameters* parameters = output->streams[index]->codecpar;
    parameters->width = shot.width;
    parameters->height = shot.height;
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet) return AVERROR(ENOMEM);
    if (const int made = ff::av_new_packet(packet.get(), static_cast<int>(shot.jpeg.size())); made < 0) return made;
    std::memcpy(packet->data, shot.jpeg.data(), shot.jpeg.size());
    packet->stream_index = index;
    packet->flags |= AV_PKT_FLAG_KEY;
    packet->pts = packet->dts = 0;
    return ff::av_interleaved_write_frame(output, packet.get());
}
