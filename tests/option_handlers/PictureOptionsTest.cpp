#include "EngineTest.h"
#include "RgbToYuv.h"
#include "TextConversion.h"

namespace {

using PictureOptionsTest = EngineTest;

constexpr char kVertical[] =
    "Vertical crop dimensions are outside the range of the original image.\n"
    "Remember to crop first and scale second.";
constexpr char kHorizontal[] =
    "Horizontal crop dimensions are outside the range of the original image.\n"
    "Remember to crop first and scale second.";

TEST_F(PictureOptionsTest, FrameSizeIsParsedAndMustBeEven) {
    engine.SetOption("s", "vga");
    EXPECT_EQ(engine.frame_width, 640);
    EXPECT_EQ(engine.frame_height, 480);
    engine.SetOption("s", "320x240");
    EXPECT_EQ(engine.frame_width, 320);

    // The odd size is kept; the error ends the set-up anyway.
    EXPECT_ENGINE_ERROR(engine.SetOption("s", "641x480"), "Frame size must be a multiple of 2");
    EXPECT_EQ(engine.frame_width, 641);
    EXPECT_EQ(engine.frame_height, 480);
    EXPECT_ENGINE_ERROR(engine.SetOption("s", "640x481"), "Frame size must be a multiple of 2");

    EXPECT_ENGINE_ERROR(engine.SetOption("s", "wide"), "Incorrect frame size");
    EXPECT_ENGINE_ERROR(engine.SetOption("s", "0x480"), "Incorrect frame size");
    // The picture's byte count would overflow further on.
    EXPECT_ENGINE_ERROR(engine.SetOption("s", "65536x65536"),
                        "Frame size 65536x65536 of option s is larger than pictures can be");
    EXPECT_EQ(engine.frame_width, 640);
}

TEST_F(PictureOptionsTest, FrameRateAcceptsRatiosAndAbbreviations) {
    engine.SetOption("r", "30000/1001");
    EXPECT_EQ(engine.frame_rate.num, 30000);
    EXPECT_EQ(engine.frame_rate.den, 1001);
    engine.SetOption("r", "pal");
    EXPECT_EQ(av_q2d(engine.frame_rate), 25.0);
    engine.SetOption("r", "12.5");
    EXPECT_EQ(av_q2d(engine.frame_rate), 12.5);

    EXPECT_ENGINE_ERROR(engine.SetOption("r", "fast"), "Incorrect frame rate");
    EXPECT_ENGINE_ERROR(engine.SetOption("r", "-25"), "Incorrect frame rate");
    EXPECT_ENGINE_ERROR(engine.SetOption("r", "25/0"), "Incorrect frame rate");
    // A thousandth of a frame a second turned two seconds into thirteen hours.
    for (const std::string rate : {"1/1000", "0.5", "1001"})
        EXPECT_ENGINE_ERROR(engine.SetOption("r", rate),
                            "Frame rate " + rate + " of option r must lie between 1 and 1000 per second");
    engine.SetOption("r", "1000");
    EXPECT_EQ(av_q2d(engine.frame_rate), 1000);
    engine.SetOption("r", "12.5");
    EXPECT_EQ(av_q2d(engine.frame_rate), 12.5);
}

TEST_F(PictureOptionsTest, AspectRatioFromRatioOrNumber) {
    engine.SetOption("aspect", "16:9");
    EXPECT_FLOAT_EQ(engine.frame_aspect_ratio, 16.0f / 9.0f);
    engine.SetOption("aspect", "1.5");
    EXPECT_FLOAT_EQ(engine.frame_aspect_ratio, 1.5f);
    engine.SetOption("aspect", "4:3");
    EXPECT_FLOAT_EQ(engine.frame_aspect_ratio, 4.0f / 3.0f);

    for (const char* bad : {"4:0", "abc", "4:-3", "x:3", "0", "-1.5", ":"})
        EXPECT_ENGINE_ERROR(engine.SetOption("aspect", bad), "Incorrect aspect ratio specification.");
    EXPECT_FLOAT_EQ(engine.frame_aspect_ratio, 4.0f / 3.0f);
}

TEST_F(PictureOptionsTest, QScaleMustLieInItsRange) {
    engine.SetOption("qscale", "255");
    EXPECT_EQ(engine.video_qscale, 255.0f);
    engine.SetOption("qscale", "0.5");
    EXPECT_EQ(engine.video_qscale, 0.5f);
    EXPECT_ENGINE_ERROR(engine.SetOption("qscale", "0"), "qscale must be > 0.0 and <= 255");
    EXPECT_ENGINE_ERROR(engine.SetOption("qscale", "256"), "qscale must be > 0.0 and <= 255");
    EXPECT_ENGINE_ERROR(engine.SetVideoQScale(-3), "qscale must be > 0.0 and <= 255");
    EXPECT_EQ(engine.video_qscale, 0.5f);
    EXPECT_THROW(engine.SetOption("qscale", "high"), ConversionError);
}

TEST_F(PictureOptionsTest, CropBandsComeOffThePictureSize) {
    engine.frame_width = 640;
    engine.frame_height = 480;
    engine.SetOption("croptop", "10");
    EXPECT_EQ(engine.frame_croptop, 10);
    EXPECT_EQ(engine.frame_height, 470);
    engine.SetOption("cropbottom", "20");
    EXPECT_EQ(engine.frame_cropbottom, 20);
    EXPECT_EQ(engine.frame_height, 450);
    engine.SetOption("cropleft", "32");
    engine.SetOption("cropright", "8");
    EXPECT_EQ(engine.frame_cropleft, 32);
    EXPECT_EQ(engine.frame_cropright, 8);
    EXPECT_EQ(engine.frame_width, 600);

    // Negative bands are ignored.
    engine.SetOption("croptop", "-2");
    engine.SetOption("cropright", "-8");
    EXPECT_EQ(engine.frame_croptop, 10);
    EXPECT_EQ(engine.frame_height, 450);
    EXPECT_EQ(engine.frame_width, 600);
}

TEST_F(PictureOptionsTest, CropBandsMustBeEvenAndLeaveAPicture) {
    engine.frame_width = 640;
    engine.frame_height = 480;
    EXPECT_ENGINE_ERROR(engine.SetOption("croptop", "3"), "Top crop size must be a multiple of 2");
    EXPECT_ENGINE_ERROR(engine.SetOption("cropbottom", "5"), "Bottom crop size must be a multiple of 2");
    EXPECT_ENGINE_ERROR(engine.SetOption("cropleft", "7"), "Left crop size must be a multiple of 2");
    EXPECT_ENGINE_ERROR(engine.SetOption("cropright", "9"), "Right crop size must be a multiple of 2");
    EXPECT_ENGINE_ERROR(engine.SetOption("croptop", "480"), kVertical);
    EXPECT_ENGINE_ERROR(engine.SetOption("cropbottom", "482"), kVertical);
    EXPECT_ENGINE_ERROR(engine.SetOption("cropleft", "640"), kHorizontal);
    EXPECT_ENGINE_ERROR(engine.SetOption("cropright", "1000"), kHorizontal);
    EXPECT_EQ(engine.frame_width, 640);
    EXPECT_EQ(engine.frame_height, 480);
    EXPECT_EQ(engine.frame_croptop + engine.frame_cropbottom + engine.frame_cropleft + engine.frame_cropright, 0);

    // The second band is checked against what the first one left.
    engine.SetOption("croptop", "240");
    EXPECT_ENGINE_ERROR(engine.SetOption("cropbottom", "240"), kVertical);
    engine.SetOption("cropbottom", "238");
    EXPECT_EQ(engine.frame_height, 2);
}

TEST_F(PictureOptionsTest, PadBandsMustBeEvenAndLeaveTheSizeAlone) {
    engine.frame_width = 320;
    engine.frame_height = 240;
    engine.SetOption("padtop", "16");
    engine.SetOption("padbottom", "8");
    engine.SetOption("padleft", "2");
    engine.SetOption("padright", "0");
    EXPECT_EQ(engine.frame_padtop, 16);
    EXPECT_EQ(engine.frame_padbottom, 8);
    EXPECT_EQ(engine.frame_padleft, 2);
    EXPECT_EQ(engine.frame_padright, 0);
    EXPECT_EQ(engine.frame_width, 320);
    EXPECT_EQ(engine.frame_height, 240);

    EXPECT_ENGINE_ERROR(engine.SetOption("padtop", "1"), "Top pad size must be a multiple of 2");
    EXPECT_ENGINE_ERROR(engine.SetOption("padbottom", "3"), "Bottom pad size must be a multiple of 2");
    EXPECT_ENGINE_ERROR(engine.SetOption("padleft", "5"), "Left pad size must be a multiple of 2");
    EXPECT_ENGINE_ERROR(engine.SetOption("padright", "7"), "Right pad size must be a multiple of 2");
    engine.SetOption("padtop", "-4");
    EXPECT_EQ(engine.frame_padtop, 16);
}

TEST(RgbToYuvTest, KnownColours) {
    const auto expect = [](int32_t rgb, int32_t y, int32_t u, int32_t v) {
        const TYuvColor color = RgbToYuv(rgb);
        EXPECT_EQ(color.y, y) << std::hex << rgb;
        EXPECT_EQ(color.u, u) << std::hex << rgb;
        EXPECT_EQ(color.v, v) << std::hex << rgb;
    };
    expect(0x000000, 0, 128, 128);    // black
    expect(0xFFFFFF, 255, 128, 128);  // white
    expect(0x0000FF, 76, 85, 255);    // red, in the low byte
    expect(0x00FF00, 150, 43, 21);    // green
    expect(0xFF0000, 29, 255, 107);   // blue, in the high byte
    expect(0x808080, 128, 128, 128);  // grey
    // Bits above the blue byte do not count.
    expect(0x7F0000FF, 76, 85, 255);
}

TEST_F(PictureOptionsTest, PadColourIsStoredAsYuv) {
    engine.SetOption("padcolor", "255");
    EXPECT_EQ(engine.padcolor_y, 76);
    EXPECT_EQ(engine.padcolor_u, 85);
    EXPECT_EQ(engine.padcolor_v, 255);
    engine.SetPadColor(0xFFFFFF);
    EXPECT_EQ(engine.padcolor_y, 255);
    EXPECT_EQ(engine.padcolor_u, 128);
    EXPECT_EQ(engine.padcolor_v, 128);
}

TEST_F(PictureOptionsTest, PixelAndSampleFormatsByName) {
    engine.SetOption("pix_fmt", "yuv420p");
    EXPECT_EQ(engine.frame_pix_fmt, AV_PIX_FMT_YUV420P);
    engine.SetOption("pix_fmt", "rgb24");
    EXPECT_EQ(engine.frame_pix_fmt, AV_PIX_FMT_RGB24);
    // An unknown name means "no format chosen".
    engine.SetOption("pix_fmt", "purple");
    EXPECT_EQ(engine.frame_pix_fmt, -1);

    engine.SetOption("sample_fmt", "s16");
    EXPECT_EQ(engine.audio_sample_fmt, AV_SAMPLE_FMT_S16);
    engine.SetOption("sample_fmt", "fltp");
    EXPECT_EQ(engine.audio_sample_fmt, AV_SAMPLE_FMT_FLTP);
    engine.SetOption("sample_fmt", "loud");
    EXPECT_EQ(engine.audio_sample_fmt, -1);
}

TEST_F(PictureOptionsTest, FormatListsAreLoggedAndChooseNothing) {
    engine.SetOption("pix_fmt", "yuv420p");
    engine.SetOption("pix_fmt", "list");
    EXPECT_EQ(engine.frame_pix_fmt, AV_PIX_FMT_YUV420P);
    ASSERT_GT(logged.size(), 41u);
    EXPECT_EQ(logged[0].rfind("name", 0), 0u) << logged[0];
    EXPECT_EQ(logged[1].rfind("yuv420p", 0), 0u) << logged[1];
    for (const std::string& line : logged) {
        ASSERT_FALSE(line.empty());
        EXPECT_NE(line.back(), ' ') << line;
    }

    logged.clear();
    engine.SetOption("sample_fmt", "list");
    EXPECT_EQ(engine.audio_sample_fmt, -1);
    ASSERT_EQ(logged.size(), 1u + AV_SAMPLE_FMT_NB);
    EXPECT_EQ(logged[0].rfind("name", 0), 0u) << logged[0];
    EXPECT_EQ(logged[1].rfind("u8", 0), 0u) << logged[1];
    EXPECT_EQ(logged[1 + AV_SAMPLE_FMT_FLTP].rfind("fltp", 0), 0u);
}

TEST_F(PictureOptionsTest, FieldOrderThresholdAndOverridesAreStored) {
    engine.SetOption("top", "0");
    EXPECT_EQ(engine.top_field_first, 0);
    engine.SetOption("me_threshold", "12");
    EXPECT_EQ(engine.me_threshold, 12);
    engine.SetOption("rc_override", "0,100,2/200,300,-5");
    engine.SetOption("rc_override", "10,20,3");
    EXPECT_STREQ(engine.rc_override.get(), "10,20,3");
}

}  // namespace
