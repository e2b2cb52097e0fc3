#pragma once

#include <atomic>
#include <mutex>

namespace zelvane {

// Directory descriptors that scanners keep open between reading a folder and reading its
// subfolder, shared by every scanner of the process. Taking a slot never waits: without one the
// subfolder is opened by path later. The slot count is at most 8,192 and always 256 below the
// process's descriptor limit, so queued descriptors can never starve the rest of the process.
class FdBudget final {
public:
    static constexpr int kMaxSlots = 8192;
    static constexpr int kHeadroom = 256;

    FdBudget();
    FdBudget(const FdBudget&) = delete;
    FdBudget& operator=(const FdBudget&) = delete;

    bool tryAcquire() noexcept;
    void release() noexcept;
    // Sizes the budget to the current soft limit; entries already taken stay taken.
    void fitToLimit();
    int capacity() const;
    int available() const noexcept { return available_.load(std::memory_order_relaxed); }
    // Grows the process's descriptor table at once to hold every slot and the headroom. The
    // system grows it by doubling as descriptors are opened, and while threads share it each
    // growth waits until every processor has passed a quiescent point, with every thread that
    // opens a file meanwhile waiting too: tens of milliseconds a step on a busy machine.
    void reserveDescriptorTable() const;

private:
    std::atomic<int> available_{0};
    mutable std::mutex resizeLock_;
    int capacity_ = 0;
};

// The process-wide budget, made on first use.
FdBudget& fdBudget();

// Raises the soft descriptor limit to min(hard limit, the system's per-process maximum), then
// refits the budget and grows the descriptor table to it. Failures leave the limit as it was.
// Best called before the process starts its first thread.
void raiseFileDescriptorLimit();

}  // namespace zelvane
