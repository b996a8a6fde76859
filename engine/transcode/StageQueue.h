#pragma once
// The queue between two stages of a run. It is bounded by weight, not only by
// count: a stage that hands on pictures weighs each item by the pictures it
// holds, so that a fast stage waits for a slow one instead of piling up
// decoded pictures. Closing it wakes both sides; a closed queue takes
// nothing more and gives what it still holds only to a reader that drains it.
//
// A side that waits may be woken in batches, when a thread that hands on
// small items would otherwise sleep and wake for every one of them: a
// writer that found the queue full then waits for room for `refill`, and a
// reader that emptied it waits for `batch` (or a Flush, or the close).

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

template <typename T>
class StageQueue {
public:
    explicit StageQueue(size_t capacity, size_t refill = 1, size_t batch = 1)
        : capacity_(capacity), refill_(refill), batch_(batch) {}
    StageQueue(const StageQueue&) = delete;
    StageQueue& operator=(const StageQueue&) = delete;

    // Waits for room; an item heavier than the whole queue goes in alone.
    // False, and the item dropped, once the queue is closed.
    bool Push(T item, size_t weight = 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!closed_ && !items_.empty() && held_ + weight > capacity_)
            writable_.wait(lock, [&] {
                return closed_ || items_.empty() || held_ + std::max(weight, refill_) <= capacity_;
            });
        if (closed_) return false;
        held_ += weight;
        items_.push_back({std::move(item), weight});
        if (held_ >= batch_) draining_ = true;
        if (Readable()) readable_.notify_one();
        return true;
    }

    // Waits for an item; false once the queue is closed and empty.
    bool Pop(T& item) {
        std::unique_lock<std::mutex> lock(mutex_);
        readable_.wait(lock, [&] { return closed_ || Readable(); });
        if (items_.empty()) return false;
        item = std::move(items_.front().item);
        held_ -= items_.front().weight;
        items_.pop_front();
        if (items_.empty()) draining_ = false;
        if (items_.empty() || held_ + refill_ <= capacity_) writable_.notify_one();
        return true;
    }

    // Lets the reader take what the queue holds now without waiting for a
    // whole batch.
    void Flush() {
        std::lock_guard<std::mutex> lock(mutex_);
        draining_ = true;
        if (!items_.empty()) readable_.notify_one();
    }

    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        readable_.notify_all();
        writable_.notify_all();
    }

private:
    bool Readable() const { return !items_.empty() && (draining_ || batch_ <= 1); }

    struct Entry {
        T item;
        size_t weight;
    };
    const size_t capacity_;
    const size_t refill_;
    const size_t batch_;
    std::mutex mutex_;
    std::condition_variable readable_;
    std::condition_variable writable_;
    std::deque<Entry> items_;
    size_t held_ = 0;
    bool closed_ = false;
    // The reader may take items until the queue is empty: a whole batch
    // came, or a Flush.
    bool draining_ = false;
};
