#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <utility>

namespace zelvane {

// The folders still to read by the workers of one scan, last in first out.
//
// Invariant: `busy` counts the items taken and not yet completed, so the scan is over exactly
// when the stack is empty and nobody is busy; then every waiting worker is woken and also gets
// nothing. The stack is LIFO on purpose: a depth-first walk keeps few folders queued, and every
// queued folder may hold an open descriptor.
template <typename Item>
class WorkStackLocked final {
public:
    WorkStackLocked() = default;
    WorkStackLocked(const WorkStackLocked&) = delete;
    WorkStackLocked& operator=(const WorkStackLocked&) = delete;

    // Before the workers start.
    void push(Item item) {
        std::lock_guard lock(mutex_);
        stack_.push_back(std::move(item));
    }

    std::optional<Item> pop() {
        std::unique_lock lock(mutex_);
        while (stack_.empty()) {
            if (busy_ == 0) {
                cond_.notify_all();
                return std::nullopt;
            }
            ++waiting_;
            cond_.wait(lock);
            --waiting_;
        }
        Item item = std::move(stack_.back());
        stack_.pop_back();
        ++busy_;
        return item;
    }

    // Ends one taken item, queueing the subfolders it found (in their order, so the last is read
    // first). Wakes as many sleepers as there is new work, or all of them when the scan is over.
    template <typename Range>
    void complete(Range&& newItems) {
        size_t added = 0;
        bool over;
        int sleepers;
        {
            std::lock_guard lock(mutex_);
            for (auto& it : newItems) {
                stack_.push_back(std::move(it));
                ++added;
            }
            --busy_;
            over = busy_ == 0 && stack_.empty();
            sleepers = waiting_;
        }
        if (sleepers == 0) return;
        if (over || added >= size_t(sleepers))
            cond_.notify_all();
        else
            for (size_t i = 0; i < added; ++i) cond_.notify_one();
    }
    void complete() { complete(std::span<Item>{}); }

    // `complete(newItems)` and then `pop()` under one lock, without waiting: the top of the stack
    // (the last of `newItems` when there are any), or nothing when the stack is empty.
    template <typename Range>
    std::optional<Item> completeAndTakeNext(Range&& newItems) {
        std::optional<Item> next;
        size_t added = 0;
        bool over = false;
        int sleepers;
        {
            std::lock_guard lock(mutex_);
            for (auto& it : newItems) {
                stack_.push_back(std::move(it));
                ++added;
            }
            if (stack_.empty()) {
                --busy_;
                over = busy_ == 0;
            } else {
                next = std::move(stack_.back());
                stack_.pop_back();
                added -= added > 0;  // the taken count stays: the next item stands in for this one
            }
            sleepers = waiting_;
        }
        if (sleepers == 0 || (!over && added == 0)) return next;
        if (over || added >= size_t(sleepers))
            cond_.notify_all();
        else
            for (size_t i = 0; i < added; ++i) cond_.notify_one();
        return next;
    }

    // Queues the subfolders a taken item found while its taker goes straight on with one more it
    // keeps for itself: the taken count stays, the kept item standing in for the finished one.
    template <typename Range>
    void completeAndKeepOne(Range&& newItems) {
        size_t added = 0;
        int sleepers;
        {
            std::lock_guard lock(mutex_);
            for (auto& it : newItems) {
                stack_.push_back(std::move(it));
                ++added;
            }
            sleepers = waiting_;
        }
        if (sleepers == 0 || added == 0) return;
        if (added >= size_t(sleepers))
            cond_.notify_all();
        else
            for (size_t i = 0; i < added; ++i) cond_.notify_one();
    }

    // Ends a taken item by putting it back at the bottom, behind everything queued, to be tried
    // again later (its folder could not be opened for want of descriptors).
    void requeueLater(Item item) {
        {
            std::lock_guard lock(mutex_);
            stack_.push_front(std::move(item));
            --busy_;
        }
        cond_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<Item> stack_;
    int busy_ = 0;
    int waiting_ = 0;
};

}  // namespace zelvane
