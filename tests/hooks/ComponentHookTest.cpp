// The component's hook events and the hook choice of its output records.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "ComponentTestSupport.h"
#include "HookTestSupport.h"

namespace {

constexpr int kClipPictures = 48;
const char kClip[] = "avi_mpeg4_mp3.avi";

class ComponentHookTest : public ::testing::Test {
protected:
    void SetUp() override {
        BindComponentTestLibraries();
        ASSERT_TRUE(component.LoadLibraries("", true)) << component.LastErrorMessage();
        ClearJournal(RecorderModule());
        events.Attach(component);
    }
    // Adds a task whose output record carries the hook choice of `hooked`.
    void AddTask(const std::string& name, TOutputOptions hooked) {
        const int32_t index = component.AddInputFile(ClipPath(kClip));
        ASSERT_GE(index, 0) << component.LastErrorMessage();
        ASSERT_TRUE(component.AddOutputFile(index, (ScratchFolder() / name).string(), hooked))
            << component.LastErrorMessage();
    }
    void Run() {
        component.StartConvert(1);
        ASSERT_TRUE(events.WaitForEnd());
        for (const TerminateRecord& record : events.Terminations()) EXPECT_FALSE(record.exception) << record.message;
    }

    TVexmoConverter component;
    EventRecorder events;
};

TOutputOptions WithRecorder(const std::string& label) {
    TOutputOptions options = QuickOutputOptions();
    options.ExtraOptions = "vhook=" + RecorderModule() + " " + label;
    return options;
}

TEST_F(ComponentHookTest, BeforeHookEventDecidesForItsOwnTask) {
    std::mutex mutex;
    std::vector<int32_t> indexes;
    std::vector<int64_t> times;
    component.SetOnBeforeHook([&](int32_t index, int64_t pts, THookAction& action) {
        std::lock_guard<std::mutex> lock(mutex);
        indexes.push_back(index);
        times.push_back(pts);
        action = times.size() % 2 ? haIgnore : haContinue;
    });
    AddTask("plain.mp4", QuickOutputOptions());
    TOutputOptions hooked = WithRecorder("asked");
    hooked.UseBeforeHook = true;
    AddTask("hooked.mp4", hooked);
    Run();

    ASSERT_EQ(times.size(), static_cast<size_t>(kClipPictures));
    EXPECT_THAT(indexes, ::testing::Each(1));
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_EQ(JournalLines(RecorderModule(), "process#asked").size(), static_cast<size_t>(kClipPictures / 2));
}

TEST_F(ComponentHookTest, CustomHookEventGetsEveryPictureUntilItStops) {
    std::vector<int32_t> frameNumbers;
    int width = 0, height = 0;
    component.SetOnCustomHook([&](int32_t index, THookBitmap& bitmap, int32_t frameNumber, int64_t, bool& update,
                                  bool& stop) {
        EXPECT_EQ(index, 0);
        EXPECT_TRUE(update);
        EXPECT_FALSE(stop);
        width = bitmap.Width(), height = bitmap.Height();
        frameNumbers.push_back(frameNumber);
        stop = frameNumber == 10;
    });
    TOutputOptions hooked = QuickOutputOptions();
    hooked.UseCustomHook = true;
    AddTask("custom.mp4", hooked);
    Run();
    EXPECT_EQ(frameNumbers.size(), 10u);
    EXPECT_EQ(frameNumbers.back(), 10);
    EXPECT_EQ(width, 176);
    EXPECT_EQ(height, 144);
}

TEST_F(ComponentHookTest, TimeRangesOfTheRecordChooseThePictures) {
    TOutputOptions ranged = WithRecorder("ranged");
    ranged.HookTimeRanges = "1000-1200, 250-500";
    AddTask("ranged.mp4", ranged);
    Run();
    std::vector<std::string> lines = JournalLines(RecorderModule(), "process#ranged ");
    EXPECT_GE(lines.size(), 10u);
    for (const std::string& line : lines) {
        const int64_t time = std::stoll(line.substr(line.find(' ') + 1));
        EXPECT_TRUE((time >= 250000 && time <= 500000) || (time >= 1000000 && time <= 1200000)) << time;
    }
    EXPECT_THAT(JournalLines(RecorderModule(), "release"), ::testing::ElementsAre("release#ranged"));
}

}  // namespace
