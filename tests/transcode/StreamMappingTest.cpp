// Which input stream feeds which output stream, and the set-up checks and
// messages that come before any packet is read.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "AVProbe.h"
#include "MediaAnalysis.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

const TOptionList kCopy = {{"vcodec", "copy"}, {"acodec", "copy"}};

bool HasLine(const TranscodeTask& task, const std::string& line) {
    return std::find(task.log.begin(), task.log.end(), line) != task.log.end();
}

// Runs a copy of avi_mpeg4_mp3.avi (video 0, audio 1) with extra output
// options and returns the raised message, empty when the run succeeded.
std::string RunCopy(TranscodeTask& task, const TOptionList& extra, const std::string& clip = "avi_mpeg4_mp3.avi") {
    TOptionList options = kCopy;
    options.insert(options.end(), extra.begin(), extra.end());
    const std::string output = (ScratchFolder() / "out.mkv").string();
    EXPECT_NO_THROW(task.SetUp(TestMediaPath(clip), options, output));
    return task.RunError();
}

TEST(StreamMapping, AutomaticMappingTakesEachKindOnce) {
    TranscodeTask task;
    EXPECT_EQ(RunCopy(task, {}), "");
    EXPECT_TRUE(HasLine(task, "Stream mapping:"));
    EXPECT_TRUE(HasLine(task, "  Stream #0.0 -> #0.0"));
    EXPECT_TRUE(HasLine(task, "  Stream #0.1 -> #0.1"));
}

TEST(StreamMapping, ASecondOutputStreamOfAKindReusesTheLastInputStream) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mkv").string();
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), kCopy, output));
    task.engine.SetOption("acodec", "copy");
    task.engine.SetOption("newaudio", "");
    task.Run();
    EXPECT_TRUE(HasLine(task, "  Stream #0.1 -> #0.1"));
    EXPECT_TRUE(HasLine(task, "  Stream #0.1 -> #0.2"));
    const MediaAnalysis result = AnalyseMedia(output);
    ASSERT_EQ(result.streams.size(), 3u);
    EXPECT_GT(result.streams[1].packetCount, 0);
    EXPECT_EQ(result.streams[1].packetCount, result.streams[2].packetCount);
}

TEST(StreamMapping, MapsChooseTheSourceAndTheSyncStream) {
    // audio_then_two_videos.mkv: audio 0, videos 1 and 2.
    TranscodeTask task;
    EXPECT_EQ(RunCopy(task, {{"map", "0:2"}, {"map", "0:0:0:1"}}, "audio_then_two_videos.mkv"), "");
    EXPECT_TRUE(HasLine(task, "  Stream #0.2 -> #0.0"));
    EXPECT_TRUE(HasLine(task, "  Stream #0.0 -> #0.1"));
    EXPECT_TRUE(HasLine(task, " [sync #0.1]"));
}

TEST(StreamMapping, WrongMapsAreRefusedBeforeAnyCodecOpens) {
    struct Case {
        TOptionList maps;
        std::string message;
    };
    const Case cases[] = {
        {{{"map", "0:0"}}, "Number of stream maps must match number of output streams"},
        {{{"map", "0:0"}, {"map", "0:5"}}, "Could not find input stream #0.5"},
        {{{"map", "0:0"}, {"map", "1:1"}}, "Could not find input stream #1.1"},
        {{{"map", "0:0"}, {"map", "0:1:0:7"}}, "Could not find sync stream #0.7"},
        {{{"map", "0:1"}, {"map", "0:0"}}, "Codec type mismatch for mapping #0.1 -> #0.0"},
    };
    for (const Case& c : cases) {
        TranscodeTask task;
        EXPECT_EQ(RunCopy(task, c.maps), c.message);
    }
}

TEST(StreamMapping, CopiedStreamsRefuseWhatNeedsDecodedFrames) {
    {
        TranscodeTask task;
        EXPECT_EQ(RunCopy(task, {{"vol", "512"}}), "-acodec copy and -vol are incompatible (frames are not decoded)");
    }
    {
        TranscodeTask task;
        EXPECT_EQ(RunCopy(task, {{"vol", "256"}}), "");
    }
    {
        TranscodeTask task;
        task.engine.vhook_active = 1;
        EXPECT_EQ(RunCopy(task, {}), "-vcodec copy and -vhook are incompatible (frames are not decoded)");
    }
    {
        TranscodeTask task;
        task.engine.custom_hook_active = true;
        EXPECT_EQ(RunCopy(task, {}), "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    }
}

TEST(StreamMapping, AnInputWithoutAMatchingStreamIsNamed) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mkv").string();
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("video_only.avi"), kCopy, output));
    // The output gets an audio stream although the input has none.
    task.engine.SetOption("acodec", "copy");
    task.engine.SetOption("newaudio", "");
    EXPECT_EQ(task.RunError(), "Could not find input stream matching output stream #0.1");
}

std::string OutputTitle() {
    TAVProbe probe;
    EXPECT_TRUE(probe.Open((ScratchFolder() / "out.mkv").string(), "")) << probe.ErrorMessage();
    TAVFileInfo info;
    probe.GetInfo(info);
    return info.Title;
}

TEST(StreamMapping, MetadataMapsCopyTheInputsTags) {
    {
        TranscodeTask task;
        EXPECT_EQ(RunCopy(task, {}, "audio_only.mp3"), "");
        EXPECT_EQ(OutputTitle(), "");
    }
    {
        TranscodeTask task;
        EXPECT_EQ(RunCopy(task, {{"map_meta_data", "0:0"}}, "audio_only.mp3"), "");
        EXPECT_EQ(OutputTitle(), "Tovrela test clip");
    }
}

TEST(StreamMapping, MetadataMapsWithWrongIndexesAreRefused) {
    {
        TranscodeTask task;
        EXPECT_EQ(RunCopy(task, {{"map_meta_data", "1:0"}}), "Invalid output file index 1 map_meta_data(1,0)");
    }
    {
        TranscodeTask task;
        EXPECT_EQ(RunCopy(task, {{"map_meta_data", "0:3"}}), "Invalid input file index 3 map_meta_data(0,3)");
    }
}

TEST(StreamMapping, AHeaderTheMuxerRefusesNamesTheOutputFile) {
    TranscodeTask task;
    EXPECT_EQ(RunCopy(task, {}, "rm_rv10_ac3.rm"),
              "Could not write header for output file #0 (incorrect codec parameters ?)");
}

// The video buffer sizes that the system headers of an MPEG program stream
// declare, in bytes.
std::vector<int> DeclaredVideoBuffers(const std::string& path) {
    const std::string data = ReadFile(path);
    const std::string systemHeader("\x00\x00\x01\xbb", 4);
    std::vector<int> sizes;
    for (size_t at = data.find(systemHeader); at != std::string::npos; at = data.find(systemHeader, at + 4)) {
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(data.at(i)); };
        const size_t end = at + 6 + (byte(at + 4) << 8 | byte(at + 5));
        for (size_t entry = at + 12; entry + 3 <= end; entry += 3) {
            if (byte(entry) != 0xe0) continue;
            const int unit = byte(entry + 1) & 0x20 ? 1024 : 128;
            sizes.push_back(((byte(entry + 1) & 0x1f) << 8 | byte(entry + 2)) * unit);
        }
    }
    return sizes;
}

// Without the encoder's buffer size the multiplexer declared 230 KB.
TEST(StreamMapping, AVcdDeclaresTheVideoBufferOfItsPreset) {
    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.mpg").string();
    ASSERT_NO_THROW(task.SetUp(TestMediaPath("avi_mpeg4_mp3.avi"), {{"target", "pal-vcd"}, {"t", "0.5"}}, output));
    task.Run();
    const std::vector<int> sizes = DeclaredVideoBuffers(output);
    ASSERT_FALSE(sizes.empty());
    for (int size : sizes) EXPECT_EQ(size, 46 * 1024);
}

}  // namespace
