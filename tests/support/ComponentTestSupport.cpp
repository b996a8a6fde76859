#include "ComponentTestSupport.h"

#include <gtest/gtest.h>

#include "LibraryBinding.h"
#include "TestMedia.h"

void BindComponentTestLibraries() {
    static const bool bound = [] {
        TVexmoConverter binder;
        return binder.LoadLibraries("", true);
    }();
    ASSERT_TRUE(bound) << BindErrorText();
}

std::string ClipPath(const std::string& fileName) { return TestMediaPath(fileName); }

TOutputOptions QuickOutputOptions() {
    TOutputOptions options;
    options.VideoCodec = "mpeg4";
    options.AudioCodec = "libfaac";
    options.FrameSize = "160x120";
    options.VideoBitrate = 200000;
    options.AudioBitrate = 64000;
    return options;
}

int32_t AddQuickTask(TVexmoConverter& component, const std::string& clip, const std::string& outputPath,
                     bool realTime, int32_t durationMs) {
    TInputOptions input;
    if (realTime) input.ExtraOptions = "re";
    const int32_t index = component.AddInputFile(ClipPath(clip), input);
    if (index < 0) return index;
    TOutputOptions output = QuickOutputOptions();
    output.DurationMs = durationMs;
    if (!component.AddOutputFile(index, outputPath, output)) return -1;
    return index;
}

void EventRecorder::Attach(TVexmoConverter& component) {
    component.SetOnTerminate([this](int32_t index, bool finished, bool exception, const std::string& message) {
        TerminateRecord record{index, finished, exception, message, std::this_thread::get_id()};
        if (onTerminate) onTerminate(record);
        // Kept and announced under the lock: once a waiter sees the record,
        // this thread touches the recorder no more.
        std::lock_guard guard(mutex_);
        terminations_.push_back(record);
        changed_.notify_all();
    });
    component.SetOnProgress([this](int32_t index, int32_t, int32_t, int32_t, float, float, int64_t, int32_t) {
        std::lock_guard guard(mutex_);
        progress_.emplace_back(index, std::chrono::steady_clock::now());
        changed_.notify_all();
    });
}

std::vector<TerminateRecord> EventRecorder::Terminations() {
    std::lock_guard guard(mutex_);
    return terminations_;
}

std::vector<std::pair<int32_t, std::chrono::steady_clock::time_point>> EventRecorder::Progress() {
    std::lock_guard guard(mutex_);
    return progress_;
}

void EventRecorder::Forget() {
    std::lock_guard guard(mutex_);
    terminations_.clear();
    progress_.clear();
}

bool EventRecorder::WaitForProgress(int32_t index, std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, timeout, [&] {
        for (const auto& [task, when] : progress_)
            if (task == index) return true;
        return false;
    });
}

bool EventRecorder::WaitForEnd(std::chrono::milliseconds timeout, const std::function<void()>& pump) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto ended = [this] {
        for (const TerminateRecord& record : terminations_)
            if (record.index == -1) return true;
        return false;
    };
    std::unique_lock guard(mutex_);
    while (!ended()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (pump) {
            guard.unlock();
            pump();
            guard.lock();
        } else {
            changed_.wait_until(guard, deadline);
        }
    }
    return true;
}
