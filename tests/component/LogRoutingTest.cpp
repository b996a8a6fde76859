// Library log lines: filtered by level, prefixed with the object that wrote
// them, joined into whole lines per thread and attributed to the task that
// runs on the writing thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <set>

#include "../../cli/EventLoop.h"
#include "AVUtilHlpr.h"
#include "ComponentTestSupport.h"
#include "LogRouting.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/version.h>
}

namespace {

const char* TesterName(void*) { return "tester"; }

struct LoggingObject {
    const AVClass* av_class;
};

struct Line {
    int32_t index;
    TLogLevel level;
    std::string text;
    bool operator==(const Line&) const = default;
};

class LogRoutingTest : public testing::Test {
protected:
    void SetUp() override {
        BindComponentTestLibraries();
        ListenerList::ClearLogLines();
        testerClass.class_name = "Tester";
        testerClass.item_name = &TesterName;
        testerClass.version = LIBAVUTIL_VERSION_INT;
        object.av_class = &testerClass;
        component.SetLogLevel(llInfo);
        component.SetOnLog([this](int32_t index, TLogLevel level, const std::string& text) {
            std::lock_guard guard(mutex);
            lines.push_back({index, level, text});
        });
    }
    void TearDown() override {
        component.SetOnLog(nullptr);
        component.SetLogLevel(llInfo);
        ListenerList::ClearLogLines();
    }

    std::vector<Line> Lines() {
        std::lock_guard guard(mutex);
        return lines;
    }
    std::string Prefix() const {
        char text[64];
        std::snprintf(text, sizeof text, "[tester @ %08" PRIXPTR "] ", reinterpret_cast<uintptr_t>(&testerClass));
        return text;
    }

    AVClass testerClass{};
    LoggingObject object{};
    TVexmoConverter component;
    std::mutex mutex;
    std::vector<Line> lines;
};

TEST_F(LogRoutingTest, PiecesJoinIntoOneLineWithTheFirstPiecesPrefix) {
    ff::av_log(&object, AV_LOG_INFO, "first half, ");
    EXPECT_TRUE(Lines().empty());
    ff::av_log(&object, AV_LOG_INFO, "second half %d\n", 2);
    EXPECT_EQ(Lines(), (std::vector<Line>{{-1, llInfo, Prefix() + "first half, second half 2"}}));
}

TEST_F(LogRoutingTest, TwoLineBreaksGiveTwoLinesAndKeepTheRest) {
    ff::av_log(&object, AV_LOG_ERROR, "one\ntwo\nthree");
    EXPECT_EQ(Lines(), (std::vector<Line>{{-1, llError, Prefix() + "one"}, {-1, llError, "two"}}));
    ff::av_log(nullptr, AV_LOG_ERROR, " and more\n");
    EXPECT_EQ(Lines().back(), (Line{-1, llError, "three and more"}));
}

TEST_F(LogRoutingTest, TheProbesNoticeComesWithoutPrefix) {
    TAVFileInfo info{};
    component.Probe().GetInfo(info);
    EXPECT_EQ(Lines(), (std::vector<Line>{{-1, llInfo, "file not loaded."}}));
}

TEST_F(LogRoutingTest, LevelsAreFilteredByTheComponentsLevel) {
    ff::av_log(nullptr, AV_LOG_WARNING, "warning\n");
    ff::av_log(nullptr, AV_LOG_VERBOSE, "verbose\n");
    ff::av_log(nullptr, AV_LOG_FATAL, "fatal\n");
    EXPECT_EQ(Lines(), (std::vector<Line>{{-1, llInfo, "warning"}, {-1, llError, "fatal"}}));
    component.SetLogLevel(llQuiet);
    ff::av_log(nullptr, AV_LOG_PANIC, "panic\n");
    EXPECT_EQ(Lines().size(), 2u);
    component.SetLogLevel(llInfo);
    // The muxer's warning of an ".mp4" name is for the debug level.
    ff::av_log(nullptr, AV_LOG_WARNING, "Warning, extension is not .m4a nor .m4v Quicktime/Ipod might not play the file\n");
    EXPECT_EQ(Lines().size(), 2u);
    component.SetLogLevel(llDebug);
    ff::av_log(nullptr, AV_LOG_DEBUG, "debug\n");
    ff::av_log(nullptr, AV_LOG_TRACE, "trace\n");
    EXPECT_EQ(Lines().back(), (Line{-1, llDebug, "debug"}));
}

TEST_F(LogRoutingTest, PiecesOfSeveralThreadsJoinPerThread) {
    std::mutex gate;
    std::unique_lock hold(gate);
    auto writer = [&](const char* piece, const char* rest) {
        std::lock_guard wait(gate);
        ff::av_log(nullptr, AV_LOG_INFO, "%s", piece);
        ff::av_log(nullptr, AV_LOG_INFO, "%s", rest);
    };
    // Each thread writes half a line first; the halves must not mix.
    std::thread first(writer, "thread one ", "line\n");
    std::thread second(writer, "thread two ", "line\n");
    ff::av_log(nullptr, AV_LOG_INFO, "main ");
    hold.unlock();
    first.join();
    second.join();
    ff::av_log(nullptr, AV_LOG_INFO, "thread\n");
    std::vector<Line> seen = Lines();
    std::sort(seen.begin(), seen.end(), [](const Line& a, const Line& b) { return a.text < b.text; });
    EXPECT_EQ(seen, (std::vector<Line>{{-1, llInfo, "main thread"},
                                       {-1, llInfo, "thread one line"},
                                       {-1, llInfo, "thread two line"}}));
}

// The system hands an ended thread's id to a later thread, and tasks without
// threads of their own all run on the client's: a line must name the task
// that runs while it is written, and no other.
class TaskLogLinesTest : public LogRoutingTest, public testing::WithParamInterface<int32_t> {};

TEST_P(TaskLogLinesTest, LinesOfTasksRunOneAfterAnotherNameTheirOwnTask) {
    constexpr int kTasks = 5;
    for (int i = 0; i < kTasks; ++i)
        ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi",
                               (ScratchFolder() / ("out" + std::to_string(i) + ".mp4")).string(), false, 200),
                  i);
    EventRecorder recorder;
    recorder.Attach(component);
    TEventLoop loop;
    component.SetDelayedCallHost(&loop);
    component.StartConvert(GetParam());
    ASSERT_TRUE(recorder.WaitForEnd(std::chrono::seconds(60), [&] { loop.RunOnce(std::chrono::milliseconds(10)); }));
    component.ClearTasks();
    std::vector<int32_t> indexes;
    for (const Line& line : Lines())
        if (line.index >= 0) indexes.push_back(line.index);
    // Every task wrote its lines (the output's description among them) while
    // it ran, and the tasks ran in list order.
    EXPECT_TRUE(std::is_sorted(indexes.begin(), indexes.end())) << testing::PrintToString(indexes);
    EXPECT_EQ(std::set<int32_t>(indexes.begin(), indexes.end()), (std::set<int32_t>{0, 1, 2, 3, 4}));
}

INSTANTIATE_TEST_SUITE_P(OneWorkerOrNone, TaskLogLinesTest, testing::Values(1, 0));

// A task refused at its start cleans up, which logs through the libraries:
// that must never happen while the component's lock is held, or a task
// logging meanwhile (library lock first, then the component's) deadlocks.
TEST_F(LogRoutingTest, ARefusedTaskNeverLogsUnderTheComponentsLock) {
    component.SetLogLevel(llDebug);
    const std::string output = (ScratchFolder() / "out.mp4").string();
    ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi", output, false, 100), 0);
    ASSERT_EQ(component.AddInputFile(ClipPath("avi_mpeg4_mp3.avi")), 1);  // no output
    std::mutex gate;
    std::condition_variable changed;
    bool ending = false, logging = false;
    EventRecorder recorder;
    // Task 0's end starts task 1 on task 0's thread, under the component's
    // lock; meanwhile this thread stands in a library log call.
    recorder.onTerminate = [&](const TerminateRecord& record) {
        if (record.index != 0) return;
        std::unique_lock guard(gate);
        ending = true;
        changed.notify_all();
        changed.wait_for(guard, std::chrono::seconds(5), [&] { return logging; });
    };
    recorder.Attach(component);
    component.StartConvert(1);
    {
        std::unique_lock guard(gate);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(30), [&] { return ending; }));
    }
    std::unique_lock libraryLog(ListenerList::Lock());
    {
        std::lock_guard guard(gate);
        logging = true;
        changed.notify_all();
    }
    auto count = std::async(std::launch::async, [&] { return component.TaskCount(); });
    EXPECT_EQ(count.wait_for(std::chrono::seconds(2)), std::future_status::ready)
        << "the component's lock waits for the library log's";
    libraryLog.unlock();
    EXPECT_EQ(count.get(), 2u);
    ASSERT_TRUE(recorder.WaitForEnd(std::chrono::seconds(10)));
    EXPECT_EQ(recorder.Terminations()[1].message, "Must supply at least one output file");
    // The refused task's clean-up did log through the libraries.
    bool cleanUpLogged = false;
    for (const Line& line : Lines()) cleanUpLogged |= line.index == 1 && line.level == llDebug;
    EXPECT_TRUE(cleanUpLogged);
}

TEST_F(LogRoutingTest, AnOverlongLineIsCutAtTheBufferAndLaterLinesStillArrive) {
    const std::string longText(3000, 'x');
    ff::av_log(nullptr, AV_LOG_INFO, "%s\n", longText.c_str());
    ff::av_log(nullptr, AV_LOG_INFO, "next\n");
    const std::vector<Line> seen = Lines();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, std::string(kLogLineBufferSize - 1, 'x'));
    EXPECT_EQ(seen[1].text, "next");
}

TEST(LogLevelMapping, EngineLevelsToComponentLevels) {
    EXPECT_EQ(LogLevelOfEngineLevel(-5), llQuiet);
    EXPECT_EQ(LogLevelOfEngineLevel(0), llError);
    EXPECT_EQ(LogLevelOfEngineLevel(1), llInfo);
    EXPECT_EQ(LogLevelOfEngineLevel(2), llDebug);
    EXPECT_EQ(LogLevelOfEngineLevel(7), llAll);
    EXPECT_EQ(EngineLevelOf(llQuiet), -1);
    EXPECT_EQ(EngineLevelOf(llAll), 3);
}

}  // namespace
