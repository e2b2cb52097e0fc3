#pragma once

#if defined(__SANITIZE_THREAD__)
#define ZELVANE_THREAD_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZELVANE_THREAD_CHECKER 1
#endif
#endif

#if defined(ZELVANE_THREAD_CHECKER)
#include <sanitizer/tsan_interface.h>

#include <mutex>
#endif

namespace zelvane {

// Work reaches the shared pool, and results reach the GUI thread, through Qt's queues, whose locks
// the thread checker cannot see (Qt is not built with it): to the checker every job would race
// with the code that started it and every result with the code that reads it. What follows marks
// the order Qt already guarantees, and nothing more: what a thread did before `handOffSent(key)`
// happened before whatever another thread does after a later `handOffTaken(key)`. The key of a
// start is the task itself, so that a job is ordered after its own start only, never after what
// the GUI thread does once it is running. Outside a checker build all of it is nothing.
inline void handOffSent([[maybe_unused]] const void* key) noexcept {
#if defined(ZELVANE_THREAD_CHECKER)
    __tsan_release(const_cast<void*>(key));
#endif
}

inline void handOffTaken([[maybe_unused]] const void* key) noexcept {
#if defined(ZELVANE_THREAD_CHECKER)
    __tsan_acquire(const_cast<void*>(key));
#endif
}

// What a job posts to the GUI thread is written while Qt posts it and read there before anything
// says which job posted it, so the order is marked with a lock of its own, in checker builds only:
// a job holds `QueuePosting` while it posts, and every delivery calls `queuePostTaken()` first.
#if defined(ZELVANE_THREAD_CHECKER)
inline std::mutex& queuePostingLock() {
    static std::mutex lock;
    return lock;
}
class QueuePosting final {
public:
    QueuePosting() = default;
    QueuePosting(const QueuePosting&) = delete;
    QueuePosting& operator=(const QueuePosting&) = delete;

private:
    std::lock_guard<std::mutex> lock_{queuePostingLock()};
};
inline void queuePostTaken() { std::lock_guard lock(queuePostingLock()); }
#else
class QueuePosting final {
public:
    QueuePosting() = default;
    QueuePosting(const QueuePosting&) = delete;
    QueuePosting& operator=(const QueuePosting&) = delete;
};
inline void queuePostTaken() noexcept {}
#endif

}  // namespace zelvane
