// Running a conversion's stages on threads of their own changes how fast it
// runs, never what it writes: the same options give the same files as one
// thread does, whatever the clip, the limits and the number of outputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <optional>
#include <thread>
#include <vector>

#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FrameTap.h"
#include "MediaAnalysis.h"
#include "PosterPicture.h"
#include "SourceFilm.h"
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
    // The hook draws into pictures and the volume changes sound in place;
    // the run's own poster tap is there in both runs. x264 with its default
    // settings does not write the same file twice on a busy machine, so the
    // pictures are coded as MPEG-4.
    const Case hooked{"hooked",
                      "avi_mpeg4_mp3.avi",
                      {{"vcodec", "mpeg4"}, {"s", "160x120"}, {"vol", "512"}, {"poster", "96"}},
                      false,
                      true};
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

// Bars with a square moving across them for the whole film: every picture
// differs from the next, and none is blank.
std::filesystem::path MovingBars() {
    const std::filesystem::path film = ScratchFolder() / "bars.mkv";
    WriteSourceFilm(SourceFilm{.width = 768,
                               .height = 144,
                               .bars = {CodedColour{0.3, 0.2, -0.1}, CodedColour{0.7, -0.2, 0.2}},
                               .durationUs = 2000000,
                               .movingSquare = 24},
                    film.string());
    return film;
}

// The cover picture an MP4 file carries; empty without one.
std::vector<uint8_t> CoverPicture(const std::filesystem::path& file) {
    AVFormatContext* context = nullptr;
    if (ff::avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0) return {};
    std::vector<uint8_t> cover;
    for (unsigned i = 0; i < context->nb_streams; ++i)
        if (const AVStream* stream = context->streams[i]; stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
            cover.assign(stream->attached_pic.data, stream->attached_pic.data + stream->attached_pic.size);
    ff::avformat_close_input(&context);
    return cover;
}

// The outputs' poster is taken from the pictures the run decodes anyway and
// is the one a look at the input itself takes; a copied video, which the run
// does not decode, gets it from the input.
struct PosterCase {
    const char* name;
    bool movingBars;  // else a clip of the test media
    TOptionList options;
    int decoderThreads;
};
class PosterTaps : public testing::TestWithParam<PosterCase> {};

TEST_P(PosterTaps, TakeThePictureALookAtTheInputTakes) {
    TranscodeTask task;  // binds the libraries
    const std::string input = GetParam().movingBars ? MovingBars().string() : TestMediaPath("mov_mpeg4_aac.mov");
    const std::filesystem::path output = ScratchFolder() / "poster.mp4";
    task.engine.decoder_threads = GetParam().decoderThreads;
    ASSERT_NO_THROW(task.SetUp(input, With(GetParam().options, "poster", "160"), output.string()));
    task.Run();
    const std::optional<TPosterPicture> expected = GrabPosterPicture(input, 160);
    ASSERT_TRUE(expected);
    EXPECT_EQ(CoverPicture(output), EncodePosterJpeg(*expected));
}

INSTANTIATE_TEST_SUITE_P(ThreadedStages, PosterTaps,
                         testing::Values(PosterCase{"OneThread", true, {{"vcodec", "mpeg4"}}, 1},
                                         PosterCase{"DecodedOnAThread", true, {{"vcodec", "mpeg4"}}, 4},
                                         PosterCase{"CopiedVideo", false, {{"vcodec", "copy"}, {"acodec", "aac"}}, 4}),
                         [](const testing::TestParamInfo<PosterCase>& info) { return std::string(info.param.name); });

// A contact sheet: pictures at even times across the film, in a grid of
// `columns` x `rows`, written as one JPEG when the run ends. A stage of its
// own that needs nothing of the engine: one class, and the one line that
// adds it to the task.
struct Sheet {
    std::vector<TPosterPicture> cells;  // in the grid's order
    bool written = false;
};

class ContactSheetTap : public FrameTap {
public:
    ContactSheetTap(int64_t durationUs, int columns, int rows, int cellWidth, std::filesystem::path file, Sheet& sheet)
        : durationUs_(durationUs), columns_(columns), rows_(rows), cellWidth_(cellWidth), file_(std::move(file)),
          sheet_(sheet) {}
    bool Wants(const AVStream& stream) const override {
        if (source_ || stream.codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return false;
        source_ = &stream;
        return true;
    }

protected:
    void Receive(int, const AVFrame& frame) override {
        const int places = columns_ * rows_;
        const int next = static_cast<int>(sheet_.cells.size());
        if (next == places || frame.best_effort_timestamp == AV_NOPTS_VALUE) return;
        const int64_t atUs = ff::av_rescale_q(frame.best_effort_timestamp, source_->time_base, AVRational{1, 1000000});
        if (atUs < durationUs_ * (2 * next + 1) / (2 * places)) return;
        if (std::optional<TPosterPicture> cell = PosterPictureOf(frame, *source_, cellWidth_))
            sheet_.cells.push_back(std::move(*cell));
    }
    void Finish() override {
        if (sheet_.cells.empty()) return;
        const int width = sheet_.cells[0].Width, height = sheet_.cells[0].Height;
        TPosterPicture grid{width * columns_, height * rows_, {}};
        grid.Rgb.resize(static_cast<size_t>(grid.Width) * grid.Height * 3);
        for (size_t n = 0; n < sheet_.cells.size(); ++n)
            for (int y = 0; y < height; ++y) {
                const int top = static_cast<int>(n) / columns_ * height, left = static_cast<int>(n) % columns_ * width;
                std::memcpy(&grid.Rgb[(static_cast<size_t>(top + y) * grid.Width + left) * 3],
                            &sheet_.cells[n].Rgb[static_cast<size_t>(y) * width * 3], static_cast<size_t>(width) * 3);
            }
        const std::vector<uint8_t> jpeg = EncodePosterJpeg(grid);
        WriteFile(file_, std::string(jpeg.begin(), jpeg.end()));
        sheet_.written = !jpeg.empty();
    }

private:
    int64_t durationUs_;
    int columns_, rows_, cellWidth_;
    std::filesystem::path file_;
    Sheet& sheet_;
    mutable const AVStream* source_ = nullptr;
};

TEST(ThreadedStagesContactSheet, HoldsPicturesFromEvenTimesAndIsWrittenBesideTheOutput) {
    TranscodeTask task;  // binds the libraries
    const std::filesystem::path input = MovingBars();
    const std::filesystem::path output = ScratchFolder() / "film.mp4";
    const std::filesystem::path sheetFile = ScratchFolder() / "film.jpg";
    Sheet sheet;
    task.engine.AddFrameTap(std::make_unique<ContactSheetTap>(2000000, 3, 2, 64, sheetFile, sheet));
    ASSERT_NO_THROW(task.SetUp(input.string(), {{"vcodec", "mpeg4"}}, output.string()));
    task.Run();
    ASSERT_EQ(sheet.cells.size(), 6u);
    // The square has moved on between any two of them.
    for (size_t a = 0; a < sheet.cells.size(); ++a)
        for (size_t b = a + 1; b < sheet.cells.size(); ++b)
            EXPECT_TRUE(sheet.cells[a].Rgb != sheet.cells[b].Rgb) << "cells " << a << " and " << b;
    EXPECT_TRUE(sheet.written);
    EXPECT_EQ(ReadFile(sheetFile).substr(0, 2), "\xFF\xD8");
}

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
