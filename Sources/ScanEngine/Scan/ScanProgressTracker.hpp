#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

namespace zelvane {

// One progress report of a running scan.
struct ScanProgress {
    int64_t files = 0;
    int64_t dirs = 0;
    int64_t totalBytes = 0;
    int percentComplete = 0;
    bool operator==(const ScanProgress&) const = default;
};

using ProgressCallback = std::function<void(const ScanProgress&)>;
using CancelCheck = std::function<bool()>;

// Running totals of one scan, shared by all its workers. Workers add once per batch of entries;
// a report goes out at most every 100 ms, from whichever worker crosses the interval first, and
// carries the running totals, so counts between reports are never lost. The callback runs on the
// reporting worker's thread after the lock is released.
class ScanProgressTracker final {
public:
    static constexpr uint64_t reportIntervalNanos = 100'000'000;

    ScanProgressTracker(ProgressCallback callback, CancelCheck isCancelledCheck);

    void record(int64_t files, int64_t dirs, int64_t bytes);
    // The share of the scan that is finished (progress budgets of folders that are done).
    void addScore(double share);
    bool isCancelled() const { return isCancelledCheck_ && isCancelledCheck_(); }
    // The running totals with percentComplete from the score (truncated, at most 100).
    ScanProgress snapshot() const;
    // The last report: running totals at 100 percent, unthrottled.
    void reportFinal();

    const ProgressCallback& callback() const { return callback_; }
    const CancelCheck& isCancelledCheck() const { return isCancelledCheck_; }

private:
    static int percentFromScore(double score);

    mutable std::mutex lock_;
    int64_t files_ = 0;
    int64_t dirs_ = 0;
    int64_t totalBytes_ = 0;
    uint64_t lastReportTime_ = 0;  // monotonic ns; 0 so that the first record reports
    double totalScore_ = 0;
    ProgressCallback callback_;
    CancelCheck isCancelledCheck_;
};

// The monotonic clock in nanoseconds.
uint64_t monotonicNanos();

}  // namespace zelvane
