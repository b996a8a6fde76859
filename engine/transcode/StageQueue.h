#pragma once
// The queue between two stages of a run. It is bounded by weight, not only by
// count: a stage that hands on pictures weighs each item by the pictures it
// holds, so that a fast stage waits for a slow one instead of piling up
// decoded pictures. Closing it wakes both sides; a closed queue takes
// nothing more and gives what it still holds only to a reader that drains it.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

template <typename T>
class StageQueue {
public:
    explicit StageQueue(size_t capacity) : capacity_(capacity) {}
    StageQueue(const StageQueue&) = delete;
    StageQueue& operator=(const StageQueue&) = delete;

    // Waits for room; an item heavier than the whole queue goes in alone.
    // False, and the item dropped, once the queue is closed.
    bool Push(T item, size_t weight = 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || items_.empty() || held_ + weight <= capacity_; });
        if (closed_) return false;
        held_ += weight;
        items_.push_back({std::move(item), weight});
        changed_.notify_all();
        return true;
    }

    // Waits for an item; false once the queue is closed and empty.
    bool Pop(T& item) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || !items_.empty(); });
        if (items_.empty()) return false;
        item = std::move(items_.front().item);
        held_ -= items_.front().weight;
        items_.pop_front();
        changed_.notify_all();
        return true;
    }

    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    struct Entry {
        T item;
        size_t weight;
    };
    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> items_;
    size_t held_ = 0;
    bool closed_ = false;
};
