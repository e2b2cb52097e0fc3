#include "ScanEngine/Scan/FdBudget.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "Platform/FileSystemInfo.hpp"

namespace zelvane {

FdBudget::FdBudget() { fitToLimit(); }

bool FdBudget::tryAcquire() noexcept {
    int n = available_.load(std::memory_order_relaxed);
    while (n > 0)
        if (available_.compare_exchange_weak(n, n - 1, std::memory_order_acquire, std::memory_order_relaxed)) return true;
    return false;
}

void FdBudget::release() noexcept { available_.fetch_add(1, std::memory_order_release); }

void FdBudget::fitToLimit() {
    rlimit rl{};
    int target = kMaxSlots;
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
        target = int(std::clamp<rlim_t>(rl.rlim_cur > rlim_t(kHeadroom) ? rl.rlim_cur - kHeadroom : 0, 0, kMaxSlots));
    std::lock_guard lock(resizeLock_);
    // May go below zero for a while when the limit shrank under taken entries; tryAcquire then
    // fails until enough entries came back.
    available_.fetch_add(target - capacity_, std::memory_order_relaxed);
    capacity_ = target;
}

int FdBudget::capacity() const {
    std::lock_guard lock(resizeLock_);
    return capacity_;
}

void FdBudget::reserveDescriptorTable() const {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0) return;
    rlim_t highest = rlim_t(capacity()) + kHeadroom;
    if (rl.rlim_cur != RLIM_INFINITY) highest = std::min(highest, rl.rlim_cur - 1);
    const int any = ::open("/", O_PATH | O_CLOEXEC);
    if (any < 0) return;
    // A descriptor numbered as high as the table must reach: the table grows once, to hold it.
    const int high = ::fcntl(any, F_DUPFD_CLOEXEC, int(highest));
    if (high >= 0) ::close(high);
    ::close(any);
}

FdBudget& fdBudget() {
    static FdBudget budget;
    return budget;
}

void raiseFileDescriptorLimit() {
    int64_t maxPerProc = systemMaxFilesPerProcess();
    if (maxPerProc >= 1) {
        rlimit rl{};
        if (getrlimit(RLIMIT_NOFILE, &rl) == 0) {
            rlim_t target = std::min<rlim_t>(rl.rlim_max, rlim_t(maxPerProc));
            if (rl.rlim_cur < target) {
                rl.rlim_cur = target;
                setrlimit(RLIMIT_NOFILE, &rl);
            }
        }
    }
    fdBudget().fitToLimit();
    // Now, while the process may still be one thread: later, with others sharing the table, the
    // growth would wait for every processor (the first scan of a window waited 13-16 ms for it).
    fdBudget().reserveDescriptorTable();
}

}  // namespace zelvane
