#pragma once
// The command line's own small loop: functions posted from any thread run on
// the thread that runs the loop, immediately or after a delay.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "StopSignals.h"
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

// A command's run of the component, driven by the loop until it is done.
// A stop signal (see TStopSignals) stops the component's tasks at once from
// the signal's own thread, since the loop's thread may be busy converting a
// file itself, and wakes the loop; the loop then says "Stopping..." and
// calls the command's own stop, once. The signals are caught from the
// moment this exists, so that one arriving while the run starts counts.
class TStoppableLoop {
public:
    TStoppableLoop(TEventLoop& loop, TVexmoConverter& component);
    TStoppableLoop(const TStoppableLoop&) = delete;
    TStoppableLoop& operator=(const TStoppableLoop&) = delete;

    // Runs the loop while `running` says so. `stop` runs on this thread.
    void RunWhile(const std::function<bool()>& running, const std::function<void()>& stop);

private:
    TEventLoop& loop_;
    TStopSignals signals_;
};
