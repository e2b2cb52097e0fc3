#include "ScanEngine/Scan/ScanProgressTracker.hpp"

#include "ScanEngine/Support/Arithmetic.hpp"

#include <time.h>

#include <algorithm>

namespace zelvane {

uint64_t monotonicNanos() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1'000'000'000u + uint64_t(ts.tv_nsec);
}

ScanProgressTracker::ScanProgressTracker(ProgressCallback callback, CancelCheck isCancelledCheck)
    : callback_(std::move(callback)), isCancelledCheck_(std::move(isCancelledCheck)) {}

int ScanProgressTracker::percentFromScore(double score) { return int(std::min(score, 1.0) * 100.0); }

void ScanProgressTracker::record(int64_t files, int64_t dirs, int64_t bytes) {
    ScanProgress report;
    {
        std::lock_guard lock(lock_);
        files_ += files;
        dirs_ += dirs;
        totalBytes_ = saturatingAdd(totalBytes_, bytes);
        uint64_t now = monotonicNanos();
        if (now - lastReportTime_ < reportIntervalNanos) return;
        lastReportTime_ = now;
        report = {files_, dirs_, totalBytes_, percentFromScore(totalScore_)};
    }
    if (callback_) callback_(report);
}

void ScanProgressTracker::addScore(double share) {
    std::lock_guard lock(lock_);
    totalScore_ += share;
}

ScanProgress ScanProgressTracker::snapshot() const {
    std::lock_guard lock(lock_);
    return {files_, dirs_, totalBytes_, percentFromScore(totalScore_)};
}

void ScanProgressTracker::reportFinal() {
    if (!callback_) return;
    ScanProgress p = snapshot();
    p.percentComplete = 100;
    callback_(p);
}

}  // namespace zelvane
