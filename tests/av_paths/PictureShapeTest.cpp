// Pictures come out the right way up and the right shape: sources that draw
// a round circle when shown (16:9, anamorphic, stored sideways) are converted
// into a 4:3 frame, and the circle must be round in the stored picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "ConvertedPictures.h"
#include "PictureTurn.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

constexpr int kGrey = 128, kWhite = 235, kMark = 170;

struct ShapeCase {
    const char* name;
    int width, height;      // as stored
    AVRational pixelAspect;
    bool turned;            // stored sideways: shown turned a quarter clockwise
    int shownWidth, shownHeight;  // the picture's place expected in 320x240
};

void Check(int result, const char* step) {
    if (result < 0) throw std::runtime_error(std::string("writing the shape clip: ") + step);
}

// A grey picture with a circle that is round when shown, and a mark in the
// stored top-left corner that tells which way up the picture comes out.
void DrawShapePicture(AVFrame* frame, AVRational aspect) {
    const double stretch = static_cast<double>(aspect.num) / aspect.den;
    const double cx = frame->width / 2.0, cy = frame->height / 2.0;
    const double radius = 0.35 * std::min(frame->width * stretch, static_cast<double>(frame->height));
    for (int y = 0; y < frame->height; ++y)
        for (int x = 0; x < frame->width; ++x) {
            const double dx = (x + 0.5 - cx) * stretch, dy = y + 0.5 - cy;
            const bool mark = x < frame->width / 8 && y < frame->height / 8;
            frame->data[0][y * frame->linesize[0] + x] =
                static_cast<uint8_t>(dx * dx + dy * dy <= radius * radius ? kWhite : mark ? kMark : kGrey);
        }
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < frame->height / 2; ++y) std::memset(frame->data[plane] + y * frame->linesize[plane], 128, frame->width / 2);
}

// A few MPEG-4 pictures in a QuickTime file with the case's pixel aspect and,
// for a sideways case, the display matrix a phone writes.
void WriteShapeClip(const ShapeCase& shape, const std::string& path) {
    BindTestLibraries();
    AVFormatContext* output = nullptr;
    Check(ff::avformat_alloc_output_context2(&output, nullptr, nullptr, path.c_str()), "choosing the muxer");
    const AVCodec* codec = ff::avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* encoder = ff::avcodec_alloc_context3(codec);
    encoder->width = shape.width;
    encoder->height = shape.height;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->time_base = AVRational{1, 12};
    encoder->sample_aspect_ratio = shape.pixelAspect;
    encoder->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_GLOBAL_HEADER;
    encoder->global_quality = FF_QP2LAMBDA * 2;
    Check(ff::avcodec_open2(encoder, codec, nullptr), "opening the encoder");
    AVStream* stream = ff::avformat_new_stream(output, nullptr);
    stream->time_base = encoder->time_base;
    stream->sample_aspect_ratio = shape.pixelAspect;
    Check(ff::avcodec_parameters_from_context(stream->codecpar, encoder), "describing the stream");
    if (shape.turned) {
        // x axis shown pointing down, y axis pointing left: a quarter turn clockwise.
        const int32_t matrix[9] = {0, 1 << 16, 0, -(1 << 16), 0, 0, 0, 0, 1 << 30};
        // The muxer frees stream side data with the library's allocator.
        auto* entry = static_cast<AVPacketSideData*>(ff::av_mallocz(sizeof(AVPacketSideData)));
        entry->type = AV_PKT_DATA_DISPLAYMATRIX;
        entry->size = sizeof matrix;
        entry->data = static_cast<uint8_t*>(ff::av_malloc(sizeof matrix));
        std::memcpy(entry->data, matrix, sizeof matrix);
        stream->side_data = entry;
        stream->nb_side_data = 1;
    }
    Check(ff::avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), "opening the file");
    Check(ff::avformat_write_header(output, nullptr), "writing the header");
    AVFrame* frame = ff::av_frame_alloc();
    frame->format = encoder->pix_fmt;
    frame->width = shape.width;
    frame->height = shape.height;
    Check(ff::av_frame_get_buffer(frame, 0), "allocating a picture");
    DrawShapePicture(frame, shape.pixelAspect);
    AVPacket* packet = ff::av_packet_alloc();
    auto drain = [&] {
        while (ff::avcodec_receive_packet(encoder, packet) >= 0) {
            ff::av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            Check(ff::av_interleaved_write_frame(output, packet), "writing a packet");
        }
    };
    for (int i = 0; i < 4; ++i) {
        frame->pts = i;
        Check(ff::avcodec_send_frame(encoder, frame), "encoding");
        drain();
    }
    Check(ff::avcodec_send_frame(encoder, nullptr), "flushing");
    drain();
    Check(ff::av_write_trailer(output), "writing the trailer");
    ff::av_packet_free(&packet);
    ff::av_frame_free(&frame);
    ff::avcodec_free_context(&encoder);
    ff::avio_closep(&output->pb);
    ff::avformat_free_context(output);
}

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};

// Where the picture's luma lies within [low, high].
Box Bounds(const Picture& picture, int low, int high, const Box& within) {
    Box box;
    for (int y = within.top; y <= within.bottom; ++y)
        for (int x = within.left; x <= within.right; ++x) {
            const int value = picture.Y(x, y);
            if (value < low || value > high) continue;
            box.left = std::min(box.left, x), box.right = std::max(box.right, x);
            box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        }
    return box;
}

class PictureShapeTest : public testing::TestWithParam<ShapeCase> {};

TEST_P(PictureShapeTest, TheCircleComesOutRoundAndTheRightWayUp) {
    const ShapeCase& shape = GetParam();
    const std::string source = (ScratchFolder() / "shape.mov").string();
    WriteShapeClip(shape, source);
    TranscodeTask task;
    const std::vector<Picture> out =
        ConvertToRaw(task, {{"s", "320x240"}, {"keepshape", ""}, {"r", "12"}}, source);
    ASSERT_FALSE(out.empty());
    const Picture& picture = out.back();
    ASSERT_EQ(picture.width, 320);
    ASSERT_EQ(picture.height, 240);
    // The picture sits centred in black bands.
    const Box shown = Bounds(picture, 60, 255, {0, 0, 319, 239});
    EXPECT_NEAR(shown.Width(), shape.shownWidth, 4);
    EXPECT_NEAR(shown.Height(), shape.shownHeight, 4);
    EXPECT_NEAR(shown.left, (320 - shape.shownWidth) / 2, 4);
    EXPECT_NEAR(shown.top, (240 - shape.shownHeight) / 2, 4);
    const Box circle = Bounds(picture, 200, 255, shown);
    EXPECT_NEAR(static_cast<double>(circle.Width()) / circle.Height(), 1.0, 0.06)
        << circle.Width() << "x" << circle.Height();
    // The stored top-left corner shows top-left, or top-right once turned clockwise.
    const int corner = std::min(shown.Width(), shown.Height()) / 16;
    const int markX = shape.turned ? shown.right - corner : shown.left + corner;
    EXPECT_NEAR(picture.Y(markX, shown.top + corner), kMark, 20);
    EXPECT_NEAR(picture.Y(shape.turned ? shown.left + corner : shown.right - corner, shown.top + corner), kGrey, 20);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, PictureShapeTest,
    testing::Values(ShapeCase{"wide", 320, 180, {1, 1}, false, 320, 180},
                    ShapeCase{"anamorphic", 352, 288, {16, 11}, false, 320, 180},
                    ShapeCase{"sideways", 320, 176, {1, 1}, true, 132, 240}),
    [](const testing::TestParamInfo<ShapeCase>& info) { return info.param.name; });

TEST(PictureTurn, DisplayMatricesGiveQuarterTurnsAndMirrors) {
    // Rotations as containers store them, and a mirrored one (negative determinant).
    const int32_t one = 1 << 16;
    const int32_t clockwise[9] = {0, one, 0, -one, 0, 0, 0, 0, 1 << 30};
    const int32_t half[9] = {-one, 0, 0, 0, -one, 0, 0, 0, 1 << 30};
    const int32_t mirrored[9] = {-one, 0, 0, 0, one, 0, 0, 0, 1 << 30};
    const int32_t singular[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1 << 30};
    auto axes = [](const TPictureTurn& t) { return std::vector<int>{t.xx, t.xy, t.yx, t.yy}; };
    EXPECT_EQ(axes(PictureTurnOfMatrix(clockwise)), (std::vector<int>{0, 1, -1, 0}));
    EXPECT_EQ(axes(PictureTurnOfMatrix(half)), (std::vector<int>{-1, 0, 0, -1}));
    EXPECT_EQ(axes(PictureTurnOfMatrix(mirrored)), (std::vector<int>{-1, 0, 0, 1}));
    EXPECT_TRUE(PictureTurnOfMatrix(singular).Identity());
}

}  // namespace
