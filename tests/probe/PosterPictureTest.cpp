#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MediaWriter.h"
#include "PosterPicture.h"
#include "TestMedia.h"
#include "TestPattern.h"

namespace fs = std::filesystem;

namespace {

// The frame number the test pattern wrote into the picture, -1 when unreadable.
int FrameNumberOf(const TPosterPicture& picture) {
    std::vector<uint8_t> luma(static_cast<size_t>(picture.Width) * picture.Height);
    for (size_t i = 0; i < luma.size(); ++i) {
        const uint8_t* rgb = &picture.Rgb[i * 3];
        luma[i] = static_cast<uint8_t>((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2]) >> 8);
    }
    return ReadFrameNumber(luma.data(), picture.Width, picture.Width, picture.Height);
}

std::vector<std::string> ClipsWithVideo() {
    std::vector<std::string> names;
    for (const TestClip& clip : TestClips())
        if (clip.HasVideo()) names.push_back(clip.fileName);
    return names;
}

class PosterPictureTest : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() { BindTestLibraries(); }
};

// A tenth of a two-second clip at 24 frames a second is frame 4.8 (4 where the
// container counts in frames); a clip whose container knows no duration gives
// its first picture.
TEST_P(PosterPictureTest, TakesThePictureATenthInAtItsShapeAndEncodesIt) {
    const TestClip& clip = FindTestClip(GetParam());
    const std::optional<TPosterPicture> picture = GrabPosterPicture(TestMediaPath(clip.fileName), 160);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width, std::min(160, clip.width));
    EXPECT_NEAR(picture->Height, picture->Width * clip.height / clip.width, 2);
    ASSERT_EQ(picture->Rgb.size(), static_cast<size_t>(picture->Width) * picture->Height * 3);
    const int frame = FrameNumberOf(*picture);
    if (clip.containerKnowsDuration) EXPECT_TRUE(frame == 4 || frame == 5) << frame;
    else EXPECT_EQ(frame, 0);

    const std::vector<uint8_t> jpeg = EncodePosterJpeg(*picture);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    const fs::path jpegPath = fs::path(::testing::TempDir()) / (clip.fileName + std::string(".jpg"));
    std::ofstream(jpegPath, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    const std::optional<TPosterPicture> again = GrabPosterPicture(jpegPath.string(), 1000);
    fs::remove(jpegPath);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Width, picture->Width);
    EXPECT_EQ(again->Height, picture->Height);
}

INSTANTIATE_TEST_SUITE_P(Clips, PosterPictureTest, ::testing::ValuesIn(ClipsWithVideo()),
                         [](const auto& info) { return fs::path(info.param).stem().string(); });

// A blank picture where the grab looks first is passed over for the next
// candidate; where every picture found after a seek is blank (as the grey a
// decoder gives when a seek lands past the last key picture it could use),
// the picture is decoded from the start.
struct BlankPictures {
    const char* name;
    std::vector<int64_t> whiteAtUs;
    int64_t expectedFrame;
};

class PosterPictureBlanks : public ::testing::TestWithParam<BlankPictures> {};

TEST_P(PosterPictureBlanks, AreNotTakenForThePoster) {
    BindTestLibraries();
    static constexpr TestStreamKind kVideo[] = {TestStreamKind::Video};
    TestClip clip;
    const std::string fileName = std::string(GetParam().name) + ".avi";
    clip.fileName = fileName.c_str();
    clip.muxer = "avi";
    clip.videoEncoder = "mpeg4";
    clip.durationUs = 5000000;
    clip.markTimesUs = GetParam().whiteAtUs;
    clip.streams = kVideo;
    const fs::path path = fs::path(::testing::TempDir()) / clip.fileName;
    WriteTestClip(clip, path.string());
    const std::optional<TPosterPicture> picture = GrabPosterPicture(path.string(), 320);
    fs::remove(path);
    ASSERT_TRUE(picture);
    EXPECT_EQ(FrameNumberOf(*picture), GetParam().expectedFrame);
}

INSTANTIATE_TEST_SUITE_P(
    PosterPicture, PosterPictureBlanks,
    ::testing::Values(BlankPictures{"WhiteAtATenth", {500000}, 24},  // the next candidate, a fifth in
                      BlankPictures{"WhiteAtEveryCandidate", {500000, 1000000, 1500000, 2000000, 2500000}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PosterPicture, FilesWithoutPicturesGiveNone) {
    BindTestLibraries();
    const fs::path text = fs::path(::testing::TempDir()) / "not_a_video.avi";
    std::ofstream(text) << "no video here\n";
    for (const std::string& path : {text.string(), TestMediaPath("audio_only.mp3"), std::string("/no/such/file.avi"),
                                    std::string("/dev/null"), ::testing::TempDir()})
        EXPECT_FALSE(GrabPosterPicture(path, 160)) << path;
    fs::remove(text);
    EXPECT_TRUE(EncodePosterJpeg(TPosterPicture{}).empty());
}

TEST(PosterPicture, SeveralThreadsAtOnceGetTheSamePicture) {
    BindTestLibraries();
    const std::string path = TestMediaPath("mov_mpeg4_aac.mov");
    const std::optional<TPosterPicture> alone = GrabPosterPicture(path, 160);
    ASSERT_TRUE(alone);
    std::vector<std::future<std::vector<uint8_t>>> jpegs;
    for (int i = 0; i < 4; ++i)
        jpegs.push_back(std::async(std::launch::async, [&] {
            const std::optional<TPosterPicture> picture = GrabPosterPicture(path, 160);
            return picture ? EncodePosterJpeg(*picture) : std::vector<uint8_t>{};
        }));
    const std::vector<uint8_t> expected = EncodePosterJpeg(*alone);
    for (auto& jpeg : jpegs) EXPECT_EQ(jpeg.get(), expected);
}

}  // namespace
