#include "ScanEngine/Support/WorkerCrew.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

namespace zelvane {

// The current round: its job, its items (taken through `next_` without the lock) and the helpers
// that joined it. A helper joins only while the round is open; the caller closes it once no item
// is left and then waits for the helpers that joined, so the job outlives every call of it.
class WorkerCrew::RoundsLocked final {
public:
    using Job = std::function<void(size_t, unsigned)>;

    void open(const Job* job, size_t items) {
        {
            std::lock_guard lock(mutex_);
            job_ = job;
            items_ = items;
            next_.store(0, std::memory_order_relaxed);
            open_ = true;
            ++round_;
        }
        wake_.notify_all();
    }

    // Runs items of the current round until none is left. A job that throws (out of memory, say)
    // ends the round: no further item is handed out, and the caller gets the first exception.
    void work(const Job& job, size_t items, unsigned worker) {
        try {
            for (size_t i; (i = next_.fetch_add(1, std::memory_order_relaxed)) < items;) job(i, worker);
        } catch (...) {
            next_.store(items, std::memory_order_relaxed);
            std::lock_guard lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
        }
    }

    // The first exception a job of the round threw, if any.
    std::exception_ptr closeAndWait() {
        std::unique_lock lock(mutex_);
        open_ = false;
        done_.wait(lock, [&] { return joined_ == 0; });
        job_ = nullptr;
        return std::exchange(failure_, nullptr);
    }

    // A helper's next round to join: false once the crew is quitting.
    bool join(uint64_t& lastRound, const Job*& job, size_t& items) {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return quitting_ || round_ != lastRound; });
            if (quitting_) return false;
            lastRound = round_;
            if (!open_) continue;  // woke too late for that round
            ++joined_;
            job = job_;
            items = items_;
            return true;
        }
    }

    void leave() {
        std::lock_guard lock(mutex_);
        if (--joined_ == 0) done_.notify_one();
    }

    void quit() {
        {
            std::lock_guard lock(mutex_);
            quitting_ = true;
        }
        wake_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const Job* job_ = nullptr;
    std::exception_ptr failure_;
    size_t items_ = 0;
    std::atomic<size_t> next_{0};
    uint64_t round_ = 0;
    unsigned joined_ = 0;
    bool open_ = false;
    bool quitting_ = false;
};

void WorkerCrew::RoundsDeleter::operator()(RoundsLocked* r) const { delete r; }

WorkerCrew::WorkerCrew(unsigned workers) : workers_(workers > 0 ? workers : 1), rounds_(new RoundsLocked) {}

WorkerCrew::~WorkerCrew() {
    rounds_->quit();
    threads_.clear();
}

void WorkerCrew::run(size_t items, const std::function<void(size_t, unsigned)>& job) {
    if (items == 0) return;
    if (!started_ && items > 1) {
        started_ = true;
        threads_.reserve(workers_ - 1);
        for (unsigned w = 1; w < workers_; ++w) {
            try {
                threads_.emplace_back([this, w] { serve(w); });
            } catch (const std::system_error&) {
                break;  // no more threads to be had: the ones running share the work
            }
        }
    }
    if (items == 1 || threads_.empty()) {
        for (size_t i = 0; i < items; ++i) job(i, 0);
        return;
    }
    rounds_->open(&job, items);
    rounds_->work(job, items, 0);
    if (std::exception_ptr failure = rounds_->closeAndWait()) std::rethrow_exception(failure);
}

void WorkerCrew::serve(unsigned worker) {
    uint64_t lastRound = 0;
    const std::function<void(size_t, unsigned)>* job = nullptr;
    size_t items = 0;
    while (rounds_->join(lastRound, job, items)) {
        rounds_->work(*job, items, worker);
        rounds_->leave();
    }
}

}  // namespace zelvane
