#include "ScanMeasurement/PipelinedBulkScan.hpp"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "ScanEngine/Scan/FdBudget.hpp"

namespace zelvane {

namespace {

// Fixed buffers handed from syscall workers to parse workers and back; a syscall worker that
// outruns the parsers waits here.
class BatchBufferPool final {
public:
    BatchBufferPool(size_t count, size_t size) : size_(size) {
        for (size_t i = 0; i < count; ++i) {
            owned_.emplace_back(new std::byte[size]);
            free_.push_back(owned_.back().get());
        }
    }
    std::byte* acquire() {
        std::unique_lock lock(mutex_);
        cond_.wait(lock, [&] { return !free_.empty(); });
        std::byte* b = free_.back();
        free_.pop_back();
        return b;
    }
    void release(std::byte* b) {
        {
            std::lock_guard lock(mutex_);
            free_.push_back(b);
        }
        cond_.notify_one();
    }
    size_t bufferSize() const { return size_; }

private:
    size_t size_;
    std::vector<std::unique_ptr<std::byte[]>> owned_;
    std::mutex mutex_;
    std::condition_variable cond_;
    std::vector<std::byte*> free_;
};

// One folder being read. Invariant: it is finalized exactly once, by whoever sees reading done
// and no batch outstanding; until then its descriptor stays open for the parsers' openat.
struct PendingDir {
    int fd = -1;
    std::string path;
    bool holdsFdBudgetSlot = false;
    std::mutex lock;
    int outstanding = 0;
    bool doneReading = false;
    bool finalized = false;
    // The bulk read failed and the fallback listed the folder: batches parsed before or after
    // that are dropped, so only the fallback's listing counts.
    bool fellBack = false;
    ScanResult result;
    std::vector<DirWorkItem> subdirs;
};

struct ParseJob {
    std::shared_ptr<PendingDir> dir;
    std::byte* buffer = nullptr;
    int count = 0;
};

class ParseJobQueue final {
public:
    void push(ParseJob job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        cond_.notify_one();
    }
    std::optional<ParseJob> pop() {
        std::unique_lock lock(mutex_);
        cond_.wait(lock, [&] { return !jobs_.empty() || closed_; });
        if (jobs_.empty()) return std::nullopt;
        ParseJob j = std::move(jobs_.front());
        jobs_.pop_front();
        return j;
    }
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        cond_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<ParseJob> jobs_;
    bool closed_ = false;
};

void closeItems(std::vector<DirWorkItem>& items, DirectoryCallTally* tally) {
    for (auto& it : items) closeDirFd(it.fd, true, tally);
    items.clear();
}

}  // namespace

ScanResult pipelinedBulkScan(const std::string& root, int syscallWorkers, int parseWorkers,
                             std::optional<int> maxInFlightDirectories, BulkReader reader, DirectoryCallTally* tally) {
    syscallWorkers = std::max(syscallWorkers, 1);
    parseWorkers = std::max(parseWorkers, 1);
    fdBudget().fitToLimit();
    DirWorkQueueLocked queue;
    queue.push(DirWorkItem::unopened(root));
    const RootVolumeIdentity rootId = rootVolumeIdentity(root);
    std::mutex accumulatorLock;
    ScanResult total;
    BatchBufferPool pool(size_t(2 * syscallWorkers), scanBufSize);
    std::mutex counterLock;
    int syscallWorkersLeft = syscallWorkers;
    int inFlight = std::max(1, maxInFlightDirectories.value_or(std::min(16 * syscallWorkers, 512)));
    std::counting_semaphore<> inFlightSlots(inFlight);
    ParseJobQueue parseQueue;
    const attrlist request = countingScanRequest();

    auto finalize = [&](PendingDir& d) {
        closeDirFd(d.fd, d.holdsFdBudgetSlot, tally);
        {
            std::lock_guard lock(accumulatorLock);
            total += d.result;
        }
        queue.complete(d.subdirs);
        inFlightSlots.release();
    };

    auto syscallWorker = [&] {
        while (auto item = queue.pop()) {
            inFlightSlots.acquire();
            waitBeforeRetry(item->retries);
            int fd = item->fd;
            if (fd < 0) {
                fd = openDirectory(item->path.c_str(), tally);
                if (fd < 0) {
                    bool shortage = isDescriptorShortage(errno) && item->retries < kMaxOpenRetries;
                    inFlightSlots.release();
                    if (shortage) {
                        ++item->retries;
                        queue.requeueLater(std::move(*item));
                    } else {
                        queue.complete();  // left out; its parent counted it
                    }
                    continue;
                }
            }
            auto dir = std::make_shared<PendingDir>();
            dir->fd = fd;
            dir->path = std::move(item->path);
            dir->holdsFdBudgetSlot = item->fd >= 0;
            for (;;) {
                std::byte* buf = pool.acquire();
                int n = reader(fd, &request, buf, pool.bufferSize(), 0);
                if (n > 0) {
                    {
                        std::lock_guard lock(dir->lock);
                        ++dir->outstanding;
                    }
                    parseQueue.push(ParseJob{dir, buf, n});
                    continue;
                }
                pool.release(buf);
                if (n < 0) {
                    FallbackListing fb = fileManagerScanDirFallback(dir->path, rootId.devID, rootId.containerID, tally);
                    std::lock_guard lock(dir->lock);
                    dir->fellBack = true;
                    closeItems(dir->subdirs, tally);
                    dir->result = fb.result;
                    for (auto& p : fb.subfolderPaths) dir->subdirs.push_back(DirWorkItem::unopened(std::move(p)));
                }
                break;
            }
            bool finish = false;
            {
                std::lock_guard lock(dir->lock);
                dir->doneReading = true;
                if (dir->outstanding == 0 && !dir->finalized) finish = dir->finalized = true;
            }
            if (finish) finalize(*dir);
        }
        std::lock_guard lock(counterLock);
        if (--syscallWorkersLeft == 0) parseQueue.close();
    };

    auto parseWorker = [&] {
        std::vector<DirWorkItem> found;
        while (auto job = parseQueue.pop()) {
            PendingDir& d = *job->dir;
            ScanResult r = parseBulkEntries(job->buffer, pool.bufferSize(), job->count, d.fd, d.path, false,
                                            rootId.devID, rootId.containerID, found, tally);
            pool.release(job->buffer);
            bool finish = false;
            {
                std::lock_guard lock(d.lock);
                if (d.fellBack) {
                    closeItems(found, tally);
                } else {
                    d.result += r;
                    for (auto& it : found) d.subdirs.push_back(std::move(it));
                }
                found.clear();
                --d.outstanding;
                if (d.outstanding == 0 && d.doneReading && !d.finalized) finish = d.finalized = true;
            }
            if (finish) finalize(d);
        }
    };

    std::vector<std::thread> threads;
    for (int i = 0; i < syscallWorkers; ++i) threads.emplace_back(syscallWorker);
    for (int i = 0; i < parseWorkers; ++i) threads.emplace_back(parseWorker);
    for (auto& t : threads) t.join();
    return total;
}

}  // namespace zelvane
