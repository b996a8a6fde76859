#pragma once
// Stop requests from outside the program: SIGINT (Ctrl-C), SIGTERM (system
// shutdown, kill) and SIGHUP (terminal closed). The first one runs the
// client's stop function on a thread of its own, since a signal handler may
// do next to nothing itself; a second one ends the program at once, after
// removing the temporary files of the outputs being written, so that no
// broken file stays behind under any name. One instance at a time.

#include <atomic>
#include <functional>
#include <thread>

class TStopSignals {
public:
    explicit TStopSignals(std::function<void()> onStop);
    // The signals get their default handling again.
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // True once a stop signal arrived.
    static bool Received();

private:
    std::function<void()> on_stop_;
    std::atomic<bool> quitting_{false};
    std::thread watcher_;
};
