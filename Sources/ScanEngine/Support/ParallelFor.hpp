#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "Platform/Processors.hpp"
#include "ScanEngine/Support/CancelFlag.hpp"

namespace zelvane {

// How many threads a parallel loop uses: `limit` when positive, never more than the processors
// this process may run on (CPU affinity and container limits, which `hardware_concurrency`
// ignores), and at least one.
inline unsigned parallelWorkerCount(int limit = 0) {
    const int active = activeProcessorCount();
    return unsigned(std::max(1, limit > 0 ? std::min(limit, active) : active));
}

// Calls body(index, worker) once for every index in [0, count), on `workers` threads (the calling
// thread is worker 0), handing out indices in batches of `batch` so that uneven items balance.
// `worker` is below `workers`: per-worker scratch can be indexed by it. Once `cancel` is set, no
// further batch is handed out (a call under way finishes), so a superseded job lets its threads
// go at the next batch. Returns when every call has returned. A body that throws (running out of
// memory) ends the loop early: no further batch is handed out, and once every thread is done the
// first exception is thrown again on the calling thread. When the system gives fewer threads,
// fewer share the work.
template <typename Body>
void parallelFor(size_t count, unsigned workers, size_t batch, Body&& body, const CancelFlag* cancel = nullptr) {
    if (count == 0) return;
    batch = std::max<size_t>(1, batch);
    workers = unsigned(std::clamp<size_t>(workers, 1, (count + batch - 1) / batch));
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::atomic<bool> failed{false};
    std::mutex failureLock;
    const auto work = [&](unsigned worker) {
        try {
            for (;;) {
                if (isCancelled(cancel) || failed.load(std::memory_order_relaxed)) return;
                const size_t begin = next.fetch_add(batch, std::memory_order_relaxed);
                if (begin >= count) return;
                const size_t end = std::min(count, begin + batch);
                for (size_t i = begin; i < end; ++i) body(i, worker);
            }
        } catch (...) {
            std::lock_guard lock(failureLock);
            if (!failure) failure = std::current_exception();
            failed.store(true, std::memory_order_relaxed);
        }
    };
    {
        std::vector<std::jthread> helpers;
        try {
            helpers.reserve(workers - 1);
        } catch (const std::bad_alloc&) {
            workers = 1;  // the calling thread alone
        }
        for (unsigned w = 1; w < workers; ++w) {
            try {
                helpers.emplace_back(work, w);
            } catch (const std::system_error&) {
                break;  // no more threads to be had: the ones running share the rest
            }
        }
        work(0);
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace zelvane
