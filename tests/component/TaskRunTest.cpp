// Running tasks: the order and threads of the events for one, two or no
// threads, stopping, and dropping tasks while their workers still run.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "../../cli/EventLoop.h"
#include "AVProbe.h"
#include "ComponentTestSupport.h"

namespace {

class TaskRunTest : public testing::Test {
protected:
    void SetUp() override { BindComponentTestLibraries(); }

    // Three tasks over the same short clip, each into its own output.
    void AddThreeTasks(bool realTime = false) {
        for (int i = 0; i < 3; ++i) {
            outputs.push_back((ScratchFolder() / ("out" + std::to_string(i) + ".mp4")).string());
            ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi", outputs.back(), realTime), i)
                << component.LastErrorMessage();
        }
    }

    std::vector<int32_t> Indexes() {
        std::vector<int32_t> indexes;
        for (const TerminateRecord& record : recorder.Terminations()) indexes.push_back(record.index);
        return indexes;
    }

    // Declared first: the component, which waits for its threads, goes first.
    EventRecorder recorder;
    TVexmoConverter component;
    std::vector<std::string> outputs;
};

bool PlayableMp4(const std::string& path) {
    TAVProbe probe;
    return probe.Open(path, "") && probe.StreamCount() > 0;
}

TEST_F(TaskRunTest, OneAtATimeRunsEachTaskOnAFreshThreadInListOrder) {
    AddThreeTasks();
    recorder.Attach(component);
    component.StartConvert(1);
    ASSERT_TRUE(recorder.WaitForEnd());
    const std::vector<TerminateRecord> records = recorder.Terminations();
    ASSERT_EQ(Indexes(), (std::vector<int32_t>{0, 1, 2, -1}));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(records[i].finished);
        EXPECT_FALSE(records[i].exception);
        EXPECT_NE(records[i].thread, std::this_thread::get_id());
    }
    // The final notice comes from the last task's thread.
    EXPECT_EQ(records[3].thread, records[2].thread);
    EXPECT_TRUE(records[3].finished);
    for (const std::string& output : outputs) EXPECT_TRUE(PlayableMp4(output)) << output;
}

TEST_F(TaskRunTest, TwoAtATimeStartTheThirdWhenOneEnds) {
    AddThreeTasks();
    recorder.Attach(component);
    component.StartConvert(2);
    ASSERT_TRUE(recorder.WaitForEnd());
    std::vector<int32_t> indexes = Indexes();
    ASSERT_EQ(indexes.size(), 4u);
    EXPECT_EQ(indexes.back(), -1);
    // Task 2 can only end after one of the first two has ended.
    EXPECT_NE(indexes[0], 2);
    std::sort(indexes.begin(), indexes.end() - 1);
    EXPECT_EQ(indexes, (std::vector<int32_t>{0, 1, 2, -1}));
    for (const TerminateRecord& record : recorder.Terminations()) EXPECT_TRUE(record.finished);
}

TEST_F(TaskRunTest, WithoutThreadsEveryTaskRunsFromATimerOnTheClientThread) {
    AddThreeTasks();
    recorder.Attach(component);
    TEventLoop loop;
    component.SetDelayedCallHost(&loop);
    const auto started = std::chrono::steady_clock::now();
    component.StartConvert(0);
    EXPECT_TRUE(recorder.Terminations().empty()) << "StartConvert returns before the first task runs";
    ASSERT_TRUE(recorder.WaitForEnd(std::chrono::seconds(60),
                                    [&] { loop.RunOnce(std::chrono::milliseconds(20)); }));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_EQ(Indexes(), (std::vector<int32_t>{0, 1, 2, -1}));
    for (const TerminateRecord& record : recorder.Terminations())
        EXPECT_EQ(record.thread, std::this_thread::get_id());
}

TEST_F(TaskRunTest, AnEmptyListStartsNothingAndReportsNothing) {
    recorder.Attach(component);
    component.StartConvert(1);
    TThreadCount::Process().WaitUntilNone();
    EXPECT_TRUE(recorder.Terminations().empty());
}

TEST_F(TaskRunTest, StoppingDuringTheFirstOfThreeEndsEveryTaskUnfinished) {
    AddThreeTasks(true);
    recorder.Attach(component);
    component.SetProgressInterval(100);
    component.StartConvert(1);
    ASSERT_TRUE(recorder.WaitForProgress(0));
    component.StopConvert();
    ASSERT_TRUE(recorder.WaitForEnd());
    const std::vector<TerminateRecord> records = recorder.Terminations();
    ASSERT_EQ(records.size(), 4u);
    std::set<int32_t> seen;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(records[i].finished);
        EXPECT_FALSE(records[i].exception);
        EXPECT_EQ(records[i].message, "");
        EXPECT_NE(records[i].thread, std::this_thread::get_id());
        seen.insert(records[i].index);
    }
    EXPECT_EQ(seen, (std::set<int32_t>{0, 1, 2}));
    EXPECT_EQ(records[3].index, -1);
    EXPECT_TRUE(records[3].finished);
    EXPECT_FALSE(records[3].exception);
    // The stopped task's output is finished and kept.
    EXPECT_TRUE(PlayableMp4(outputs[0]));
    // The tasks that never ran leave no empty files behind once freed (the
    // last one by its terminate thread, which may still hold it).
    component.ClearTasks();
    TThreadCount::Process().WaitUntilNone();
    EXPECT_FALSE(std::filesystem::exists(outputs[1]));
    EXPECT_FALSE(std::filesystem::exists(outputs[2]));
}

TEST_F(TaskRunTest, StoppingBeforeAnyStartReportsEachTaskFromItsTerminateThread) {
    AddThreeTasks();
    recorder.Attach(component);
    component.StopConvert();
    // Once the threads that tell the ends are gone: each task was reported,
    // and as nothing was started, no run ended either.
    TThreadCount::Process().WaitUntilNone();
    std::vector<int32_t> indexes = Indexes();
    std::sort(indexes.begin(), indexes.end());
    EXPECT_EQ(indexes, (std::vector<int32_t>{0, 1, 2}));
    // Stopping again reports nothing twice.
    component.StopConvert();
    TThreadCount::Process().WaitUntilNone();
    EXPECT_EQ(recorder.Terminations().size(), 3u);
}

TEST_F(TaskRunTest, ClearingRightAfterStoppingFreesTasksWhileWorkersFinish) {
    AddThreeTasks(true);
    recorder.Attach(component);
    component.SetProgressInterval(100);
    component.StartConvert(2);
    ASSERT_TRUE(recorder.WaitForProgress(0));
    ASSERT_TRUE(recorder.WaitForProgress(1));
    component.StopConvert();
    component.ClearTasks();
    EXPECT_EQ(component.TaskCount(), 0u);
    // Whatever still runs finishes on its own; the libraries wait for it.
    TThreadCount::Process().WaitUntilNone();
    for (size_t i = 0; i < 2; ++i) EXPECT_TRUE(PlayableMp4(outputs[i])) << outputs[i];
    EXPECT_FALSE(std::filesystem::exists(outputs[2]));
}

TEST_F(TaskRunTest, ClearingInsideTheTerminateEventEndsTheRunQuietly) {
    AddThreeTasks();
    std::atomic<int> calls{0};
    recorder.onTerminate = [&](const TerminateRecord& record) {
        ++calls;
        if (record.index == 0) {
            component.StopConvert();
            component.ClearTasks();
        }
    };
    recorder.Attach(component);
    component.StartConvert(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (component.TaskCount() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    TThreadCount::Process().WaitUntilNone();
    EXPECT_EQ(calls.load(), 1) << "dropped tasks report nothing more";
    EXPECT_EQ(component.TaskCount(), 0u);
}

TEST_F(TaskRunTest, DestroyingTheComponentDuringARunWaitsForItsWorkers) {
    EventRecorder events;
    auto owned = std::make_unique<TVexmoConverter>();
    const std::string output = (ScratchFolder() / "out.mp4").string();
    ASSERT_EQ(AddQuickTask(*owned, "avi_mpeg4_mp3.avi", output, true), 0);
    events.Attach(*owned);
    owned->SetProgressInterval(100);
    owned->StartConvert(1);
    ASSERT_TRUE(events.WaitForProgress(0));
    owned->StopConvert();
    owned.reset();
    EXPECT_TRUE(PlayableMp4(output));
}

TEST_F(TaskRunTest, ATaskWithoutOutputIsRefusedWithItsMessage) {
    ASSERT_EQ(component.AddInputFile(ClipPath("avi_mpeg4_mp3.avi")), 0);
    std::vector<std::pair<int32_t, TLogLevel>> lines;
    std::mutex mutex;
    component.SetOnLog([&](int32_t index, TLogLevel level, const std::string& text) {
        std::lock_guard guard(mutex);
        if (text == "Must supply at least one output file") lines.emplace_back(index, level);
    });
    recorder.Attach(component);
    component.StartConvert(1);
    ASSERT_TRUE(recorder.WaitForEnd(std::chrono::seconds(10)));
    const std::vector<TerminateRecord> records = recorder.Terminations();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].index, 0);
    EXPECT_FALSE(records[0].finished);
    EXPECT_TRUE(records[0].exception);
    EXPECT_EQ(records[0].message, "Must supply at least one output file");
    std::lock_guard guard(mutex);
    EXPECT_EQ(lines, (std::vector<std::pair<int32_t, TLogLevel>>{{0, llQuiet}}));
}

// A failure the system explains keeps the system's words apart from the
// message, for front ends that put them in their own.
TEST_F(TaskRunTest, AFailedTaskKeepsTheSystemsReasonApart) {
    const std::filesystem::path folder = ScratchFolder() / "gone";
    std::filesystem::create_directories(folder);
    const std::string output = (folder / "out.mp4").string();
    auto task = std::make_shared<TFFmpeg>();
    task->Initialize();
    task->OpenInputFile(ClipPath("avi_mpeg4_mp3.avi"));
    task->OpenOutputFile(output);
    std::filesystem::remove(folder);
    std::ofstream(folder) << "a file where the folder was";
    task->Start(false, tpNormal);
    EXPECT_TRUE(task->result.failed);
    EXPECT_EQ(task->result.reason, "Not a directory");
    EXPECT_EQ(task->result.message, "Could not open '" + output + "': Not a directory");
}

TEST_F(TaskRunTest, ProgressComesNoOftenerThanTheInterval) {
    component.SetProgressInterval(50);
    EXPECT_EQ(component.ProgressInterval(), 100);
    component.SetProgressInterval(150);
    const std::string output = (ScratchFolder() / "out.mp4").string();
    ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi", output, true), 0);
    recorder.Attach(component);
    component.StartConvert(1);
    ASSERT_TRUE(recorder.WaitForEnd());
    const auto progress = recorder.Progress();
    // Enough reports for a gap to be measured; a loaded or instrumented
    // machine holds the loop back and gives fewer than the clip's length would.
    ASSERT_GE(progress.size(), 3u);
    // The report at the task's end comes whenever the task ends. The times
    // are taken as the reports arrive, and one that arrives late makes the
    // next gap short, so the typical gap is what must keep the interval.
    std::vector<std::chrono::steady_clock::duration> gaps;
    for (size_t i = 1; i + 1 < progress.size(); ++i) gaps.push_back(progress[i].second - progress[i - 1].second);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_GT(gaps[gaps.size() / 2], std::chrono::milliseconds(145));
}

TEST_F(TaskRunTest, WorkersRunAtTheComponentsPriority) {
    AddThreeTasks();
    const int processNice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    std::vector<std::pair<int, int>> seen;  // nice value and scheduling policy per task
    recorder.onTerminate = [&](const TerminateRecord& record) {
        if (record.index >= 0)
            seen.emplace_back(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), sched_getscheduler(0));
    };
    recorder.Attach(component);
    component.ThreadPriority = tpLower;
    component.StartConvert(1);
    ASSERT_TRUE(recorder.WaitForEnd());
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& [nice, policy] : seen) {
        EXPECT_EQ(nice, std::min(processNice + 5, 19));
        EXPECT_EQ(policy, SCHED_OTHER);
    }
    // A stopped pending task reports its end from an idle thread.
    seen.clear();
    component.ClearTasks();
    AddThreeTasks();
    component.StopConvert();
    TThreadCount::Process().WaitUntilNone();
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& [nice, policy] : seen) EXPECT_EQ(policy, SCHED_IDLE);
}

// A dropped task is stopped: its output is finished where it stands, and
// nothing converts on unseen.
TEST_F(TaskRunTest, ClearingWithoutStoppingStopsTheRunningTaskAndWaitsForIt) {
    AddThreeTasks(true);
    recorder.Attach(component);
    component.SetProgressInterval(100);
    component.StartConvert(1);
    ASSERT_TRUE(recorder.WaitForProgress(0));
    component.ClearTasks();
    EXPECT_TRUE(PlayableMp4(outputs[0])) << "the output is finished before ClearTasks returns";
    TThreadCount::Process().WaitUntilNone();
    EXPECT_EQ(Indexes(), std::vector<int32_t>{});
    EXPECT_FALSE(std::filesystem::exists(outputs[1]));
}

TEST_F(TaskRunTest, ClearingInsideTheTerminateEventStopsTheOtherWorker) {
    // Task 0 is short; task 1 reads its two seconds in real time.
    outputs = {(ScratchFolder() / "out0.mp4").string(), (ScratchFolder() / "out1.mp4").string()};
    ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi", outputs[0], false, 100), 0);
    ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi", outputs[1], true), 1);
    const auto started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration clearedAfter{};
    recorder.onTerminate = [&](const TerminateRecord& record) {
        if (record.index != 0) return;
        clearedAfter = std::chrono::steady_clock::now() - started;
        component.ClearTasks();
    };
    recorder.Attach(component);
    component.StartConvert(2);
    TThreadCount::Process().WaitUntilNone();
    // In real time, task 1 has written no more than the time it ran.
    const auto margin = std::chrono::milliseconds(400);
    if (clearedAfter + margin > std::chrono::milliseconds(1900)) GTEST_SKIP() << "task 0 took too long to tell";
    // Dropped before its first packet, task 1 leaves no file at all.
    if (!std::filesystem::exists(outputs[1])) return;
    TAVProbe probe;
    ASSERT_TRUE(probe.Open(outputs[1], ""));
    TAVFileInfo info{};
    probe.GetInfo(info);
    EXPECT_LT(std::chrono::microseconds(info.Duration), clearedAfter + margin)
        << "task 1 converted on after it was dropped";
}

TEST_F(TaskRunTest, RemovingTheRunningTaskGoesOnWithTheNextAndEndsTheRun) {
    outputs = {(ScratchFolder() / "out0.mp4").string(), (ScratchFolder() / "out1.mp4").string()};
    ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi", outputs[0], true), 0);
    ASSERT_EQ(AddQuickTask(component, "avi_mpeg4_mp3.avi", outputs[1], false, 300), 1);
    recorder.Attach(component);
    component.SetProgressInterval(100);
    component.StartConvert(1);
    ASSERT_TRUE(recorder.WaitForProgress(0));
    component.RemoveTask(0);
    EXPECT_TRUE(PlayableMp4(outputs[0]));
    ASSERT_TRUE(recorder.WaitForEnd(std::chrono::seconds(30)));
    const std::vector<TerminateRecord> records = recorder.Terminations();
    ASSERT_EQ(Indexes(), (std::vector<int32_t>{0, -1}));
    EXPECT_TRUE(records[0].finished);
    EXPECT_TRUE(PlayableMp4(outputs[1]));
}

TEST_F(TaskRunTest, RemovingATaskRenumbersTheOnesAfterIt) {
    AddThreeTasks();
    component.RemoveTask(0);
    ASSERT_EQ(component.TaskCount(), 2u);
    recorder.Attach(component);
    component.StartConvert(1);
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_EQ(Indexes(), (std::vector<int32_t>{0, 1, -1}));
    EXPECT_THROW(component.RemoveTask(5), std::out_of_range);
}

}  // namespace
