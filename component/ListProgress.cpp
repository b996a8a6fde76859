#include "ListProgress.h"

#include <algorithm>
#include <cmath>

namespace {

// Too little work measured gives a speed that says nothing yet.
constexpr double kMinimumSeconds = 1.0;
// The estimates of this many seconds must agree on the end within a tenth
// of the time left (or kSteadySlackSeconds, when that is more).
constexpr double kSteadySeconds = 10.0;
constexpr double kSteadySlackSeconds = 15.0;

}  // namespace

std::string TimeWords(int64_t seconds) {
    if (seconds < 60) return "less than a minute";
    const int64_t minutes = (seconds + 30) / 60;
    if (minutes < 60) return "about " + std::to_string(minutes) + " min";
    return "about " + std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

void TListProgress::Start(const std::vector<int64_t>& durationsMs, double now) {
    files_.assign(durationsMs.size(), File{});
    knownTotalMs_ = knownCount_ = 0;
    for (size_t i = 0; i < durationsMs.size(); ++i) FileDuration(i, durationsMs[i]);
    started_ = now;
}

void TListProgress::FileDuration(size_t file, int64_t durationMs) {
    if (file >= files_.size() || durationMs <= 0 || files_[file].durationMs > 0) return;
    files_[file].durationMs = durationMs;
    knownTotalMs_ += durationMs;
    ++knownCount_;
}

void TListProgress::FileProgress(size_t file, int64_t doneMs, int64_t totalMs) {
    if (file >= files_.size()) return;
    File& entry = files_[file];
    if (entry.durationMs <= 0 && totalMs > 0) entry.durationMs = totalMs;
    entry.doneMs = std::max<int64_t>(doneMs, 0);
}

void TListProgress::FileEnded(size_t file) {
    if (file < files_.size()) files_[file].ended = true;
}

int64_t TListProgress::DurationOf(const File& file) const {
    // The durations nobody knows stand at the average of those known.
    if (file.durationMs > 0) return file.durationMs;
    return knownCount_ > 0 ? knownTotalMs_ / knownCount_ : 0;
}

TListEstimate TListProgress::Estimate(double now) const {
    TListEstimate estimate;
    estimate.FileCount = files_.size();
    int64_t total = 0, settled = 0, converted = 0;
    size_t ended = 0;
    for (const File& file : files_) {
        const int64_t duration = DurationOf(file);
        const int64_t done = std::min(file.doneMs, duration > 0 ? duration : file.doneMs);
        total += duration;
        converted += done;
        // An ended file needs no more time, however much of it was converted.
        settled += file.ended ? duration : done;
        ended += file.ended ? 1 : 0;
    }
    estimate.FileNumber = std::min(ended + 1, files_.size());
    if (total <= 0) {
        estimate.Percent = files_.empty() ? 0 : static_cast<int>(ended * 100 / files_.size());
        return estimate;
    }
    estimate.Percent = static_cast<int>(std::clamp<int64_t>(settled * 100 / total, 0, 100));
    const double elapsed = now - started_;
    if (elapsed < kMinimumSeconds || converted <= 0) return estimate;
    const double mediaMsPerSecond = static_cast<double>(converted) / elapsed;
    estimate.SecondsLeft = static_cast<int64_t>(std::llround(static_cast<double>(total - settled) / mediaMsPerSecond));
    return estimate;
}

int64_t TSteadyTimeLeft::Shown(int64_t secondsLeft, double now) {
    if (secondsLeft < 0) return steady_ ? secondsLeft : -1;
    if (steady_) return secondsLeft;
    ends_.emplace_back(now, now + static_cast<double>(secondsLeft));
    while (ends_.size() > 1 && now - ends_[1].first >= kSteadySeconds) ends_.pop_front();
    if (now - ends_.front().first < kSteadySeconds) return -1;
    const auto [earliest, latest] = std::minmax_element(
        ends_.begin(), ends_.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    steady_ = latest->second - earliest->second <=
              std::max(kSteadySlackSeconds, static_cast<double>(secondsLeft) / 10.0);
    return steady_ ? secondsLeft : -1;
}

std::string ListProgressLine(const TListEstimate& estimate) {
    std::string line = "File " + std::to_string(estimate.FileNumber) + " of " + std::to_string(estimate.FileCount) +
                       " \u00b7 " + std::to_string(estimate.Percent) + " % of the list";
    if (estimate.SecondsLeft >= 0) line += " \u00b7 " + TimeWords(estimate.SecondsLeft) + " left";
    return line;
}
