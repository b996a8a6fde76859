// Decoding on several threads changes how fast a conversion runs, never what
// it writes: the same options give the same file as decoding on one thread.

#include <gtest/gtest.h>

#include <filesystem>

#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

struct Case {
    const char* clip;
    TOptionList options;
};

std::string Convert(const Case& c, int decoderThreads, const std::string& name) {
    TranscodeTask task;
    const std::filesystem::path output = ScratchFolder() / name;
    task.engine.decoder_threads = decoderThreads;
    EXPECT_NO_THROW(task.SetUp(TestMediaPath(c.clip), c.options, output.string()));
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);
    return ReadFile(output);
}

class ThreadedDecoding : public testing::TestWithParam<Case> {};

TEST_P(ThreadedDecoding, WritesTheSameFileAsOneThread) {
    const std::string single = Convert(GetParam(), 1, "single.mp4");
    const std::string threaded = Convert(GetParam(), 4, "threaded.mp4");
    ASSERT_FALSE(single.empty());
    EXPECT_TRUE(single == threaded) << "sizes " << single.size() << " and " << threaded.size();
}

const TOptionList kIpod = {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"s", "320x240"}, {"r", "30000/1001"},
                           {"b", "512000"},     {"ab", "80000"}};

INSTANTIATE_TEST_SUITE_P(
    EveryPictureKeptInPlace, ThreadedDecoding,
    testing::Values(Case{"mov_mpeg4_aac.mov", kIpod},     // frame threads
                    Case{"mpeg_ps_mpeg2_mp2.mpg", kIpod},  // slice threads, reordered pictures
                    Case{"avi_mpeg4_mp3.avi", {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"t", "1"}}},
                    Case{"avi_mpeg4_mp3.avi", {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"vframes", "30"}}}));

}  // namespace
