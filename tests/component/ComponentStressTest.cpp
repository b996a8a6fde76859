// Many short tasks on two workers while the client stops, clears, removes
// and changes settings at moments of its own choosing: the component must
// neither hang nor lose the end of a run. Run under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <random>

#include "ComponentTestSupport.h"

namespace {

TEST(ComponentStressTest, ClientCallsAtAnyMomentNeverHangOrLoseTheRunsEnd) {
    BindComponentTestLibraries();
    EventRecorder recorder;
    TVexmoConverter component;
    recorder.Attach(component);
    component.SetOnLog([](int32_t, TLogLevel, const std::string&) {});
    std::mt19937 random(20261208);  // the same moments every time
    auto pick = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(random); };

    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int tasks = pick(2, 4);
        for (int i = 0; i < tasks; ++i) {
            const std::string output =
                (ScratchFolder() / ("out" + std::to_string(round) + "_" + std::to_string(i) + ".mp4")).string();
            ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi", output, false, 120), i)
                << component.LastErrorMessage();
        }
        component.StartConvert(2);
        bool cleared = false;
        for (int call = pick(1, 3); call > 0 && !cleared; --call) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pick(0, 40)));
            switch (pick(0, 4)) {
                case 0: component.StopConvert(); break;
                case 1:
                    if (const size_t count = component.TaskCount(); count > 0)
                        component.RemoveTask(pick(0, static_cast<int>(count) - 1));
                    break;
                case 2: component.SetLogLevel(pick(0, 1) ? llDebug : llInfo); break;
                case 3: component.SetProgressInterval(pick(50, 300)); break;
                default:
                    component.ClearTasks();
                    cleared = true;
            }
        }
        if (!cleared) {
            ASSERT_TRUE(recorder.WaitForEnd(std::chrono::seconds(60)));
            int finals = 0;
            for (const TerminateRecord& end : recorder.Terminations()) finals += end.index == -1 ? 1 : 0;
            EXPECT_EQ(finals, 1);
        }
        component.ClearTasks();
        recorder.Forget();
    }
    component.SetLogLevel(llInfo);
    TThreadCount::Process().WaitUntilNone();
}

}  // namespace
