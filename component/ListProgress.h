#pragma once
// How far a list of files has come and how long the rest will take. The
// speed is the media time converted per second of wall time over the whole
// run so far, so that every file counts by its duration: one long file among
// short ones is estimated by its length, not by the number of files.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

struct TListEstimate {
    size_t FileNumber = 0;  // the file being converted, from 1
    size_t FileCount = 0;
    int Percent = 0;             // of the list's media time
    int64_t SecondsLeft = -1;    // -1 while the speed is not known yet
};

class TListProgress {
public:
    // The probed duration of every file in milliseconds, 0 or less when not
    // known; `now` in seconds on any steady clock.
    void Start(const std::vector<int64_t>& durationsMs, double now);
    // The file's probed duration, once it is known.
    void FileDuration(size_t file, int64_t durationMs);
    // `doneMs` of the file's media converted; `totalMs` is the task's own
    // idea of the file's duration, used when the probe had none.
    void FileProgress(size_t file, int64_t doneMs, int64_t totalMs);
    // The file needs no more time, whether it was converted, failed or stopped.
    void FileEnded(size_t file);
    TListEstimate Estimate(double now) const;

private:
    struct File {
        int64_t durationMs = 0;
        int64_t doneMs = 0;
        bool ended = false;
    };
    int64_t DurationOf(const File& file) const;

    std::vector<File> files_;
    double started_ = 0.0;
    int64_t knownTotalMs_ = 0;  // of the files whose duration is known
    int64_t knownCount_ = 0;
};

// The time left as a person is shown it: only once the estimates of the
// last seconds agree on when the list will end, and from then on. The first
// ones, made while the encoders start up, can be several times too long.
class TSteadyTimeLeft {
public:
    // `secondsLeft` as estimated at `now` (seconds on a steady clock), or -1
    // while the estimate is not steady yet.
    int64_t Shown(int64_t secondsLeft, double now);

private:
    std::deque<std::pair<double, double>> ends_;  // when estimated, the end estimated
    bool steady_ = false;
};

// A length of time as a person is told it: "less than a minute",
// "about 6 min", "about 1 h 15 min".
std::string TimeWords(int64_t seconds);
// "File 3 of 12 · 41 % of the list · about 6 min left"
std::string ListProgressLine(const TListEstimate& estimate);
