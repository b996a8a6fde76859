// Running a conversion's stages on threads of their own changes how fast it
// runs, never what it writes: the same options give the same files as one
// thread does, whatever the clip, the limits and the number of outputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include "FrameTap.h"
#include "MediaAnalysis.h"
#include "StageQueue.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

struct Case {
    const char* name;
    const char* clip;
    TOptionList options;
    bool twoOutputs = false;
    bool hooked = false;  // a custom hook marks each picture with its number
};

// A bar as long as the picture's number, so that a picture hooked out of
// turn, or a picture the hook never saw, changes the file.
void MarkPictureNumber(void*, TCustomFFmpeg*, THookBitmap& bitmap, int32_t frameNumber, int64_t, bool&, bool&) {
    const int length = std::min(bitmap.Width(), 4 * frameNumber);
    for (int row = 0; row < std::min(bitmap.Height(), 16); ++row)
        std::memset(bitmap.ScanLine(row), 255, static_cast<size_t>(3 * length));
}

// What a tap received; read once the run has joined it.
struct Tapped {
    int64_t pictures = 0;
    int64_t soundFrames = 0;
    bool finished = false;
    bool onItsOwnThread = true;
    int64_t firstBytes = 0;
};

// Counts the decoded frames of one kind it is given.
class CountingTap : public FrameTap {
public:
    CountingTap(AVMediaType kind, Tapped& tapped) : kind_(kind), tapped_(tapped) {}
    bool Wants(const AVStream& stream) const override { return stream.codecpar->codec_type == kind_; }

protected:
    void Receive(int, const AVFrame& frame) override {
        ++(frame.nb_samples > 0 ? tapped_.soundFrames : tapped_.pictures);
        // Reads the data, which the run must leave alone meanwhile (the hook
        // draws into its pictures), so that a sanitizer sees any race.
        const int bytes = frame.nb_samples > 0 ? frame.linesize[0] : frame.width;
        tapped_.firstBytes += std::accumulate(frame.data[0], frame.data[0] + bytes, int64_t{0});
        tapped_.onItsOwnThread = tapped_.onItsOwnThread && std::this_thread::get_id() != runThread_;
    }
    void Finish() override { tapped_.finished = true; }

private:
    AVMediaType kind_;
    Tapped& tapped_;
    std::thread::id runThread_ = std::this_thread::get_id();
};

// The bytes of every output, one after the other.
std::string Convert(const Case& c, int decoderThreads, const std::string& name, Tapped* tapped = nullptr,
                    AVMediaType tappedKind = AVMEDIA_TYPE_VIDEO) {
    TranscodeTask task;
    if (tapped) task.engine.AddFrameTap(std::make_unique<CountingTap>(tappedKind, *tapped));
    const std::filesystem::path first = ScratchFolder() / (name + ".mp4");
    const std::filesystem::path second = ScratchFolder() / (name + "-second.mp4");
    task.engine.decoder_threads = decoderThreads;
    if (c.hooked) task.engine.SetCustomHook(&MarkPictureNumber, nullptr);
    EXPECT_NO_THROW(task.SetUp(TestMediaPath(c.clip), c.options, first.string()));
    if (c.twoOutputs) {
        for (const auto& [option, value] : c.options) task.engine.SetOption(option, value);
        EXPECT_NO_THROW(task.engine.OpenOutputFile(second.string()));
    }
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);
    return ReadFile(first) + (c.twoOutputs ? ReadFile(second) : "");
}

class ThreadedStages : public testing::TestWithParam<Case> {};

// A stage that subscribes to decoded pictures or sound gets every one of the
// kind it wants, on its own thread, and the files stay the same.
struct TapCase {
    AVMediaType kind;
    int decoderThreads;
};
class FrameTaps : public testing::TestWithParam<TapCase> {};

TEST_P(FrameTaps, ReceiveEveryDecodedFrameAndChangeNothing) {
    // The hook draws into pictures and the volume changes sound in place.
    // x264 with its default settings does not write the same file twice on
    // a busy machine, so the pictures are coded as MPEG-4.
    const Case hooked{
        "hooked", "avi_mpeg4_mp3.avi", {{"vcodec", "mpeg4"}, {"s", "160x120"}, {"vol", "512"}}, false, true};
    Tapped tapped;
    const std::string plain = Convert(hooked, GetParam().decoderThreads, "plain");
    const std::string withTap = Convert(hooked, GetParam().decoderThreads, "tapped", &tapped, GetParam().kind);
    EXPECT_TRUE(plain == withTap) << "sizes " << plain.size() << " and " << withTap.size();
    const MediaAnalysis input = AnalyseMedia(TestMediaPath(hooked.clip));
    const StreamAnalysis* stream = input.First(GetParam().kind);
    ASSERT_NE(stream, nullptr);
    const bool video = GetParam().kind == AVMEDIA_TYPE_VIDEO;
    EXPECT_EQ(video ? tapped.pictures : tapped.soundFrames, stream->frameCount);
    EXPECT_EQ(video ? tapped.soundFrames : tapped.pictures, 0);
    EXPECT_TRUE(tapped.finished);
    EXPECT_TRUE(tapped.onItsOwnThread);
}

INSTANTIATE_TEST_SUITE_P(ThreadedStages, FrameTaps,
                         testing::Values(TapCase{AVMEDIA_TYPE_VIDEO, 1}, TapCase{AVMEDIA_TYPE_VIDEO, 4},
                                         TapCase{AVMEDIA_TYPE_AUDIO, 4}));

TEST_P(ThreadedStages, WriteTheSameFilesAsOneThread) {
    const std::string single = Convert(GetParam(), 1, "single");
    const std::string threaded = Convert(GetParam(), 4, "threaded");
    ASSERT_FALSE(single.empty());
    EXPECT_TRUE(single == threaded) << "sizes " << single.size() << " and " << threaded.size();
}

const TOptionList kIpod = {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"s", "320x240"}, {"r", "30000/1001"},
                           {"b", "512000"},     {"ab", "80000"}};
const TOptionList kMpeg4 = {{"vcodec", "mpeg4"}, {"acodec", "aac"}};

TOptionList With(TOptionList options, const char* name, const char* value) {
    options.emplace_back(name, value);
    return options;
}

INSTANTIATE_TEST_SUITE_P(
    EveryPictureKeptInPlace, ThreadedStages,
    testing::Values(Case{"FrameThreads", "mov_mpeg4_aac.mov", kIpod},
                    Case{"ReorderedPictures", "mpeg_ps_mpeg2_mp2.mpg", kIpod},
                    Case{"Length", "avi_mpeg4_mp3.avi", With(kMpeg4, "t", "1")},
                    Case{"FrameCount", "avi_mpeg4_mp3.avi", With(kMpeg4, "vframes", "30")},
                    Case{"SizeLimit", "avi_mpeg4_mp3.avi", With(kMpeg4, "fs", "20000")},
                    Case{"StartPoint", "mpeg_ps_mpeg2_mp2.mpg", With(kIpod, "ss", "0.7")},
                    Case{"StreamCopy", "mov_mpeg4_aac.mov", {{"vcodec", "copy"}, {"acodec", "aac"}}},
                    Case{"TwoOutputs", "avi_mpeg4_mp3.avi", kMpeg4, true},
                    Case{"CroppedAndFitted", "odd_size.avi",
                         With(With(kIpod, "keepshape", "1"), "cropleft", "16")},
                    Case{"H264Encoder", "mov_mpeg4_aac.mov",
                         {{"vcodec", "libx264"}, {"x264-params", "bframes=0:cabac=0"}, {"acodec", "aac"},
                          {"s", "320x240"}, {"b", "512000"}}},
                    Case{"Deinterlaced", "mpeg_ps_mpeg2_mp2.mpg", With(kIpod, "deinterlace", "")},
                    Case{"HookedFromAStartPoint", "avi_mpeg4_mp3.avi", With(kMpeg4, "ss", "0.5"), false, true}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A reader woken in batches and a writer woken for room still hand over every
// item once, in order; a Flush hands over less than a batch, a close ends both.
TEST(ThreadedStagesQueue, HandsOverEveryItemInOrderWhateverTheBatches) {
    StageQueue<int> queue(8, 4, 3);
    std::thread writer([&] {
        for (int i = 0; i < 1000; ++i) queue.Push(int{i}, 1 + i % 3);
        queue.Push(-1);
        queue.Flush();
    });
    std::vector<int> taken;
    for (int item = 0; queue.Pop(item) && item >= 0;) taken.push_back(item);
    writer.join();
    ASSERT_EQ(taken.size(), 1000u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(taken[static_cast<size_t>(i)], i);

    int item = 0;
    queue.Push(7);
    queue.Flush();
    ASSERT_TRUE(queue.Pop(item));
    EXPECT_EQ(item, 7);
    queue.Close();
    EXPECT_FALSE(queue.Pop(item));
    EXPECT_FALSE(queue.Push(8));
}

}  // namespace
