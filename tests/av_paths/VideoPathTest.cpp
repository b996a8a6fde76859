// The video path's rules on real pictures: crop bands cut off, pad bands
// filled with the pad colour, pictures repeated or left out to hold the
// frame rate, a filter graph, and the deinterlacer.

#include <gtest/gtest.h>

#include <vector>

#include "AVUtilHlpr.h"
#include "ConvertedPictures.h"
#include "Deinterlace.h"
#include "TestMedia.h"
#include "ExpectEngineError.h"
#include "TranscodeTask.h"

namespace {

TEST(VideoGeometry, CropTakesTheLowerHalfAndPadBandsCarryThePadColour) {
    const std::vector<Picture> source = DecodePictures(TestMediaPath("video_only.avi"));
    TranscodeTask task;
    // Black in RGB is Y 16, Cb 128, Cr 128; grey 0x808080 (8421504) is about Y 126.
    const std::vector<Picture> out = ConvertToRaw(
        task, {{"croptop", "72"}, {"padtop", "8"}, {"padbottom", "8"}, {"padleft", "16"}, {"padcolor", "8421504"}},
        TestMediaPath("video_only.avi"));
    ASSERT_EQ(out.size(), source.size());
    const Picture& in = source[3];
    const Picture& picture = out[3];
    ASSERT_EQ(picture.width, 176 + 16);
    ASSERT_EQ(picture.height, 72 + 16);
    const int padY = picture.Y(0, 0);
    EXPECT_NEAR(padY, 126, 3);
    for (int x = 0; x < picture.width; x += 7) {
        EXPECT_EQ(picture.Y(x, 0), padY);
        EXPECT_EQ(picture.Y(x, 7), padY);
        EXPECT_EQ(picture.Y(x, 80), padY);
        EXPECT_EQ(picture.Y(x, 87), padY);
        EXPECT_EQ(picture.U(x / 2, 0), 128);
    }
    for (int row = 8; row < 80; row += 5) {
        EXPECT_EQ(picture.Y(0, row), padY);
        EXPECT_EQ(picture.Y(15, row), padY);
        for (int x = 0; x < 176; x += 11) EXPECT_EQ(picture.Y(16 + x, row), in.Y(x, 72 + row - 8)) << x << "," << row;
    }
}

TEST(VideoGeometry, ScalingFillsTheAreaInsideThePads) {
    TranscodeTask task;
    const std::vector<Picture> out =
        ConvertToRaw(task, {{"s", "88x72"}, {"padtop", "4"}, {"padbottom", "4"}}, TestMediaPath("video_only.avi"));
    ASSERT_FALSE(out.empty());
    ASSERT_EQ(out[12].width, 88);
    ASSERT_EQ(out[12].height, 80);
    // Frame 12 is one of the white frames: white everywhere but in the bands.
    EXPECT_EQ(out[12].Y(40, 0), 16);
    EXPECT_EQ(out[12].Y(40, 79), 16);
    EXPECT_GT(out[12].Y(40, 40), 200);
    EXPECT_GT(out[12].Y(0, 4), 200);
}

TEST(VideoGeometry, AFilterGraphWorksOnThePictures) {
    const std::vector<Picture> source = DecodePictures(TestMediaPath("video_only.avi"));
    TranscodeTask task;
    const std::vector<Picture> out = ConvertToRaw(task, {{"vfilters", "hflip"}}, TestMediaPath("video_only.avi"));
    ASSERT_EQ(out.size(), source.size());
    for (int row = 0; row < 144; row += 13)
        for (int x = 0; x < 176; x += 17) EXPECT_EQ(out[5].Y(x, row), source[5].Y(175 - x, row));
}

TEST(VideoGeometry, PadsWithAResizingFilterAreRefused) {
    TranscodeTask task;
    EXPECT_ENGINE_ERROR(task.SetUp(TestMediaPath("video_only.avi"),
                                   {{"vcodec", "mpeg4"}, {"padtop", "8"}, {"vfilters", "scale=100:100"}},
                                   (ScratchFolder() / "refused.mp4").string()),
                        "Cannot enable pad options and the filters which resize frame at the same time. "
                        "(crop, rotate, scale, transpose, etc.)");
}

// 24 pictures a second into 30 repeat one in four; into 12 leave one in two out.
TEST(FrameRateSync, RepeatsPicturesForAFasterOutputRate) {
    TranscodeTask task;
    task.engine.SetVerbose(3);
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"), {{"vcodec", "mpeg4"}, {"r", "30"}},
                           (ScratchFolder() / "faster.mp4").string()));
    task.Run();
    EXPECT_NEAR(task.engine.frames_duplicated, 12, 2);
    EXPECT_EQ(task.engine.frames_dropped, 0);
    EXPECT_TRUE(task.Logged("*** 1 dup!"));
}

TEST(FrameRateSync, LeavesPicturesOutForASlowerOutputRate) {
    TranscodeTask task;
    task.engine.SetVerbose(3);
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"), {{"vcodec", "mpeg4"}, {"r", "12"}},
                           (ScratchFolder() / "slower.mp4").string()));
    task.Run();
    EXPECT_NEAR(task.engine.frames_dropped, 24, 2);
    EXPECT_EQ(task.engine.frames_duplicated, 0);
    EXPECT_TRUE(task.Logged("*** drop!"));
}

TEST(FrameRateSync, VsyncZeroNeitherRepeatsNorDrops) {
    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"), {{"vcodec", "mpeg4"}, {"r", "12"}, {"vsync", "0"}},
                           (ScratchFolder() / "vsync0.mp4").string()));
    task.Run();
    EXPECT_EQ(task.engine.frames_dropped, 0);
    EXPECT_EQ(task.engine.frames_duplicated, 0);
}

TEST(Deinterlacer, RebuildsTheSecondFieldFromItsNeighbours) {
    BindTestLibraries();
    auto makeFrame = [] {
        AVFrame* frame = ff::av_frame_alloc();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = 16;
        frame->height = 8;
        ff::av_frame_get_buffer(frame, 0);
        return frame;
    };
    AVFrame* combed = makeFrame();
    AVFrame* result = makeFrame();
    // A bright first field and a dark second one: the combing of motion.
    for (int row = 0; row < 8; ++row)
        for (int x = 0; x < 16; ++x) combed->data[0][row * combed->linesize[0] + x] = row % 2 == 0 ? 200 : 40;
    for (int plane = 1; plane < 3; ++plane)
        for (int row = 0; row < 4; ++row)
            for (int x = 0; x < 8; ++x) combed->data[plane][row * combed->linesize[plane] + x] = 128;
    ASSERT_TRUE(DeinterlacePicture(result, combed));
    for (int row = 0; row < 8; ++row) {
        const int value = result->data[0][row * result->linesize[0] + 5];
        if (row % 2 == 0)
            EXPECT_EQ(value, 200);
        else
            EXPECT_EQ(value, (-40 + 4 * 200 + 2 * 40 + 4 * 200 - 40 + 4) / 8) << row;
    }
    result->format = AV_PIX_FMT_RGB24;
    EXPECT_FALSE(DeinterlacePicture(result, combed)) << "pictures must match";
    ff::av_frame_free(&combed);
    ff::av_frame_free(&result);
}

TEST(Deinterlacer, ConversionWithDeinterlacingKeepsEveryPicture) {
    TranscodeTask task;
    const std::vector<Picture> out = ConvertToRaw(task, {{"deinterlace", ""}}, TestMediaPath("video_only.avi"));
    EXPECT_EQ(out.size(), 48u);
}

}  // namespace
