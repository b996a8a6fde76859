#include "ConvertedPictures.h"

#include <gtest/gtest.h>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "TestMedia.h"

namespace {

std::vector<uint8_t> CopyPlane(const uint8_t* data, int stride, int width, int height) {
    std::vector<uint8_t> plane;
    for (int row = 0; row < height; ++row) plane.insert(plane.end(), data + row * stride, data + row * stride + width);
    return plane;
}

}  // namespace

std::vector<Picture> DecodePictures(const std::string& path) {
    BindTestLibraries();
    std::vector<Picture> pictures;
    AVFormatContext* input = nullptr;
    if (ff::avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return pictures;
    ff::avformat_find_stream_info(input, nullptr);
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i)
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) index = static_cast<int>(i);
    AVCodecContext* decoder = nullptr;
    if (index >= 0) {
        const AVCodec* codec = ff::avcodec_find_decoder(input->streams[index]->codecpar->codec_id);
        decoder = ff::avcodec_alloc_context3(codec);
        ff::avcodec_parameters_to_context(decoder, input->streams[index]->codecpar);
        ff::avcodec_open2(decoder, codec, nullptr);
    }
    AVPacket* packet = ff::av_packet_alloc();
    AVFrame* frame = ff::av_frame_alloc();
    auto receive = [&] {
        while (ff::avcodec_receive_frame(decoder, frame) >= 0) {
            Picture picture;
            picture.width = frame->width;
            picture.height = frame->height;
            picture.y = CopyPlane(frame->data[0], frame->linesize[0], frame->width, frame->height);
            picture.u = CopyPlane(frame->data[1], frame->linesize[1], frame->width / 2, frame->height / 2);
            picture.v = CopyPlane(frame->data[2], frame->linesize[2], frame->width / 2, frame->height / 2);
            pictures.push_back(std::move(picture));
            ff::av_frame_unref(frame);
        }
    };
    while (decoder && ff::av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == index && ff::avcodec_send_packet(decoder, packet) >= 0) receive();
        ff::av_packet_unref(packet);
    }
    if (decoder && ff::avcodec_send_packet(decoder, nullptr) >= 0) receive();
    ff::av_frame_free(&frame);
    ff::av_packet_free(&packet);
    ff::avcodec_free_context(&decoder);
    ff::avformat_close_input(&input);
    return pictures;
}

std::vector<Picture> ConvertToRaw(TranscodeTask& task, const TOptionList& options, const std::string& input) {
    const std::string output = (ScratchFolder() / "raw.nut").string();
    TOptionList all = {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}, {"an", ""}, {"r", "24"}};
    all.insert(all.end(), options.begin(), options.end());
    EXPECT_NO_THROW(task.SetUp(input, all, output));
    task.Run();
    return DecodePictures(output);
}

