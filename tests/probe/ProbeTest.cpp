#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "TestFiles.h"
#include "ClipCases.h"
#include "TestMedia.h"

namespace fs = std::filesystem;

// Names the clip in test output instead of dumping its bytes.
namespace {

struct LogLine {
    void* context;
    int level;
    std::string text;
};
std::vector<LogLine> g_logLines;

void CaptureLogLine(void* context, int level, const char* format, va_list arguments) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    g_logLines.push_back({context, level, text});
}

// Collects the libraries' log lines while it lives, then puts the default
// handler back.
class LogCapture {
public:
    LogCapture() {
        g_logLines.clear();
        ff::av_log_set_callback(CaptureLogLine);
    }
    ~LogCapture() { ff::av_log_set_callback(ff::av_log_default_callback); }
    const std::vector<LogLine>& Lines() const { return g_logLines; }
};

void ExpectEmpty(const TAVProbe& probe) {
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(probe.ProgramCount(), -1);
    EXPECT_EQ(probe.AudioStreamCount(), -1);
    EXPECT_EQ(probe.VideoStreamCount(), -1);
    EXPECT_EQ(probe.SubtitleStreamCount(), -1);
    EXPECT_EQ(probe.FirstAudioStream(), -1);
    EXPECT_EQ(probe.FirstVideoStream(), -1);
    EXPECT_EQ(probe.FirstSubtitleStream(), -1);
}

void ExpectCountsOf(const TestClip& clip, const TAVProbe& probe) {
    EXPECT_EQ(probe.StreamCount(), static_cast<int>(clip.streams.size()));
    EXPECT_EQ(probe.ProgramCount(), 0);
    EXPECT_EQ(probe.VideoStreamCount(), clip.CountOf(TestStreamKind::Video));
    EXPECT_EQ(probe.AudioStreamCount(), clip.CountOf(TestStreamKind::Audio));
    EXPECT_EQ(probe.SubtitleStreamCount(), clip.CountOf(TestStreamKind::Subtitle));
    EXPECT_EQ(probe.FirstVideoStream(), clip.FirstOf(TestStreamKind::Video));
    EXPECT_EQ(probe.FirstAudioStream(), clip.FirstOf(TestStreamKind::Audio));
    EXPECT_EQ(probe.FirstSubtitleStream(), clip.FirstOf(TestStreamKind::Subtitle));
}

class ProbeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BindTestLibraries(); }

    // A file of the content in the scratch folder; its path.
    static std::string WriteScratchFile(const std::string& name, const std::string& content) {
        WriteFile(ScratchFolder() / name, content);
        return ScratchFile(name);
    }
};

class ProbeClipTest : public ProbeTest, public ::testing::WithParamInterface<TestClip> {};

TEST_P(ProbeClipTest, ReportsWhatTheClipWasMadeWith) {
    const TestClip& clip = GetParam();
    TAVProbe probe;
    ASSERT_TRUE(probe.Open(TestMediaPath(clip.fileName), "")) << probe.ErrorMessage();
    ExpectCountsOf(clip, probe);
    EXPECT_EQ(probe.FormatName(), "");

    TAVFileInfo info;
    probe.GetInfo(info);
    if (clip.containerKnowsDuration) {
        EXPECT_GE(info.Duration, clip.MinContainerDurationUs());
        EXPECT_LE(info.Duration, clip.MaxContainerDurationUs());
    } else {
        EXPECT_EQ(info.Duration, AV_NOPTS_VALUE);
    }
    EXPECT_STREQ(info.Title, clip.Tag("title").c_str());
    EXPECT_STREQ(info.Author, clip.Tag("artist").c_str());
    EXPECT_STREQ(info.Copyright, clip.Tag("copyright").c_str());
    EXPECT_STREQ(info.Comment, clip.Tag("comment").c_str());
    EXPECT_STREQ(info.Album, clip.Tag("album").c_str());
    EXPECT_STREQ(info.Genre, clip.Tag("genre").c_str());
    EXPECT_EQ(info.Year, std::atoi(clip.Tag("date").c_str()));
    EXPECT_EQ(info.Track, std::atoi(clip.Tag("track").c_str()));

    probe.Close();
    ExpectEmpty(probe);
}

INSTANTIATE_TEST_SUITE_P(EveryClip, ProbeClipTest, ::testing::ValuesIn(TestClips().begin(), TestClips().end()),
                         ClipCaseName);

TEST_F(ProbeTest, ForcedFormatIsKeptAsFormatName) {
    TAVProbe probe;
    ASSERT_TRUE(probe.Open(TestMediaPath("vcd_mpeg1_mp2.dat"), "mpeg")) << probe.ErrorMessage();
    EXPECT_EQ(probe.FormatName(), "mpeg");
    ExpectCountsOf(FindTestClip("vcd_mpeg1_mp2.dat"), probe);
    probe.Close();
    EXPECT_EQ(probe.FormatName(), "");
}

TEST_F(ProbeTest, UnknownForcedFormatFailsBeforeTheFileIsOpened) {
    TAVProbe probe;
    // The file does not exist: opening it would give the no-such-file text.
    EXPECT_FALSE(probe.Open(ScratchFile("absent.avi"), "no_such_format"));
    EXPECT_EQ(probe.ErrorMessage(), "Unknown input format: no_such_format");
    ExpectEmpty(probe);
}

TEST_F(ProbeTest, OpenFailuresGiveTheOpenErrorTexts) {
    // Random bytes that no demuxer takes for its own, the same on every run.
    std::mt19937 generator(2009);
    std::string noise(4096, '\0');
    for (char& byte : noise) byte = static_cast<char>(generator() & 0xff);
    const std::string missing = ScratchFile("missing.avi");
    const std::string empty = WriteScratchFile("empty.avi", "");
    const std::string random = WriteScratchFile("random.bin", noise);

    TAVProbe probe;
    EXPECT_FALSE(probe.Open(missing, ""));
    EXPECT_EQ(probe.ErrorMessage(), missing + ": no such file or directory");
    EXPECT_FALSE(probe.Open(empty, ""));
    EXPECT_EQ(probe.ErrorMessage(), empty + ": Unknown format");
    EXPECT_FALSE(probe.Open(random, ""));
    EXPECT_EQ(probe.ErrorMessage(), random + ": Unknown format");
}

TEST_F(ProbeTest, FailedOpenLeavesNothingProbed) {
    TAVProbe probe;
    ASSERT_TRUE(probe.Open(TestMediaPath(kSampleClipName), ""));
    EXPECT_FALSE(probe.Open(ScratchFile("missing.avi"), ""));
    ExpectEmpty(probe);

    TAVFileInfo info;
    std::memset(&info, 'x', sizeof info);
    {
        LogCapture capture;
        probe.GetInfo(info);
        ASSERT_EQ(capture.Lines().size(), 1u);
        EXPECT_EQ(capture.Lines()[0].text, "file not loaded.\n");
        EXPECT_EQ(capture.Lines()[0].level, AV_LOG_INFO);
        EXPECT_EQ(capture.Lines()[0].context, nullptr);
    }
    EXPECT_EQ(info.StartTime, -1);
    EXPECT_EQ(info.Duration, -1);
    EXPECT_EQ(info.BitRate, -1);
    EXPECT_EQ(info.Timestamp, -1);
    EXPECT_EQ(info.Year, -1);
    EXPECT_EQ(info.Track, -1);
    for (const char* text : {info.Title, info.Author, info.Copyright, info.Comment, info.Album})
        EXPECT_EQ(std::string(text, 512), std::string(512, '\0'));
    EXPECT_EQ(std::string(info.Genre, 32), std::string(32, '\0'));
}

TEST_F(ProbeTest, ErrorMessageSurvivesALaterSuccess) {
    TAVProbe probe;
    const std::string missing = ScratchFile("missing.avi");
    EXPECT_FALSE(probe.Open(missing, ""));
    ASSERT_TRUE(probe.Open(TestMediaPath(kSampleClipName), ""));
    EXPECT_EQ(probe.ErrorMessage(), missing + ": no such file or directory");
}

TEST_F(ProbeTest, AttachedContextIsDescribedAndLeftOpen) {
    const TestClip& clip = FindTestClip("audio_then_two_videos.mkv");
    AVFormatContext* context = nullptr;
    ASSERT_EQ(ff::avformat_open_input(&context, TestMediaPath(clip.fileName).c_str(), nullptr, nullptr), 0);
    ASSERT_GE(ff::avformat_find_stream_info(context, nullptr), 0);
    {
        TAVProbe probe;
        probe.Attach(context);
        EXPECT_EQ(probe.StreamCount(), 3);
        EXPECT_EQ(probe.AudioStreamCount(), 1);
        EXPECT_EQ(probe.VideoStreamCount(), 2);
        EXPECT_EQ(probe.SubtitleStreamCount(), 0);
        EXPECT_EQ(probe.FirstAudioStream(), 0);
        EXPECT_EQ(probe.FirstVideoStream(), 1);
        EXPECT_EQ(probe.FirstSubtitleStream(), -1);
        EXPECT_EQ(probe.FormatName(), "");
        probe.Close();
        ExpectEmpty(probe);
        probe.Attach(context);  // the probe's end must not close it either
    }
    // Still open: its packets can be read, and closing it is the opener's job.
    AVPacket* packet = ff::av_packet_alloc();
    EXPECT_EQ(ff::av_read_frame(context, packet), 0);
    ff::av_packet_free(&packet);
    ff::avformat_close_input(&context);
}

TEST_F(ProbeTest, UnboundLibrariesAreRefused) {
    UnbindLibraries();
    TAVProbe probe;
    try {
        probe.Open(TestMediaPath(kSampleClipName), "");
        ADD_FAILURE() << "Open went ahead without libraries";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "LibAVCodec not loaded.");
    }
    EXPECT_THROW(probe.Attach(nullptr), std::runtime_error);
    ExpectEmpty(probe);
    BindTestLibraries();
    EXPECT_TRUE(probe.Open(TestMediaPath(kSampleClipName), ""));
}

TEST(FormatOpenErrorTextTest, EachCodeHasItsPattern) {
    const std::string name = "clip.avi";
    EXPECT_EQ(FormatOpenErrorText(name, AVERROR(ENOENT)), "clip.avi: no such file or directory");
    EXPECT_EQ(FormatOpenErrorText(name, AVERROR(EIO)),
              "clip.avi: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted.");
    EXPECT_EQ(FormatOpenErrorText(name, AVERROR(ENOMEM)), "clip.avi: memory allocation error occurred");
    EXPECT_EQ(FormatOpenErrorText(name, AVERROR(EINVAL)), "clip.avi: Error while parsing header");
    EXPECT_EQ(FormatOpenErrorText(name, AVERROR(EDOM)),
              "clip.avi: Incorrect image filename syntax.\r\n"
              "Use '%d' to specify the image number:\r\n"
              "  for img1.jpg, img2.jpg, ..., use 'img%d.jpg';\r\n"
              "  for img001.jpg, img002.jpg, ..., use 'img%03d.jpg'.");
    for (int code : {AVERROR(EILSEQ), AVERROR_INVALIDDATA, AVERROR_DEMUXER_NOT_FOUND})
        EXPECT_EQ(FormatOpenErrorText(name, code), "clip.avi: Unknown format") << code;
    for (int code : {-1, AVERROR_EOF, 0})
        EXPECT_EQ(FormatOpenErrorText(name, code), "clip.avi: Error while opening file") << code;
    // Reasons a person can act on are named.
    EXPECT_EQ(FormatOpenErrorText(name, AVERROR(EACCES)), "clip.avi: Error while opening file: Permission denied");
    EXPECT_EQ(FormatOpenErrorText(name, AVERROR(EMFILE)), "clip.avi: Error while opening file: Too many open files");
}

// Names that look like library protocols are files like any other, and a
// FIFO is refused instead of blocking the open for ever.
TEST_F(ProbeTest, NamesAreLocalFilesAndOnlyRegularFilesAreOpened) {
    const fs::path previous = fs::current_path();
    fs::current_path(ScratchFolder());
    for (const char* name : {"pipe:0.avi", "file:x.avi"}) {
        fs::copy_file(TestMediaPath(kSampleClipName), name);
        TAVProbe probe;
        EXPECT_TRUE(probe.Open(name, "")) << name << ": " << probe.ErrorMessage();
        EXPECT_GT(probe.StreamCount(), 0) << name;
    }
    TAVProbe probe;
    EXPECT_FALSE(probe.Open("x.avi", ""));  // not what "file:x.avi" names
    ASSERT_EQ(mkfifo("fifo.avi", 0600), 0);
    EXPECT_FALSE(probe.Open("fifo.avi", ""));
    EXPECT_EQ(probe.ErrorMessage(), "fifo.avi: Error while opening file: not a regular file");
    fs::current_path(previous);
}

TEST(FormatOpenErrorTextTest, FileNameIsNeverAPattern) {
    EXPECT_EQ(FormatOpenErrorText("100%s %n %d.avi", -1), "100%s %n %d.avi: Error while opening file");
    EXPECT_EQ(FormatOpenErrorText("", AVERROR(ENOENT)), ": no such file or directory");
}

TEST_F(ProbeTest, MissingFileWithPercentSignsIsNamedAsItIs) {
    const std::string missing = ScratchFile("%s%n%d.avi");
    TAVProbe probe;
    EXPECT_FALSE(probe.Open(missing, ""));
    EXPECT_EQ(probe.ErrorMessage(), missing + ": no such file or directory");
}

}  // namespace
