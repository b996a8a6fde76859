#pragma once
// The re-entrant lock around a component's event delivery and task list.
// Work that may log through the libraries (freeing tasks, clearing the
// stored log lines) must not run under it, since library logging takes the
// listener lock first: such work is handed to the guard and done once the
// outermost holder has let go.

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TComponentLock {
public:
    class Guard {
    public:
        explicit Guard(TComponentLock& lock);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        // Runs `work` once this thread no longer holds the lock.
        void AfterUnlock(std::function<void()> work);

    private:
        TComponentLock& lock_;
    };

private:
    std::recursive_mutex mutex_;
    int depth_ = 0;
    std::vector<std::function<void()>> deferred_;
};
