#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace zelvane {

// A few threads kept for many short rounds of work that they share with the calling thread
// (worker 0): work cut into many rounds, such as a file read window by window, pays for its
// threads once instead of every round. Items are handed out one at a time, and a helper that
// wakes after every item of a round was taken sits that round out, so a round never waits for a
// thread the system has not run yet. One caller at a time. A job that throws ends its round early
// (items not yet handed out are skipped) and run() rethrows the first exception on the caller.
class WorkerCrew final {
public:
    // `workers` counts the calling thread. The helpers start with the first round of several items;
    // when the system gives fewer threads, fewer share the work.
    explicit WorkerCrew(unsigned workers);
    WorkerCrew(const WorkerCrew&) = delete;
    WorkerCrew& operator=(const WorkerCrew&) = delete;
    ~WorkerCrew();

    // An upper bound of the workers of a round.
    unsigned size() const noexcept { return workers_; }

    // Calls job(item, worker) once for every item below `items`; `worker` is below size() and
    // names the thread, so per-worker scratch can be indexed by it. Returns when every call has
    // returned.
    void run(size_t items, const std::function<void(size_t item, unsigned worker)>& job);

private:
    class RoundsLocked;
    struct RoundsDeleter {
        void operator()(RoundsLocked*) const;
    };
    void serve(unsigned worker);

    const unsigned workers_;
    bool started_ = false;
    std::unique_ptr<RoundsLocked, RoundsDeleter> rounds_;
    std::vector<std::jthread> threads_;  // last member: joined before the rounds go
};

}  // namespace zelvane
