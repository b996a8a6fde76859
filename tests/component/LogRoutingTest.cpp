// Library log lines: filtered by level, prefixed with the object that wrote
// them, joined into whole lines per thread and attributed to the task that
// runs on the writing thread.

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

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

class ExposedConverter : public TVexmoConverter {
public:
    TFFmpeg& Task(int32_t index) { return *tasks_.Item(index); }
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
        std::snprintf(text, sizeof text, "[tester @ %08" PRIXPTR "]", reinterpret_cast<uintptr_t>(&testerClass));
        return text;
    }

    AVClass testerClass{};
    LoggingObject object{};
    ExposedConverter component;
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
    component.SetLogLevel(llDebug);
    ff::av_log(nullptr, AV_LOG_DEBUG, "debug\n");
    ff::av_log(nullptr, AV_LOG_TRACE, "trace\n");
    EXPECT_EQ(Lines().back(), (Line{-1, llDebug, "debug"}));
}

TEST_F(LogRoutingTest, LinesBelongToTheTaskOfTheirThreadAndAreJoinedPerThread) {
    ASSERT_EQ(component.AddInputFile(ClipPath("avi_mpeg4_mp3.avi")), 0);
    ASSERT_EQ(component.AddInputFile(ClipPath("avi_mpeg4_mp3.avi")), 1);
    {
        std::lock_guard guard(mutex);
        lines.clear();
    }
    std::mutex gate;
    std::unique_lock hold(gate);
    auto writer = [&](const char* piece, const char* rest) {
        std::lock_guard wait(gate);
        ff::av_log(nullptr, AV_LOG_INFO, "%s", piece);
        ff::av_log(nullptr, AV_LOG_INFO, "%s", rest);
    };
    // Each thread writes half a line first; the halves must not mix.
    std::thread first(writer, "task one ", "line\n");
    std::thread second(writer, "task two ", "line\n");
    component.Task(1).thread_id_key = first.get_id();
    component.Task(0).thread_id_key = second.get_id();
    ff::av_log(nullptr, AV_LOG_INFO, "main ");
    hold.unlock();
    first.join();
    second.join();
    ff::av_log(nullptr, AV_LOG_INFO, "thread\n");
    std::vector<Line> seen = Lines();
    std::sort(seen.begin(), seen.end(), [](const Line& a, const Line& b) { return a.index < b.index; });
    EXPECT_EQ(seen, (std::vector<Line>{{-1, llInfo, "main thread"},
                                       {0, llInfo, "task two line"},
                                       {1, llInfo, "task one line"}}));
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
