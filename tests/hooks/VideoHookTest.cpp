// The hook steps of the video path: which pictures reach the frame hooks,
// and what the custom hook does to the encoded pictures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "HookTestSupport.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

constexpr int kClipPictures = 48;  // two seconds at 24 pictures per second
const char kClip[] = "avi_mpeg4_mp3.avi";

// The pictures the recorder processed, by their time.
std::vector<int64_t> ProcessedTimes(const std::string& label) {
    std::vector<int64_t> times;
    for (const std::string& line : JournalLines(RecorderModule(), "process#" + label + " "))
        times.push_back(std::stoll(line.substr(line.find(' ') + 1)));
    return times;
}

struct BeforeHookScript {
    std::function<void(size_t call, THookAction& action)> decide;
    std::vector<int64_t> times;
};

void CallBeforeHook(void* user_data, TCustomFFmpeg*, THookAction& action, int64_t pts) {
    auto* script = static_cast<BeforeHookScript*>(user_data);
    script->times.push_back(pts);
    script->decide(script->times.size(), action);
}

struct CustomHookScript {
    std::function<void(THookBitmap& bitmap, bool& update, bool& stop)> body;
    std::vector<int32_t> frameNumbers;
};

void CallCustomHook(void* user_data, TCustomFFmpeg*, THookBitmap& bitmap, int32_t frameNumber, int64_t,
                    bool& update, bool& stop) {
    auto* script = static_cast<CustomHookScript*>(user_data);
    script->frameNumbers.push_back(frameNumber);
    script->body(bitmap, update, stop);
}

void PaintRed(THookBitmap& bitmap) {
    for (int row = 0; row < bitmap.Height(); ++row)
        for (int x = 0; x < bitmap.Width(); ++x) {
            uint8_t* pixel = bitmap.ScanLine(row) + 3 * x;
            pixel[0] = 0, pixel[1] = 0, pixel[2] = 255;  // blue, green, red
        }
}

class VideoHookTest : public ::testing::Test {
protected:
    void SetUp() override { ClearJournal(RecorderModule()); }
    // MPEG-4 video only; `extra` adds output options (a "vhook" among them).
    void Prepare(TOptionList extra = {}) {
        TOptionList options = {{"vcodec", "mpeg4"}, {"an", ""}};
        options.insert(options.end(), extra.begin(), extra.end());
        ASSERT_NO_THROW(task.SetUp(TestMediaPath(kClip), options, output));
    }

    TranscodeTask task;
    const std::string output = (ScratchFolder() / "out.avi").string();
};

TEST_F(VideoHookTest, EveryPictureGoesThroughTheChainWithItsTime) {
    Prepare({{"vhook", RecorderModule() + " all"}});
    task.Run();
    const std::vector<int64_t> times = ProcessedTimes("all");
    ASSERT_EQ(times.size(), static_cast<size_t>(kClipPictures));
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_NEAR(static_cast<double>(times[24]), 1000000.0, 1000.0);
}

TEST_F(VideoHookTest, IgnoreSkipsOnePictureAndStopSkipsTheRest) {
    Prepare({{"vhook", RecorderModule() + " chosen"}});
    THookAction seenAfterIgnore = haContinue;
    BeforeHookScript script;
    script.decide = [&](size_t call, THookAction& action) {
        if (call == 6) seenAfterIgnore = action;  // the previous answer comes back
        action = call == 5 ? haIgnore : call == 20 ? haStop : haContinue;
    };
    task.engine.SetBeforeHook(&CallBeforeHook, &script);
    task.Run();

    ASSERT_EQ(script.times.size(), 20u) << "the before-hook was asked after haStop";
    EXPECT_EQ(seenAfterIgnore, haIgnore);
    std::vector<int64_t> expected = script.times;
    expected.pop_back();                         // stopped
    expected.erase(expected.begin() + 4);        // ignored
    EXPECT_EQ(ProcessedTimes("chosen"), expected);
    EXPECT_EQ(task.engine.vhook_active, 0);
    EXPECT_EQ(DecodedPlaneMeans(output).pictures, kClipPictures) << "skipped pictures must still be encoded";
}

TEST_F(VideoHookTest, BeforeHookThatRaisesStopsTheHooksButNotTheTask) {
    Prepare({{"vhook", RecorderModule() + " raised"}});
    BeforeHookScript script;
    script.decide = [](size_t call, THookAction&) {
        if (call == 3) throw std::runtime_error("no picture wanted");
    };
    task.engine.SetBeforeHook(&CallBeforeHook, &script);
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);
    EXPECT_TRUE(task.Logged("Error occurs OnBeforeHook: no picture wanted"));
    EXPECT_EQ(script.times.size(), 3u);
    EXPECT_EQ(ProcessedTimes("raised").size(), 2u);
}

TEST_F(VideoHookTest, TimeRangesChooseThePicturesInsideThem) {
    Prepare({{"vhook", RecorderModule() + " all"}});
    task.Run();
    const std::vector<int64_t> all = ProcessedTimes("all");
    ClearJournal(RecorderModule());

    TranscodeTask ranged;
    ASSERT_NO_THROW(ranged.SetUp(TestMediaPath(kClip), {{"vcodec", "mpeg4"}, {"an", ""}, {"vhook", RecorderModule() + " ranged"}},
                             (ScratchFolder() / "ranged.avi").string()));
    // Given out of order: the engine orders them by their end.
    ranged.engine.SetHookTimeRanges({{1000000, 1200000}, {250000, 500000}});
    ranged.Run();

    std::vector<int64_t> expected;
    for (int64_t time : all)
        if ((time >= 250000 && time <= 500000) || (time >= 1000000 && time <= 1200000)) expected.push_back(time);
    ASSERT_GT(expected.size(), 6u);
    EXPECT_EQ(ProcessedTimes("ranged"), expected);
    EXPECT_EQ(ranged.engine.vhook_active, 0) << "pictures after the last range end the hooks";
}

TEST_F(VideoHookTest, CustomHookThatPaintsChangesTheEncodedPictures) {
    Prepare();
    const PlaneMeans plain = [&] {
        TranscodeTask unhooked;
        const std::string path = (ScratchFolder() / "plain.avi").string();
        EXPECT_NO_THROW(unhooked.SetUp(TestMediaPath(kClip), {{"vcodec", "mpeg4"}, {"an", ""}}, path));
        unhooked.Run();
        return DecodedPlaneMeans(path);
    }();
    int width = 0, height = 0;
    CustomHookScript script;
    script.body = [&](THookBitmap& bitmap, bool&, bool&) {
        width = bitmap.Width(), height = bitmap.Height();
        PaintRed(bitmap);
    };
    task.engine.SetCustomHook(&CallCustomHook, &script);
    task.Run();

    EXPECT_EQ(width, 176);
    EXPECT_EQ(height, 144);
    ASSERT_EQ(script.frameNumbers.size(), static_cast<size_t>(kClipPictures));
    EXPECT_EQ(script.frameNumbers.front(), 1);
    EXPECT_EQ(script.frameNumbers.back(), kClipPictures);
    const PlaneMeans painted = DecodedPlaneMeans(output);
    EXPECT_EQ(painted.pictures, kClipPictures);
    EXPECT_GT(painted.v, 220.0) << "red pictures have a high V plane";
    EXPECT_LT(plain.v, 160.0);
}

TEST_F(VideoHookTest, CustomHookThatRaisesOnlyLosesItsChange) {
    Prepare();
    CustomHookScript script;
    script.body = [](THookBitmap& bitmap, bool&, bool&) {
        PaintRed(bitmap);
        throw std::runtime_error("brush broke");
    };
    task.engine.SetCustomHook(&CallCustomHook, &script);
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);
    EXPECT_TRUE(task.Logged("Error occurs OnCustomHook: brush broke"));
    EXPECT_EQ(script.frameNumbers.size(), static_cast<size_t>(kClipPictures)) << "a raise must not detach the hook";
    EXPECT_LT(DecodedPlaneMeans(output).v, 160.0) << "the painted bitmap was copied back";
}

TEST_F(VideoHookTest, CustomHookThatStopsReceivesNoMorePictures) {
    Prepare();
    CustomHookScript script;
    script.body = [&](THookBitmap& bitmap, bool&, bool& stop) {
        PaintRed(bitmap);
        stop = script.frameNumbers.size() == 3;
    };
    task.engine.SetCustomHook(&CallCustomHook, &script);
    task.Run();
    EXPECT_THAT(script.frameNumbers, ::testing::ElementsAre(1, 2, 3));
    const PlaneMeans means = DecodedPlaneMeans(output);
    EXPECT_EQ(means.pictures, kClipPictures);
    EXPECT_LT(means.v, 160.0) << "only three of the pictures are red";
}

TEST_F(VideoHookTest, HooksNeedDecodedPictures) {
    Prepare({{"vcodec", "copy"}, {"vhook", RecorderModule() + " copied"}});
    EXPECT_EQ(task.RunError(), "-vcodec copy and -vhook are incompatible (frames are not decoded)");
    EXPECT_TRUE(ProcessedTimes("copied").empty());

    TranscodeTask custom;
    ASSERT_NO_THROW(custom.SetUp(TestMediaPath(kClip), {{"vcodec", "copy"}, {"an", ""}},
                             (ScratchFolder() / "custom.avi").string()));
    CustomHookScript script;
    script.body = [](THookBitmap&, bool&, bool&) {};
    custom.engine.SetCustomHook(&CallCustomHook, &script);
    EXPECT_EQ(custom.RunError(), "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    EXPECT_TRUE(script.frameNumbers.empty());
}

TEST_F(VideoHookTest, ExampleModulesDrawAndCount) {
    const std::string countFile = (ScratchFolder() / "count.txt").string();
    Prepare({{"vhook", DrawBoxModule() + " -x 0 -y 0 -w 176 -h 144 -t 0 -c red"},
             {"vhook", FrameCountModule() + " -o " + countFile}});
    task.Run();
    task.engine.CleanUp();  // the count is written when the hook is released
    std::ifstream count(countFile);
    std::string text;
    std::getline(count, text);
    EXPECT_EQ(text, std::to_string(kClipPictures));
    EXPECT_GT(DecodedPlaneMeans(output).v, 220.0);
}

}  // namespace
