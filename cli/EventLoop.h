#pragma once
// The command line's own small loop: functions posted from any thread run on
// the thread that runs the loop, immediately or after a delay.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "VexmoConverter.h"

class TEventLoop : public TDelayedCallHost {
public:
    void Post(std::function<void()> work);
    void CallAfter(int milliseconds, std::function<void()> callback) override;
    // Runs what is due, waiting at most `wait` for something to arrive.
    void RunOnce(std::chrono::milliseconds wait);

private:
    using Clock = std::chrono::steady_clock;
    struct Delayed {
        Clock::time_point due;
        std::function<void()> work;
    };
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> ready_;
    std::vector<Delayed> delayed_;
};
