#pragma once

#include <atomic>

namespace zelvane {

// The stop signal of one run or job, shared by whoever may stop it and the threads doing it.
// Setting it asks the work to stop at its next check and never waits for it; the work checks it
// often enough that a superseded job frees its threads at once. Lock-free: it is asked once per
// folder or band by every worker.
class CancelFlag final {
public:
    void set(bool on = true) noexcept { flag_.store(on, std::memory_order_release); }
    bool isSet() const noexcept { return flag_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> flag_{false};
};

// Whether work stopped by `flag` (none: work nobody stops) has been asked to stop.
inline bool isCancelled(const CancelFlag* flag) noexcept { return flag && flag->isSet(); }

}  // namespace zelvane
