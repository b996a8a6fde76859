#include "EventLoop.h"

#include <algorithm>
#include <cstdio>

void TEventLoop::Post(std::function<void()> work) {
    {
        std::lock_guard guard(mutex_);
        ready_.push_back(std::move(work));
    }
    arrived_.notify_one();
}

void TEventLoop::CallAfter(int milliseconds, std::function<void()> callback) {
    {
        std::lock_guard guard(mutex_);
        delayed_.push_back({Clock::now() + std::chrono::milliseconds(milliseconds), std::move(callback)});
    }
    arrived_.notify_one();
}

void TEventLoop::RunOnce(std::chrono::milliseconds wait) {
    std::deque<std::function<void()>> batch;
    {
        std::unique_lock guard(mutex_);
        Clock::time_point until = Clock::now() + wait;
        for (const Delayed& delayed : delayed_) until = std::min(until, delayed.due);
        arrived_.wait_until(guard, until, [this] { return !ready_.empty(); });
        batch.swap(ready_);
        const Clock::time_point now = Clock::now();
        auto due = std::stable_partition(delayed_.begin(), delayed_.end(),
                                         [now](const Delayed& delayed) { return delayed.due > now; });
        for (auto it = due; it != delayed_.end(); ++it) batch.push_back(std::move(it->work));
        delayed_.erase(due, delayed_.end());
    }
    for (auto& work : batch) work();
}

TStoppableLoop::TStoppableLoop(TEventLoop& loop, TVexmoConverter& component)
    : loop_(loop), signals_([&component, &loop] {
          component.StopConvert();
          loop.Post([] {});
      }) {}

void TStoppableLoop::RunWhile(const std::function<bool()>& running, const std::function<void()>& stop) {
    bool stopping = false;
    while (running()) {
        loop_.RunOnce(std::chrono::milliseconds(100));
        if (TStopSignals::Received() && !stopping) {
            stopping = true;
            stop();
        }
    }
}
