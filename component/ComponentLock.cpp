#include "ComponentLock.h"

TComponentLock::Guard::Guard(TComponentLock& lock) : lock_(lock) {
    lock_.mutex_.lock();
    ++lock_.depth_;
}

TComponentLock::Guard::~Guard() {
    std::vector<std::function<void()>> deferred;
    if (--lock_.depth_ == 0) deferred.swap(lock_.deferred_);
    lock_.mutex_.unlock();
    for (auto& work : deferred) work();
}

void TComponentLock::Guard::AfterUnlock(std::function<void()> work) { lock_.deferred_.push_back(std::move(work)); }
