#include "ScanEngine/Scan/ParallelTreeScan.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#include "ScanEngine/Scan/FolderReading.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "Platform/FileSystemInfo.hpp"
#include "ScanEngine/Tree/NameSort.hpp"
#include "Platform/Processors.hpp"
#include "ScanEngine/Scan/VolumeChecks.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"

namespace zelvane {

void finalizeBudgets(std::vector<TreeDirWorkItem>& items, double parentBudget, ScanProgressTracker* progress) {
    if (items.empty()) {
        if (progress) progress->addScore(parentBudget);
        return;
    }
    double share = parentBudget / double(items.size());
    for (auto& it : items) it.budget = share;
}

attrlist treeScanRequest() {
    attrlist a;
    a.commonattr = ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE | ATTR_CMN_CRTIME |
                   ATTR_CMN_MODTIME | ATTR_CMN_ACCTIME | ATTR_CMN_FLAGS | ATTR_CMN_FILEID;
    a.fileattr = ATTR_FILE_LINKCOUNT | ATTR_FILE_TOTALSIZE | ATTR_FILE_ALLOCSIZE;
    a.forkattr = ATTR_CMNEXT_CLONEID;
    return a;
}

bool decideDescent(FileNode& child, const EntryFacts& e, FolderPath& parentPath, RootScanContext& ctx,
                   SightingJournal& journal) {
    // The record's device is what stat of the path would say, so the path is only stat'ed (and
    // built) when the devices differ.
    bool different = !(e.hasDevID && e.devID == ctx.rootDevID) &&
                     isDifferentVolume(appendPathComponent(parentPath.get(), e.name), ctx.rootDevID, ctx.rootContainerID);
    bool first = journal.registerFirstSighting(ctx.visitedDirs, SightingJournal::kFolder, e.devID, e.fileID);
    if (different || !first || (e.name == "Data" && isDataVolumeMirror(parentPath.get(), e.name))) {
        child.setIsVolumeBoundary(true);
        return false;
    }
    return true;
}

void recordOpenFailure(FileNode& folder, const std::string& path, int err, AccessDeniedCounter* counter) {
    if (!isPermissionError(err) || isKnownAlwaysProtectedPath(path)) return;
    folder.setAccessDenied(true);
    if (counter) counter->record(folder.fullPath());
}

int64_t fileChangeClockNanos() {
    // File systems stamp changes with the coarse clock, which lags the precise one: a change
    // made after this moment never carries an earlier time.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

namespace {

// Byte totals stop at the largest value rather than wrap: sparse files may claim up to 2^63 bytes
// each.
void saturatingAtomicAdd(int64_t& target, int64_t amount) {
    std::atomic_ref<int64_t> ref(target);
    int64_t seen = ref.load(std::memory_order_relaxed);
    while (!ref.compare_exchange_weak(seen, saturatingAdd(seen, amount), std::memory_order_relaxed)) {
    }
}

void atomicMax(int32_t& target, int32_t value) {
    std::atomic_ref<int32_t> ref(target);
    int32_t seen = ref.load(std::memory_order_relaxed);
    while (seen < value && !ref.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

inline int32_t subtreeSize(const FileNode* n) {
    return n->isDir() ? n->subFolderFileCount() + n->subFolderDirCount() + 1 : 1;
}

// Children in name order: insertion sort for the usual handful (stable, no allocation), the
// library's stable sort for big folders.
void sortByName(std::vector<FileNode*>& v) {
    auto less = [](const FileNode* x, const FileNode* y) { return wideNameCompare(*x, *y) < 0; };
    if (v.size() > 24) {
        std::stable_sort(v.begin(), v.end(), less);
        return;
    }
    for (size_t i = 1; i < v.size(); ++i) {
        FileNode* x = v[i];
        size_t j = i;
        for (; j > 0 && less(x, v[j - 1]); --j) v[j] = v[j - 1];
        v[j] = x;
    }
}

// The first failure of any thread of the scan (running out of memory), kept to be thrown again
// on the calling thread once every thread is done. Once there is one, no more folders are read.
class ScanFailureLocked final {
public:
    void record(std::exception_ptr failure) {
        std::lock_guard lock(mutex_);
        if (!first_) first_ = std::move(failure);
        failed_.store(true, std::memory_order_relaxed);
    }
    bool failed() const { return failed_.load(std::memory_order_relaxed); }
    void rethrowIfAny() {
        std::lock_guard lock(mutex_);
        if (first_) std::rethrow_exception(first_);
    }

private:
    std::mutex mutex_;
    std::exception_ptr first_;
    std::atomic<bool> failed_{false};
};

struct ScanShared {
    const ParallelScanOptions& options;
    std::vector<FileNode*> roots;
    std::vector<std::unique_ptr<RootScanContext>> contexts;  // null for roots that are files
    std::unique_ptr<ScanProgressTracker> tracker;
    TreeDirWorkQueueLocked queue;
    ScanFailureLocked failure;
};

// One worker: its own buffer, arena and scratch lists, reused for every folder it reads.
class TreeWorker final {
public:
    TreeWorker(ScanShared& s, NodeArena& arena, size_t index) : s_(s), arena_(arena), index_(index) {}

    // A worker that fails (runs out of memory) gives up the folder it holds, with its descriptors,
    // records the failure and goes on draining the stack, reading nothing more; so do the others.
    void run() {
        while (auto item = s_.queue.pop()) {
            holdsItem_ = true;
            std::optional<TreeDirWorkItem> next = std::move(item);
            while (next) {
                try {
                    next = read(*next);
                } catch (...) {
                    s_.failure.record(std::current_exception());
                    abandon();
                    next.reset();
                }
            }
        }
    }
    void moveFoldersByDepth(std::vector<std::vector<FileNode*>>& levels) {
        if (levels.size() < byDepth_.size()) levels.resize(byDepth_.size());
        for (size_t d = 0; d < byDepth_.size(); ++d)
            levels[d].insert(levels[d].end(), byDepth_[d].begin(), byDepth_[d].end());
        byDepth_.clear();
    }

private:
    // Reads one folder and completes its item; returns the folder this worker goes on with
    // (still counted as taken): a subfolder it kept, or the top of the stack.
    std::optional<TreeDirWorkItem> read(TreeDirWorkItem& item) {
        ScanProgressTracker* tracker = s_.tracker.get();
        if ((tracker && tracker->isCancelled()) || s_.failure.failed()) {
            closeDirFd(item.fd, item.holdsBudgetSlot, s_.options.directoryCalls);
            completeHeldItem();
            return std::nullopt;
        }
        openFd_ = item.fd;
        openFdHoldsSlot_ = item.holdsBudgetSlot;
        itemsHandedOn_ = false;
        items_.clear();
        folder_ = item.node;
        ctx_ = s_.contexts[size_t(item.rootIndex)].get();
        rootIndex_ = item.rootIndex;
        depth_ = item.depth;
        exclusionHeldBack_ = item.exclusionHeldBack;
        path_.reset(folder_);
        journal_.clear();
        entry_ = EntryContext{&ctx_->hardLinks, &ctx_->cloneLinks, ctx_->rootBlockSize,
                              s_.options.excludeFilters && !exclusionHeldBack_ ? &*s_.options.excludeFilters : nullptr,
                              s_.options.excludeFullPath, !s_.options.newestDateToFolders, &journal_};

        const bool handedOver = item.fd >= 0;
        int fd = item.fd;
        if (!handedOver) {
            waitBeforeRetry(item.retries);
            fd = openDirectory(path_.get().c_str(), s_.options.directoryCalls);
            if (fd < 0) {
                int err = errno;
                if (isDescriptorShortage(err) && item.retries < kMaxOpenRetries) {
                    ++item.retries;
                    s_.queue.requeueLater(item);
                    holdsItem_ = false;
                    return std::nullopt;
                }
                recordUnreadable(item, err);
                items_.clear();
                finalizeBudgets(items_, item.budget, tracker);
                completeHeldItem();
                return std::nullopt;
            }
            openFd_ = fd;
            openFdHoldsSlot_ = false;
        }

        kids_.clear();
        items_.clear();
        const int refused = readFolderEntries(
            fd, path_, s_.options.bulkReader, s_.options.directoryCalls, buffer_.pointer(), tracker,
            [&](const EntryFacts& e, int parentFd, EntryCounts& counts) { addEntry(e, parentFd, counts); },
            [&] {
                kids_.clear();
                for (auto& it : items_) closeDirFd(it.fd, true, s_.options.directoryCalls);
                items_.clear();
                journal_.startReplay();
            });
        // Listed but not entered: none of its entries can be known, as when it cannot be opened.
        if (refused) recordUnreadable(item, refused);
        folder_->setChildren(arena_, kids_);
        if (!kids_.empty()) {
            rankAndCountOwnEntries();
            if (s_.options.folderEntries) s_.options.folderEntries->folderRead(index_, kids_);
            if (byDepth_.size() <= size_t(item.depth)) byDepth_.resize(size_t(item.depth) + 1);
            byDepth_[size_t(item.depth)].push_back(folder_);
        }
        finalizeBudgets(items_, item.budget, tracker);
        std::optional<TreeDirWorkItem> kept = keepSubfolderWithoutDescriptor(fd);
        openFd_ = -1;
        closeDirFd(fd, handedOver && item.holdsBudgetSlot, s_.options.directoryCalls);
        // From here the subfolders are the stack's (or, while it cannot take them all, nobody's).
        itemsHandedOn_ = true;
        if (!kept) {
            std::optional<TreeDirWorkItem> next = s_.queue.completeAndTakeNext(items_);
            holdsItem_ = next.has_value();
            return next;
        }
        s_.queue.completeAndKeepOne(items_);
        return kept;
    }

    void completeHeldItem() {
        s_.queue.complete();
        holdsItem_ = false;
    }

    // After a failure part-way through a folder: its descriptors are closed and the item is
    // completed, so that the scan still ends.
    void abandon() {
        if (openFd_ >= 0) closeDirFd(openFd_, openFdHoldsSlot_, s_.options.directoryCalls);
        openFd_ = -1;
        if (!itemsHandedOn_)
            for (const TreeDirWorkItem& it : items_) closeDirFd(it.fd, it.holdsBudgetSlot, s_.options.directoryCalls);
        items_.clear();
        kids_.clear();
        if (holdsItem_) completeHeldItem();
    }

    void recordUnreadable(const TreeDirWorkItem& item, int err) {
        recordOpenFailure(*folder_, path_.get(), err, s_.options.accessDeniedCounter);
        if (s_.options.unreadableFolders) s_.options.unreadableFolders->record({path_.get(), err, item.depth == 0});
    }

    // When the budget had no descriptor for the subfolder that would be read next, it would be
    // opened by its full path, which costs time in proportion to its depth (and more once the
    // path outgrows PATH_MAX): a deep chain of folders would take time growing with the square
    // of its depth. Instead this worker opens it relative to the folder still open and reads it
    // next itself, so each worker holds at most one descriptor outside the budget.
    std::optional<TreeDirWorkItem> keepSubfolderWithoutDescriptor(int parentFd) {
        if (items_.empty() || items_.back().fd >= 0) return std::nullopt;
        TreeDirWorkItem next = items_.back();
        next.fd = openDirectoryAt(parentFd, next.node->nameBytes().c_str(), s_.options.directoryCalls);
        if (next.fd < 0) return std::nullopt;
        next.holdsBudgetSlot = false;
        items_.pop_back();
        return next;
    }

    // The folder's own entries: their totals (its subfolders add theirs at the finish) and each
    // one's rank in name order among them.
    void rankAndCountOwnEntries() {
        AggregateTotals t;
        for (const FileNode* c : kids_) {
            if (c->isDir()) {
                t.dirs += 1;
            } else {
                t.size = saturatingAdd(t.size, c->fileSize);
                if (!c->doNotCountAllocated()) t.alloc = saturatingAdd(t.alloc, c->allocSize);
                t.files += 1;
            }
        }
        folder_->setSubFolderTotals(t);
        if (s_.options.newestDateToFolders) {
            folder_->keepOwnModifiedDate();
            int32_t newest = folder_->modifiedDateRaw;
            for (const FileNode* c : kids_) newest = std::max(newest, c->modifiedDateRaw);
            folder_->modifiedDateRaw = newest;
        }
        sorted_.assign(kids_.begin(), kids_.end());
        sortByName(sorted_);
        for (size_t i = 0; i < sorted_.size(); ++i) sorted_[i]->setSortNameIndex(int32_t(i));
    }

    void addEntry(const EntryFacts& e, int parentFd, EntryCounts& counts) {
        bool exclusionWaits = false;
        FileNode* child = makeEntryNode(arena_, folder_, e, entry_, exclusionWaits);
        if (!child) return;
        kids_.push_back(child);
        if (!e.isDir) {
            ++counts.files;
            counts.bytes = saturatingAdd(counts.bytes, child->fileSize);
            return;
        }
        ++counts.dirs;
        if (decideDescent(*child, e, path_, *ctx_, journal_))
            items_.push_back(
                TreeDirWorkItem{child, openChildWithBudget(parentFd, e.name.data(), s_.options.directoryCalls), 0,
                                rootIndex_, 0, depth_ + 1, true, exclusionHeldBack_ || exclusionWaits});
    }

    ScanShared& s_;
    NodeArena& arena_;
    size_t index_;
    ScanBuffer buffer_;
    std::vector<FileNode*> kids_;
    std::vector<FileNode*> sorted_;
    std::vector<TreeDirWorkItem> items_;
    FileNode* folder_ = nullptr;
    RootScanContext* ctx_ = nullptr;
    int rootIndex_ = 0;
    int depth_ = 0;
    bool exclusionHeldBack_ = false;
    bool holdsItem_ = false;      // an item taken from the stack and not yet completed
    int openFd_ = -1;             // the descriptor of the folder being read
    bool openFdHoldsSlot_ = false;
    bool itemsHandedOn_ = false;  // the subfolders found were given to the stack
    std::vector<std::vector<FileNode*>> byDepth_;  // folders read, by depth below their root
    EntryContext entry_;
    SightingJournal journal_;
    FolderPath path_;
};

// A few threads kept for the finish of a scan, so that the passes over each level of folders
// are shared out without starting threads per pass. Work is handed out in chunks of folders,
// since folders differ widely in their number of children.
class RangePool final {
public:
    // Helpers that cannot be started are left out; with none the caller does all the work.
    explicit RangePool(int threads) {
        try {
            helpers_.reserve(size_t(std::max(threads - 1, 0)));
        } catch (const std::bad_alloc&) {
            return;
        }
        for (int i = 1; i < threads; ++i) {
            try {
                helpers_.emplace_back([this] { helperLoop(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }
    ~RangePool() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (auto& t : helpers_) t.join();
    }
    RangePool(const RangePool&) = delete;
    RangePool& operator=(const RangePool&) = delete;

    // Calls fn(begin, end) over chunks covering [0, n), on every thread of the pool. When fn
    // throws, no further chunk is handed out and the first exception is thrown again here once
    // every thread is done.
    void run(size_t n, const std::function<void(size_t, size_t)>& fn) {
        if (helpers_.empty() || n <= kChunk) {
            fn(0, n);
            return;
        }
        {
            std::lock_guard lock(mutex_);
            job_ = &fn;
            size_ = n;
            next_ = 0;
            active_ = int(helpers_.size());
            failure_ = nullptr;
            ++generation_;
        }
        wake_.notify_all();
        work();
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return active_ == 0; });
        job_ = nullptr;
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    }

private:
    static constexpr size_t kChunk = 64;

    void work() {
        try {
            for (;;) {
                size_t b = next_.fetch_add(kChunk);
                if (b >= size_) return;
                (*job_)(b, std::min(size_, b + kChunk));
            }
        } catch (...) {
            next_ = size_;  // nothing more is handed out
            std::lock_guard lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
        }
    }
    void helperLoop() {
        uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
            }
            work();
            std::lock_guard lock(mutex_);
            if (--active_ == 0) done_.notify_one();
        }
    }

    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::function<void(size_t, size_t)>* job_ = nullptr;
    size_t size_ = 0;
    std::atomic<size_t> next_{0};
    int active_ = 0;
    uint64_t generation_ = 0;
    bool stop_ = false;
    std::exception_ptr failure_;  // of the round under way
};

// The finish of a scan, level by level over the folders the workers read (each on the level of
// its depth), so that a pass over one level may run in parallel and rely on the level below
// (totals) or above (numbers). On entry every read folder holds the totals of its own entries
// and every node its rank in name order among its siblings (both made while its folder was
// read, with the entries still in the cache), so neither pass needs to look at the files again.
void rollUpAndNumberLevels(const std::vector<FileNode*>& roots, const std::vector<std::vector<FileNode*>>& levels,
                           RangePool& pool, bool newestDateToFolders) {
    // Deepest level first: a folder's totals are complete once its subfolders (the level below)
    // have added theirs; then it adds them to its parent. Siblings add at the same time, hence
    // the atomic additions.
    for (size_t l = levels.size(); l-- > 1;) {
        const std::vector<FileNode*>& level = levels[l];
        pool.run(level.size(), [&](size_t b, size_t e) {
            for (size_t i = b; i < e; ++i) {
                const FolderData* f = level[i]->folderData();
                FolderData* p = level[i]->parent()->folderData();
                saturatingAtomicAdd(p->subFolderTotSize, f->subFolderTotSize);
                saturatingAtomicAdd(p->subFolderTotSizeAlloc, f->subFolderTotSizeAlloc);
                std::atomic_ref<int32_t>(p->subFolderFileCount).fetch_add(f->subFolderFileCount, std::memory_order_relaxed);
                std::atomic_ref<int32_t>(p->subFolderDirCount).fetch_add(f->subFolderDirCount, std::memory_order_relaxed);
                if (newestDateToFolders) atomicMax(level[i]->parent()->modifiedDateRaw, level[i]->modifiedDateRaw);
            }
        });
    }
    // Top level first: pre-order numbers in name order. A child's number is its parent's plus one
    // plus the sizes of the subtrees of the siblings before it in name order.
    int32_t counter = 0;
    for (FileNode* r : roots) {
        r->setSortNameIndex(counter);
        counter += subtreeSize(r);
    }
    for (const std::vector<FileNode*>& level : levels) {
        pool.run(level.size(), [&](size_t b, size_t e) {
            thread_local std::vector<FileNode*> inOrder;
            for (size_t i = b; i < e; ++i) {
                auto kids = level[i]->children();
                inOrder.resize(kids.size());
                for (FileNode* c : kids) inOrder[size_t(c->sortNameIndex())] = c;
                int32_t next = level[i]->sortNameIndex() + 1;
                for (FileNode* c : inOrder) {
                    c->setSortNameIndex(next);
                    next += subtreeSize(c);
                }
            }
        });
    }
}

}  // namespace

std::vector<RootRef> parallelScanToTree(const std::vector<std::string>& rootPaths, const ParallelScanOptions& options) {
    fdBudget().fitToLimit();
    fdBudget().reserveDescriptorTable();
    const int64_t readStarted = fileChangeClockNanos();
    auto store = NodeStore::create();
    store->setFiltered(options.excludeFilters && hasTerms(*options.excludeFilters));
    NodeArena& rootArena = store->makeArena();
    ScanShared s{options, {}, {}, {}, {}, {}};
    bool nonLocal = false;
    std::vector<TreeDirWorkItem> rootItems;
    for (const std::string& path : rootPaths) {
        auto st = statPath(path);
        if (!st) {
            if (options.unreadableFolders) options.unreadableFolders->record({path, errno, true});
            continue;
        }
        FileNode* root = rootArena.makeRoot(path, st->isDir(), st->size, 0, packUnixTime(st->mtime));
        root->fileID = st->ino;
        root->createdDateRaw = packUnixTime(st->btime);
        root->lastAccessDateRaw = packUnixTime(st->atime);
        root->setReadStartedNanos(readStarted);
        int index = int(s.roots.size());
        s.roots.push_back(root);
        if (!st->isDir()) {
            root->setHasFlatFileList();
            s.contexts.emplace_back();
            continue;
        }
        auto ctx = std::make_unique<RootScanContext>();
        if (auto fsInfo = statfsPath(path)) {
            if (!fsInfo->isLocal) nonLocal = true;
            ctx->rootBlockSize = fsInfo->blockSize;
        }
        ctx->rootDevID = st->dev;
        ctx->hardLinks.setHomeDevice(st->dev);
        ctx->cloneLinks.setHomeDevice(st->dev);
        ctx->visitedDirs.setHomeDevice(st->dev);
        ctx->rootContainerID = containerDiskID(path);
        // The root is a folder seen already: met again below itself (a bind mount of itself) it
        // stays an empty boundary instead of being counted twice.
        ctx->visitedDirs.registerFirstSighting(st->dev, st->ino);
        s.contexts.push_back(std::move(ctx));
        rootItems.push_back(TreeDirWorkItem{root, -1, 0, index, 0, 0});
    }
    int workerCount = std::max(options.workerCount, 1);
    if (nonLocal) workerCount = std::max(workerCount, 64);
    FolderEntriesObserver* const observer = options.folderEntries;
    if (observer) observer->scanStarting(s.roots, size_t(workerCount));
    std::vector<RootRef> result;
    result.reserve(s.roots.size());
    if (rootItems.empty()) {
        if (observer) observer->workersFinished();
        for (FileNode* r : s.roots) result.push_back(store->handle(r));
        return result;
    }
    for (auto& it : rootItems) {
        it.budget = 1.0 / double(rootItems.size());
        s.queue.push(it);
    }
    if (options.progressCallback || options.isCancelled)
        s.tracker = std::make_unique<ScanProgressTracker>(options.progressCallback, options.isCancelled);

    std::vector<std::unique_ptr<TreeWorker>> workers;
    for (int w = 0; w < workerCount; ++w) workers.push_back(std::make_unique<TreeWorker>(s, store->makeArena(), size_t(w)));
    {
        // A worker that cannot be started (a thread or memory limit) is simply not there; its
        // share is done by the others, at the least by this thread.
        std::vector<std::thread> threads;
        threads.reserve(size_t(workerCount - 1));  // no growth (and no failure) once threads run
        for (int w = 1; w < workerCount; ++w) {
            try {
                threads.emplace_back([&, w] { workers[size_t(w)]->run(); });
            } catch (const std::system_error&) {
                break;
            }
        }
        workers[0]->run();
        for (auto& t : threads) t.join();
        // A failed scan gives nothing: what was read goes with the store.
        s.failure.rethrowIfAny();
        if (observer) observer->workersFinished();
    }

    for (size_t r = 0; r < s.roots.size(); ++r)
        if (s.contexts[r]) s.roots[r]->setHasFlatFileList();
    if (s.tracker) s.tracker->reportFinal();
    {
        // Every folder that was read, level by level as the workers met them.
        std::vector<std::vector<FileNode*>> levels;
        for (auto& w : workers) w->moveFoldersByDepth(levels);
        workers.clear();
        RangePool pool(std::min(workerCount, activeProcessorCount()));
        rollUpAndNumberLevels(s.roots, levels, pool, options.newestDateToFolders);
    }
    for (FileNode* r : s.roots) result.push_back(store->handle(r));
    return result;
}

}  // namespace zelvane
