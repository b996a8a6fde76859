// The whole list's progress and time left, fed with recorded speeds instead
// of a clock.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ListProgress.h"

namespace {

struct RecordedList {
    const char* name;
    std::vector<int64_t> durationsMs;  // as probed; 0 for unknown
    std::vector<int64_t> realMs;       // what each file really lasts
    std::vector<double> speeds;        // media seconds converted per second, per file
};

class ListEstimateTest : public testing::TestWithParam<RecordedList> {};

// Replays the list one file after another in steps of a second and checks
// every estimate made once a tenth of the list is done.
TEST_P(ListEstimateTest, StaysWithinAFifthOfTheRealTimeLeft) {
    const RecordedList& list = GetParam();
    const size_t count = list.realMs.size();
    // The real time each file takes, and so the real time left at any moment.
    std::vector<double> fileSeconds(count);
    double totalSeconds = 0.0;
    int64_t totalMs = 0;
    for (size_t i = 0; i < count; ++i) {
        fileSeconds[i] = list.realMs[i] / 1000.0 / list.speeds[i];
        totalSeconds += fileSeconds[i];
        totalMs += list.realMs[i];
    }
    TListProgress progress;
    progress.Start(list.durationsMs, 100.0);
    double now = 0.0;
    int64_t doneMs = 0;
    int checked = 0;
    for (size_t file = 0; file < count; ++file) {
        for (double second = 1.0; second < fileSeconds[file]; second += 1.0) {
            const int64_t fileDoneMs = static_cast<int64_t>(second * list.speeds[file] * 1000.0);
            progress.FileProgress(file, fileDoneMs, list.realMs[file]);
            const TListEstimate estimate = progress.Estimate(100.0 + now + second);
            EXPECT_EQ(estimate.FileNumber, file + 1);
            if ((doneMs + fileDoneMs) * 10 < totalMs) continue;
            const double realLeft = totalSeconds - now - second;
            ASSERT_GE(estimate.SecondsLeft, 0);
            EXPECT_NEAR(static_cast<double>(estimate.SecondsLeft), realLeft, realLeft * 0.2 + 1.0)
                << list.name << ": file " << file << " at " << second << " s";
            ++checked;
        }
        progress.FileEnded(file);
        now += fileSeconds[file];
        doneMs += list.realMs[file];
    }
    EXPECT_GT(checked, 10);
    EXPECT_EQ(progress.Estimate(100.0 + now).Percent, 100);
}

std::vector<RecordedList> RecordedLists() {
    std::vector<RecordedList> lists;
    // Twelve similar episodes converted at speeds that wander by a tenth.
    RecordedList episodes{"similar files", {}, {}, {}};
    for (int i = 0; i < 12; ++i) {
        const int64_t duration = 1200000 + (i % 3) * 60000;
        episodes.durationsMs.push_back(duration);
        episodes.realMs.push_back(duration);
        episodes.speeds.push_back(4.0 * (1.0 + 0.1 * std::sin(i * 1.7)));
    }
    lists.push_back(episodes);
    // Ten one-minute clips and a film: counting files would be far off.
    RecordedList film{"one long file among short ones", {}, {}, {}};
    for (int i = 0; i < 10; ++i) film.durationsMs.push_back(60000);
    film.durationsMs.insert(film.durationsMs.begin() + 3, 5400000);
    film.realMs = film.durationsMs;
    film.speeds.assign(film.realMs.size(), 6.0);
    lists.push_back(film);
    // Durations the probe could not tell stand at the others' typical length.
    RecordedList unknown = episodes;
    unknown.name = "some durations unknown";
    unknown.durationsMs[5] = unknown.durationsMs[9] = 0;
    lists.push_back(unknown);
    return lists;
}

INSTANTIATE_TEST_SUITE_P(Lists, ListEstimateTest, testing::ValuesIn(RecordedLists()));

// An estimate that falls from 34 to 3 minutes as the encoders warm up is
// shown once it has kept to one end for ten seconds.
TEST(SteadyTimeLeft, ShowsTheTimeLeftOnceItsEstimatesAgree) {
    TSteadyTimeLeft shown;
    const std::vector<std::pair<double, int64_t>> estimates = {
        {1, 2040}, {2, 900}, {4, 400}, {6, 200}, {8, 196}, {10, 193}, {12, 190}, {14, 187}, {16, 185}, {18, 182}};
    std::vector<int64_t> seen;
    for (const auto& [now, left] : estimates) seen.push_back(shown.Shown(left, now));
    EXPECT_EQ(seen, (std::vector<int64_t>{-1, -1, -1, -1, -1, -1, -1, -1, 185, 182}));
    EXPECT_EQ(shown.Shown(170, 30), 170);
}

TEST(ListProgressLine, ShowsTheFileThePercentAndTheTimeLeftOnceKnown) {
    EXPECT_EQ(ListProgressLine({3, 12, 41, 360}), "File 3 of 12 \u00b7 41 % of the list \u00b7 about 6 min left");
    EXPECT_EQ(ListProgressLine({1, 2, 0, -1}), "File 1 of 2 \u00b7 0 % of the list");
    EXPECT_EQ(ListProgressLine({2, 2, 90, 20}), "File 2 of 2 \u00b7 90 % of the list \u00b7 less than a minute left");
    EXPECT_EQ(ListProgressLine({1, 1, 5, 4500}), "File 1 of 1 \u00b7 5 % of the list \u00b7 about 1 h 15 min left");
}

}  // namespace
